#pragma once
// One first-order exponential time-differencing step (ETD1) of the
// Cahn-Hilliard equation for the lipid volume fraction phi, advected by the
// flow and driven by a Maier-Saupe coupling to the lipid order q_lip:
//
//   dphi/dt = L phi + N,   L = -M (kappa k^4 + a k^2) (both terms damp),
//   N = M lap(b phi^3 - 2 chi |q_lip|^2) - (v . grad) phi,
//
// with the five-point Laplacian (spacing phi.dx) and the upwind advection
// (spacing v.dx). Each Fourier mode is advanced exactly for the linear part
// with N held fixed over the step:
//
//   phi(k) <- E phi(k) + phi1 N(k),  E = exp(L dt),  phi1 = (E - 1) / L,
//
// phi1 taken from its series ((L dt)^2/6 + L dt/2 + 1) dt when |L dt| < 1e-10.
// The mean mode (k^2 < 1e-14) is left unchanged, so the mean of phi is
// conserved and the mean of N is discarded.
#include <complex>
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"
#include "fd/fft_plans.hpp"

namespace kestrin {

// Spectral buffers and the per-mode factors (E, phi1) of one grid, reused
// from step to step; the factors are recomputed only when dx, dt, m_l,
// kappa_ch or a_ch change. A step allocates nothing after the first.
class CahnHilliardWorkspace2D {
public:
    CahnHilliardWorkspace2D(std::uint64_t nx, std::uint64_t ny);

    std::uint64_t nx() const { return nx_; }
    std::uint64_t ny() const { return ny_; }

    // The new phi into `out`, which takes phi's nx, ny and dx and may be phi
    // itself. phi must be on this workspace's grid; a q_lip or v on another
    // grid is an internal fault.
    void step(const ScalarField2D& phi, const QField2D& q_lip, const VelocityField2D& v,
              const ActiveNematicParams& p, ScalarField2D& out);

private:
    void update_factors(double dx, const ActiveNematicParams& p);

    std::uint64_t nx_, ny_;
    RealFft2D fft_;
    std::vector<double> g_;  // b phi^3 - 2 chi |q_lip|^2
    FftBuffer<double> phi_, nonlinear_;
    FftBuffer<std::complex<double>> phi_hat_, nonlinear_hat_;
    // Per mode of the half spectrum: E, phi1, and whether it is a mean mode.
    bool have_factors_ = false;
    double key_[5] = {};
    std::vector<double> e_, phi1_;
    std::vector<unsigned char> mean_mode_;
};

ScalarField2D ch_step_etd(const ScalarField2D& phi, const QField2D& q_lip, const VelocityField2D& v,
                          const ActiveNematicParams& p);

}  // namespace kestrin
