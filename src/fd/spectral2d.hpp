#pragma once
// Wavenumbers and symmetry helpers shared by the 2D spectral solvers.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <vector>

namespace kestrin {

// Angular wavenumber of index m on an axis of n points with spacing dx:
// 2 pi f / (n dx) with the signed frequency f = m for m <= n/2 and m - n
// above. For even n the Nyquist index n/2 takes the positive frequency.
inline double wavenumber(std::uint64_t m, std::uint64_t n, double dx) {
    const double f = m <= n / 2 ? static_cast<double>(m) : -static_cast<double>(n - m);
    return 2.0 * std::numbers::pi * f / (static_cast<double>(n) * dx);
}

// Wavenumbers of every index of an axis.
inline void fill_wavenumbers(std::vector<double>& k, std::uint64_t n, double dx) {
    k.resize(static_cast<std::size_t>(n));
    for (std::uint64_t m = 0; m < n; ++m) k[m] = wavenumber(m, n, dx);
}

// The real part of the inverse transform of a spectrum U equals the inverse
// transform of its Hermitian part (U(k) + conj U(-k)) / 2. In the half
// spectrum of a real-to-complex layout (nx rows of ny/2 + 1 columns), the
// column c = 0 and, for even ny, the column c = ny/2 are their own mirror
// images in y: they hold both k = (i, c) and -k = (nx - i, c). The inverse
// real transform needs them Hermitian; this replaces each by its Hermitian
// part (a mode equal to its own mirror keeps its real part).
inline void hermitian_part_of_self_mirror_columns(std::complex<double>* s, std::uint64_t nx, std::uint64_t ny) {
    const std::size_t cols = static_cast<std::size_t>(ny / 2 + 1);
    const std::size_t last = ny % 2 == 0 ? static_cast<std::size_t>(ny / 2) : 0;
    for (std::size_t c : {std::size_t{0}, last}) {
        for (std::uint64_t i = 0; i <= nx / 2; ++i) {
            const std::uint64_t im = i == 0 ? 0 : nx - i;
            std::complex<double>& a = s[i * cols + c];
            std::complex<double>& b = s[im * cols + c];
            const std::complex<double> h = (a + std::conj(b)) * 0.5;
            a = h;
            b = std::conj(h);
        }
        if (last == 0) break;
    }
}

}  // namespace kestrin
