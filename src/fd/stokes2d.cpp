#include "fd/stokes2d.hpp"

#include <cmath>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"
#include "fd/beris_edwards2d.hpp"
#include "fd/spectral2d.hpp"

namespace kestrin {
namespace {

using cplx = std::complex<double>;

// Spectra of the stress and force components at one mode.
struct StressModes {
    cplx sxx, sxy, a, fx, fy;
};

StressModes conj(const StressModes& s) {
    return {std::conj(s.sxx), std::conj(s.sxy), std::conj(s.a), std::conj(s.fx), std::conj(s.fy)};
}

// Velocity modes (i ky psi, -i kx psi) of one wavevector, with
// psi = cf / (k^4 eta) and cf the curl of the force density; zero for the
// mean mode. Multiplications by i are written out on the components.
template <bool Backflow>
inline void stokes_mode(double kx, double ky, double eta, const StressModes& s, cplx& ux, cplx& uy) {
    const double kk = kx * kx + ky * ky;
    if (kk < 1e-14) {
        ux = uy = cplx{};
        return;
    }
    const double c1 = 2.0 * kx * ky, c2 = ky * ky - kx * kx;
    double re = c1 * s.sxx.real() + c2 * s.sxy.real();
    double im = c1 * s.sxx.imag() + c2 * s.sxy.imag();
    if constexpr (Backflow) {
        // + i kx fy - i ky fx + k^2 a
        re = re - kx * s.fy.imag();
        im = im + kx * s.fy.real();
        re = re + ky * s.fx.imag();
        im = im - ky * s.fx.real();
        re = re + kk * s.a.real();
        im = im + kk * s.a.imag();
    }
    const double den = kk * kk * eta;
    const double pr = re / den, pi = im / den;
    ux = cplx{-ky * pi, ky * pr};
    uy = cplx{kx * pi, -kx * pr};
}

}  // namespace

StokesWorkspace2D::StokesWorkspace2D(std::uint64_t nx, std::uint64_t ny) : nx_(nx), ny_(ny) {
    const std::size_t n = checked_storage(nx, ny, 1);
    if (n == 0) return;
    fft_ = RealFft2D(nx, ny);
    for (int c = 0; c < 2; ++c) {
        real_[c] = FftBuffer<double>(n);
        spec_[c] = FftBuffer<cplx>(fft_.spectrum_size());
    }
}

void StokesWorkspace2D::stresses(const QField2D& q, const ActiveNematicParams& p) {
    const std::size_t n = fft_.real_size();
    const double* f = q.data.data();
    const double* zeta = nullptr;
    if (p.zeta_field) {
        require(p.zeta_field->size() == n, "zeta_field length does not match the Q field's grid");
        zeta = p.zeta_field->data();
    }
    double* sxx = real_[0].data();
    double* sxy = real_[1].data();
    if (!p.backflow) {
        for (std::size_t k = 0; k < n; ++k) {
            const double z = zeta ? zeta[k] : p.zeta_eff;
            sxx[k] = f[2 * k] * -z;
            sxy[k] = f[2 * k + 1] * -z;
        }
        return;
    }
    if (real_[2].empty()) {
        for (int c = 2; c < 5; ++c) {
            real_[c] = FftBuffer<double>(n);
            spec_[c] = FftBuffer<cplx>(fft_.spectrum_size());
        }
    }
    h_.resize(2 * n);
    molecular_field_into(q, p, h_);
    const double* h = h_.data();
    double* a = real_[2].data();
    double* fx = real_[3].data();
    double* fy = real_[4].data();
    const double lambda = p.lambda_, two_dx = 2.0 * q.dx;
    for_each_periodic_vertex(nx_, ny_, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                           std::size_t kjm) {
        const double q1 = f[2 * k], q2 = f[2 * k + 1];
        const double h1 = h[2 * k], h2 = h[2 * k + 1];
        const double z = zeta ? zeta[k] : p.zeta_eff;
        // Elastic stress -lambda (S/2) H with S/2 = |q|.
        const double g = lambda * 2.0 * std::sqrt(q1 * q1 + q2 * q2) * 0.5;
        sxx[k] = q1 * -z - g * h1;
        sxy[k] = q2 * -z - g * h2;
        // Antisymmetric stress H Q - Q H (its xy entry).
        a[k] = h2 * q1 - q2 * h1;
        // Distortion force -(d_a Q) : H with periodic central differences.
        const double d1x = (f[2 * kip] - f[2 * kim]) / two_dx;
        const double d2x = (f[2 * kip + 1] - f[2 * kim + 1]) / two_dx;
        const double d1y = (f[2 * kjp] - f[2 * kjm]) / two_dx;
        const double d2y = (f[2 * kjp + 1] - f[2 * kjm + 1]) / two_dx;
        fx[k] = -(d1x * h1 + d2x * h2);
        fy[k] = -(d1y * h1 + d2y * h2);
    });
}

