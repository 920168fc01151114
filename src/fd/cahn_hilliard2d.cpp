#include "fd/cahn_hilliard2d.hpp"

#include <bit>
#include <cmath>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"
#include "fd/spectral2d.hpp"

namespace kestrin {

CahnHilliardWorkspace2D::CahnHilliardWorkspace2D(std::uint64_t nx, std::uint64_t ny) : nx_(nx), ny_(ny) {
    const std::size_t n = checked_storage(nx, ny, 1);
    if (n == 0) return;
    fft_ = RealFft2D(nx, ny);
    g_.resize(n);
    phi_ = FftBuffer<double>(n);
    nonlinear_ = FftBuffer<double>(n);
    phi_hat_ = FftBuffer<std::complex<double>>(fft_.spectrum_size());
    nonlinear_hat_ = FftBuffer<std::complex<double>>(fft_.spectrum_size());
}

void CahnHilliardWorkspace2D::update_factors(double dx, const ActiveNematicParams& p) {
    const double key[5] = {dx, p.dt, p.m_l, p.kappa_ch, p.a_ch};
    bool same = have_factors_;
    for (int t = 0; t < 5; ++t) same = same && std::bit_cast<std::uint64_t>(key[t]) == std::bit_cast<std::uint64_t>(key_[t]);
    if (same) return;

    std::vector<double> kx, ky;
    fill_wavenumbers(kx, nx_, dx);
    fill_wavenumbers(ky, ny_, dx);
    const std::size_t cols = fft_.spectrum_cols();
    e_.resize(fft_.spectrum_size());
    phi1_.resize(fft_.spectrum_size());
    mean_mode_.resize(fft_.spectrum_size());
    const double dt = p.dt, m = p.m_l, kappa = p.kappa_ch, a = p.a_ch;
    for (std::uint64_t i = 0; i < nx_; ++i) {
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t idx = i * cols + c;
            const double kk = kx[i] * kx[i] + ky[c] * ky[c];
            mean_mode_[idx] = kk < 1e-14;
            if (mean_mode_[idx]) continue;
            const double l = (kappa * (kk * kk) + a * kk) * -m;
            const double ldt = l * dt;
            const double e = std::exp(ldt);
            e_[idx] = e;
            // (E - 1)/L loses every digit to cancellation as L dt -> 0; its
            // Taylor series (1 + L dt/2 + (L dt)^2/6) dt takes over there.
            phi1_[idx] = std::abs(ldt) < 1e-10 ? ((ldt * ldt) / 6.0 + ldt * 0.5 + 1.0) * dt : (e - 1.0) / l;
        }
    }
    for (int t = 0; t < 5; ++t) key_[t] = key[t];
    have_factors_ = true;
}

void CahnHilliardWorkspace2D::step(const ScalarField2D& phi, const QField2D& q_lip, const VelocityField2D& v,
                                   const ActiveNematicParams& p, ScalarField2D& out) {
    require(phi.nx == nx_ && phi.ny == ny_, "phi is not on the Cahn-Hilliard workspace's grid");
    require(q_lip.nx == phi.nx && q_lip.ny == phi.ny, "q_lip and phi have different grids");
    require(v.nx == phi.nx && v.ny == phi.ny, "velocity and phi have different grids");
    const std::size_t n = checked_storage(nx_, ny_, 1);
    require(phi.data.size() == n && q_lip.data.size() == 2 * n && v.data.size() == 2 * n,
            "field storage does not match its grid");
    const double dx = phi.dx;
    if (n == 0) {
        out.data.clear();
        out.nx = nx_;
        out.ny = ny_;
        out.dx = dx;
        return;
    }

    // Real-space nonlinear part N = M lap(g) - (v . grad) phi.
    const double b = p.b_ch, chi = p.chi_ms, m = p.m_l;
    const double* f = phi.data.data();
    const double* q = q_lip.data.data();
    for (std::size_t k = 0; k < n; ++k) {
        const double q1 = q[2 * k], q2 = q[2 * k + 1];
        g_[k] = b * f[k] * f[k] * f[k] - 2.0 * chi * (q1 * q1 + q2 * q2);
        phi_[k] = f[k];
    }
    const double dx2 = dx * dx, vdx = v.dx;
    const double* g = g_.data();
    const double* u = v.data.data();
    double* nl = nonlinear_.data();
    for_each_periodic_vertex(nx_, ny_, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                           std::size_t kjm) {
        const double lap = lap5(g[k], g[kip], g[kim], g[kjp], g[kjm], dx2);
        const double adv = upwind(u[2 * k], u[2 * k + 1], f[k], f[kip], f[kim], f[kjp], f[kjm], vdx);
        nl[k] = m * lap - adv;
    });

    fft_.forward(phi_.data(), phi_hat_.data());
    fft_.forward(nonlinear_.data(), nonlinear_hat_.data());
    update_factors(dx, p);
    std::complex<double>* ph = phi_hat_.data();
    const std::complex<double>* nh = nonlinear_hat_.data();
    const std::size_t n_modes = fft_.spectrum_size();
    for (std::size_t idx = 0; idx < n_modes; ++idx) {
        if (mean_mode_[idx]) continue;
        ph[idx] = phi1_[idx] * nh[idx] + e_[idx] * ph[idx];
    }
    // The factors depend on |k| only, so the update keeps the spectrum
    // Hermitian; the self-mirror columns are re-symmetrised only to remove
    // the rounding of the forward transform there.
    hermitian_part_of_self_mirror_columns(ph, nx_, ny_);
    fft_.inverse(ph, phi_.data());

    // Every read of phi is done, so `out` may be phi itself.
    out.data.resize(n);
    out.nx = nx_;
    out.ny = ny_;
    out.dx = dx;
    const double total = static_cast<double>(nx_ * ny_);
    for (std::size_t k = 0; k < n; ++k) out.data[k] = phi_[k] / total;
}

ScalarField2D ch_step_etd(const ScalarField2D& phi, const QField2D& q_lip, const VelocityField2D& v,
                          const ActiveNematicParams& p) {
    CahnHilliardWorkspace2D ws(phi.nx, phi.ny);
    ScalarField2D out;
    ws.step(phi, q_lip, v, p, out);
    return out;
}

}  // namespace kestrin
