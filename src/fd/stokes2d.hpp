#pragma once
// Incompressible Stokes flow driven by the stresses of a 2D Q field on the
// periodic grid, solved spectrally through the stream function:
//
//   eta lap^2 psi = curl(div sigma + f),   u = (d psi/dy, -d psi/dx).
//
// sigma is the active stress -zeta Q (zeta per vertex from zeta_field when
// the record has one, else zeta_eff); with backflow it also carries the
// elastic stress -lambda (S/2) H, the antisymmetric stress H Q - Q H and the
// distortion force f = -(grad Q) : H, H the molecular field. In Fourier
// space the curl of the force density is
//   cf = 2 kx ky sxx + (ky^2 - kx^2) sxy [+ i kx fy - i ky fx + k^2 a],
// psi = cf / (k^4 eta), u = (i ky psi, -i kx psi). The mean mode
// (k^2 < 1e-14) carries no flow. Wavenumbers give the Nyquist index the
// positive frequency, and the velocity is the real part of the inverse
// transform divided by nx*ny.
#include <complex>
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"
#include "fd/fft_plans.hpp"

namespace kestrin {

// Spectral buffers of the Stokes solve for one grid, reused from step to
// step: after the first solve (the first with backflow, for the backflow
// buffers) a solve allocates nothing.
class StokesWorkspace2D {
public:
    StokesWorkspace2D(std::uint64_t nx, std::uint64_t ny);

    std::uint64_t nx() const { return nx_; }
    std::uint64_t ny() const { return ny_; }

    // Velocity of q (on this workspace's grid) into `out`, which takes q's
    // nx, ny and dx. A q on another grid, or a zeta_field whose length is
    // not q's vertex count, is an internal fault.
    void solve(const QField2D& q, const ActiveNematicParams& p, VelocityField2D& out);

private:
    void stresses(const QField2D& q, const ActiveNematicParams& p);
    template <bool Backflow>
    void velocity_modes(double eta);

    std::uint64_t nx_, ny_;
    RealFft2D fft_;
    std::vector<double> kx_, ky_;
    std::vector<double> h_;  // molecular field (backflow)
    // Real-space stress and force components, in the order sxx, sxy, a, fx,
    // fy (the last three only with backflow), and their spectra. The
    // velocity spectra overwrite those of sxx and sxy, and the velocity
    // comes back through the first two real arrays.
    FftBuffer<double> real_[5];
    FftBuffer<std::complex<double>> spec_[5];
};

VelocityField2D stokes_solve(const QField2D& q, const ActiveNematicParams& p);

}  // namespace kestrin