// Replaces the spectra of sxx and sxy by those of ux and uy.
//
// The complex transform defining the flow gives the Nyquist row of an even
// nx the positive frequency +pi/dx at both k and its mirror -k, so there
// U(-k) != conj U(k) and only the real part of the inverse is the flow. That
// real part is the inverse of the Hermitian part (U(k) + conj U(-k)) / 2,
// which is what the half spectrum must hold. Off the Nyquist lines the
// mirror wavenumbers are exact negatives, U(-k) = conj U(k) exactly and U is
// its own Hermitian part. On the Nyquist row, U(-k) is formed here from
// conj of the stress spectra (the stresses are real); the self-mirror
// columns c = 0 and c = ny/2 are symmetrised afterwards from both stored
// modes.
template <bool Backflow>
void StokesWorkspace2D::velocity_modes(double eta) {
    const std::size_t cols = fft_.spectrum_cols();
    const std::size_t ny_col = ny_ % 2 == 0 ? static_cast<std::size_t>(ny_ / 2) : 0;
    cplx* s[5] = {spec_[0].data(), spec_[1].data(), spec_[2].data(), spec_[3].data(), spec_[4].data()};
    for (std::uint64_t i = 0; i < nx_; ++i) {
        const double kx = kx_[i];
        const bool nyquist_row = nx_ % 2 == 0 && i == nx_ / 2;
        for (std::size_t c = 0; c < cols; ++c) {
            const std::size_t m = i * cols + c;
            StressModes sm{s[0][m], s[1][m], {}, {}, {}};
            if constexpr (Backflow) {
                sm.a = s[2][m];
                sm.fx = s[3][m];
                sm.fy = s[4][m];
            }
            cplx ux, uy;
            stokes_mode<Backflow>(kx, ky_[c], eta, sm, ux, uy);
            if (nyquist_row && c != 0 && c != ny_col) {
                cplx mx, my;
                stokes_mode<Backflow>(kx, ky_[ny_ - c], eta, conj(sm), mx, my);
                ux = (ux + std::conj(mx)) * 0.5;
                uy = (uy + std::conj(my)) * 0.5;
            }
            s[0][m] = ux;
            s[1][m] = uy;
        }
    }
    hermitian_part_of_self_mirror_columns(s[0], nx_, ny_);
    hermitian_part_of_self_mirror_columns(s[1], nx_, ny_);
}

void StokesWorkspace2D::solve(const QField2D& q, const ActiveNematicParams& p, VelocityField2D& out) {
    require(q.nx == nx_ && q.ny == ny_, "Q field is not on the Stokes workspace's grid");
    require(q.data.size() == checked_storage(nx_, ny_, 2), "Q field storage does not match its grid");
    out.nx = nx_;
    out.ny = ny_;
    out.dx = q.dx;
    out.data.resize(q.data.size());
    const std::size_t n = fft_.real_size();
    if (q.data.empty()) return;

    fill_wavenumbers(kx_, nx_, q.dx);
    fill_wavenumbers(ky_, ny_, q.dx);
    stresses(q, p);
    const int n_fields = p.backflow ? 5 : 2;
    for (int c = 0; c < n_fields; ++c) fft_.forward(real_[c].data(), spec_[c].data());
    if (p.backflow)
        velocity_modes<true>(p.eta);
    else
        velocity_modes<false>(p.eta);
    fft_.inverse(spec_[0].data(), real_[0].data());
    fft_.inverse(spec_[1].data(), real_[1].data());

    const double total = static_cast<double>(nx_ * ny_);
    const double* ux = real_[0].data();
    const double* uy = real_[1].data();
    for (std::size_t k = 0; k < n; ++k) {
        out.data[2 * k] = ux[k] / total;
        out.data[2 * k + 1] = uy[k] / total;
    }
}

VelocityField2D stokes_solve(const QField2D& q, const ActiveNematicParams& p) {
    StokesWorkspace2D ws(q.nx, q.ny);
    VelocityField2D out;
    ws.solve(q, p, out);
    return out;
}

}  // namespace kestrin
