#pragma once
// Slow reference transforms for the spectral tests: the 2D discrete Fourier
// transform written out as its defining sums (O(n^2) per axis), complex on
// both axes, with every wavenumber computed from its index.
#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

namespace kestrin::testing {

using cplx = std::complex<double>;

// sum_m f(m) exp(sign 2 pi i m k / n) along x and then along y of an nx by ny
// array (j fast), unnormalised.
inline std::vector<cplx> naive_dft2d(const std::vector<cplx>& f, std::uint64_t nx, std::uint64_t ny, int sign) {
    auto twiddle = [sign](std::uint64_t m, std::uint64_t k, std::uint64_t n) {
        const double angle = sign * 2.0 * std::numbers::pi * static_cast<double>((m * k) % n) / static_cast<double>(n);
        return std::polar(1.0, angle);
    };
    std::vector<cplx> along_x(f.size()), out(f.size());
    for (std::uint64_t kx = 0; kx < nx; ++kx)
        for (std::uint64_t j = 0; j < ny; ++j) {
            cplx s{};
            for (std::uint64_t i = 0; i < nx; ++i) s += f[i * ny + j] * twiddle(i, kx, nx);
            along_x[kx * ny + j] = s;
        }
    for (std::uint64_t kx = 0; kx < nx; ++kx)
        for (std::uint64_t ky = 0; ky < ny; ++ky) {
            cplx s{};
            for (std::uint64_t j = 0; j < ny; ++j) s += along_x[kx * ny + j] * twiddle(j, ky, ny);
            out[kx * ny + ky] = s;
        }
    return out;
}

inline std::vector<cplx> to_complex(const std::vector<double>& f) { return {f.begin(), f.end()}; }

// Angular wavenumber of index m on n points: signed frequency m (m <= n/2,
// so the Nyquist index is positive) or m - n.
inline double angular_wavenumber(std::uint64_t m, std::uint64_t n, double dx) {
    const double f = m <= n / 2 ? static_cast<double>(m) : static_cast<double>(m) - static_cast<double>(n);
    return 2.0 * std::numbers::pi * f / (static_cast<double>(n) * dx);
}

// Largest |a - b| relative to the largest |b|, or to `floor` when every b
// is smaller (a reference that vanishes up to rounding).
inline double max_rel_diff(const std::vector<double>& a, const std::vector<double>& b, double floor = 0.0) {
    double diff = 0.0, scale = floor;
    for (std::size_t i = 0; i < a.size(); ++i) {
        diff = std::max(diff, std::abs(a[i] - b[i]));
        scale = std::max(scale, std::abs(b[i]));
    }
    return diff / scale;
}

}  // namespace kestrin::testing
