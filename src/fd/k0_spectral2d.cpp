#include "fd/k0_spectral2d.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/internal_fault.hpp"
#include "fd/k0_map2d.hpp"
#include "fd/spectral2d.hpp"

namespace kestrin {

K0SpectralWorkspace2D::K0SpectralWorkspace2D(std::uint64_t nx, std::uint64_t ny)
    : nx_(nx), ny_(ny), fft_(nx, ny), kernel_hat_(fft_.spectrum_size()), real_(fft_.real_size()),
      spec_(fft_.spectrum_size()) {}

void K0SpectralWorkspace2D::build_kernel(double xi, double dx, std::int64_t radius) {
    // w(d) = K0(|d| dx / xi) dx^2 / (2 pi xi^2) at index -d mod n, with the
    // 1/(nx ny) of the inverse transform folded in.
    const auto nx = static_cast<std::int64_t>(nx_), ny = static_cast<std::int64_t>(ny_);
    const double scale = dx * dx / (2.0 * std::numbers::pi * xi * xi) / static_cast<double>(nx_ * ny_);
    for (std::size_t k = 0; k < real_.size(); ++k) real_[k] = 0.0;
    for (std::int64_t di = -radius; di < radius; ++di) {
        for (std::int64_t dj = -radius; dj < radius; ++dj) {
            const double r = std::sqrt((static_cast<double>(dj) * dx) * (static_cast<double>(dj) * dx) +
                                       (static_cast<double>(di) * dx) * (static_cast<double>(di) * dx));
            if (r < dx / 2) continue;
            const std::int64_t i = ((-di) % nx + nx) % nx, j = ((-dj) % ny + ny) % ny;
            real_[static_cast<std::size_t>(i * ny + j)] += bessel_k0(r / xi) * scale;
        }
    }
    fft_.forward(real_.data(), kernel_hat_.data());
    xi_ = xi;
    dx_ = dx;
    radius_ = radius;
    have_kernel_ = true;
}

void K0SpectralWorkspace2D::apply(const QField2D& q_rot, double xi, std::int64_t radius, QField2D& out) {
    require(q_rot.nx == nx_ && q_rot.ny == ny_ && q_rot.data.size() == 2 * fft_.real_size(),
            "K0 map: field is not on the workspace grid");
    require(radius >= 1 && 2 * radius <= static_cast<std::int64_t>(std::min(nx_, ny_)), "K0 map: radius out of range");
    if (!have_kernel_ || xi != xi_ || q_rot.dx != dx_ || radius != radius_) build_kernel(xi, q_rot.dx, radius);
    if (&out != &q_rot) {
        out.nx = q_rot.nx;
        out.ny = q_rot.ny;
        out.dx = q_rot.dx;
        out.data.resize(q_rot.data.size());
    }
    const std::size_t n = fft_.real_size(), m = fft_.spectrum_size();
    for (int c = 0; c < 2; ++c) {
        for (std::size_t k = 0; k < n; ++k) real_[k] = q_rot.data[2 * k + c];
        fft_.forward(real_.data(), spec_.data());
        for (std::size_t k = 0; k < m; ++k) spec_[k] *= kernel_hat_[k];
        hermitian_part_of_self_mirror_columns(spec_.data(), nx_, ny_);
        fft_.inverse(spec_.data(), real_.data());
        for (std::size_t k = 0; k < n; ++k) out.data[2 * k + c] = real_[k];
    }
}

}  // namespace kestrin
