#include "fd/k0_map2d.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numbers>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"

namespace kestrin {

double bessel_k0(double x) {
    if (x <= 0.0) return std::numeric_limits<double>::infinity();
    if (x <= 2.0) {
        // 9.8.1: I0(x) as a polynomial in (x/3.75)^2.
        const double t = x / 3.75, t2 = t * t;
        const double i0 =
            1.0 + t2 * (3.5156229 + t2 * (3.0899424 + t2 * (1.2067492 + t2 * (0.2659732 + t2 * (0.0360768 + t2 * 0.0045813)))));
        // 9.8.5: K0(x) = -ln(x/2) I0(x) + polynomial in (x/2)^2.
        const double h = x / 2.0, y = h * h;
        const double p =
            -0.57721566 +
            y * (0.42278420 + y * (0.23069756 + y * (0.03488590 + y * (0.00262698 + y * (0.00010750 + y * 0.00000740)))));
        return -std::log(h) * i0 + p;
    }
    // 9.8.6: sqrt(x) exp(x) K0(x) as a polynomial in 2/x.
    const double y = 2.0 / x;
    const double p =
        1.25331414 +
        y * (-0.07832358 + y * (0.02189568 + y * (-0.01062446 + y * (0.00587872 + y * (-0.00251540 + y * 0.00053208)))));
    return std::exp(-x) / std::sqrt(x) * p;
}

std::int64_t k0_radius(double xi, double dx, std::uint64_t nx, std::uint64_t ny) {
    const double c = std::ceil(6.0 * xi / dx);
    // Float-to-integer conversion that saturates instead of overflowing.
    constexpr double two63 = 9223372036854775808.0;
    std::int64_t r;
    if (std::isnan(c))
        r = 0;
    else if (c >= two63)
        r = std::numeric_limits<std::int64_t>::max();
    else if (c < -two63)
        r = std::numeric_limits<std::int64_t>::min();
    else
        r = static_cast<std::int64_t>(c);
    // nx/2 and ny/2 are below 2^63, so they convert exactly.
    return std::min({r, static_cast<std::int64_t>(nx / 2), static_cast<std::int64_t>(ny / 2)});
}

namespace {

// acc[m] += w_t * p_t[m] for t = 0..3, in that order for each m. Each
// output value receives its terms in tap order; only distinct outputs share
// a vector register, so the vector width changes no rounding. The AVX2
// clone is chosen at load time where the processor has it; it enables no
// fused multiply-add, which would round differently.
__attribute__((target_clones("avx2", "default"))) void accumulate4(double* __restrict acc, const double* p0,
                                                                   const double* p1, const double* p2,
                                                                   const double* p3, const double* w,
                                                                   std::size_t n) {
    const double w0 = w[0], w1 = w[1], w2 = w[2], w3 = w[3];
    for (std::size_t m = 0; m < n; ++m) acc[m] = (((acc[m] + w0 * p0[m]) + w1 * p1[m]) + w2 * p2[m]) + w3 * p3[m];
}

__attribute__((target_clones("avx2", "default"))) void accumulate1(double* __restrict acc, const double* p0,
                                                                   double w0, std::size_t n) {
    for (std::size_t m = 0; m < n; ++m) acc[m] = acc[m] + w0 * p0[m];
}

}  // namespace

K0MapWorkspace2D::K0MapWorkspace2D(std::uint64_t nx, std::uint64_t ny) : nx_(nx), ny_(ny) {
    acc_.resize(checked_storage(nx, ny, 2) == 0 ? 0 : static_cast<std::size_t>(2 * ny));
}

void K0MapWorkspace2D::build_kernel(double xi, double dx, std::int64_t radius) {
    const bool same = have_kernel_ && radius == radius_ && std::bit_cast<std::uint64_t>(xi) == std::bit_cast<std::uint64_t>(xi_) &&
                      std::bit_cast<std::uint64_t>(dx) == std::bit_cast<std::uint64_t>(dx_);
    if (same) return;
    tap_begin_.clear();
    tap_dj_.clear();
    tap_w_.clear();
    for (std::int64_t di = -radius; di < radius; ++di) {
        tap_begin_.push_back(tap_dj_.size());
        for (std::int64_t dj = -radius; dj < radius; ++dj) {
            const double ax = static_cast<double>(dj) * dx, ay = static_cast<double>(di) * dx;
            const double r = std::sqrt(ax * ax + ay * ay);
            if (r < dx / 2.0) continue;  // the centre cell
            tap_dj_.push_back(dj);
            tap_w_.push_back(bessel_k0(r / xi));
        }
    }
    tap_begin_.push_back(tap_dj_.size());
    have_kernel_ = true;
    xi_ = xi;
    dx_ = dx;
    radius_ = radius;
}

// The direct sum costs (2R)^2 multiply-adds per vertex and component; the
// spectral route about four real transforms of the grid, a few times
// log2(nx ny) operations per vertex. Measured on 64^2 to 256^2 grids the two
// break even near (2R)^2 = 4 log2(nx ny).
static bool prefer_spectral(std::int64_t radius, std::uint64_t nx, std::uint64_t ny) {
    const double taps = 4.0 * static_cast<double>(radius) * static_cast<double>(radius);
    return taps > 4.0 * std::log2(static_cast<double>(nx) * static_cast<double>(ny));
}

void K0MapWorkspace2D::apply(const QField2D& q_rot, const ActiveNematicParams& p, QField2D& out, K0Method method) {
    require(q_rot.nx == nx_ && q_rot.ny == ny_, "Q field is not on the K0 workspace's grid");
    require(q_rot.data.size() == checked_storage(nx_, ny_, 2), "Q field storage does not match its grid");
    const double xi = p.xi_l, dx = q_rot.dx;
    const double denom = 2.0 * std::numbers::pi * (xi * xi);
    const std::int64_t radius = k0_radius(xi, dx, nx_, ny_);
    const std::size_t row_len = static_cast<std::size_t>(2 * ny_);

    if (radius <= 0 || q_rot.data.empty()) {
        out.data.assign(q_rot.data.size(), 0.0 * dx * dx / denom);
        out.nx = nx_;
        out.ny = ny_;
        out.dx = dx;
        return;
    }
    if (method == K0Method::spectral || (method == K0Method::automatic && prefer_spectral(radius, nx_, ny_))) {
        if (!spectral_) spectral_.emplace(nx_, ny_);
        spectral_->apply(q_rot, xi, radius, out);
        return;
    }
    build_kernel(xi, dx, radius);

    // Rows extended by R wrapped vertices on both sides: vertex j' of row i,
    // -R <= j' < ny + R, sits at padded[i][R + j'] and holds q(i, j' mod ny).
    // R <= ny/2, so one wrap suffices.
    const std::size_t r = static_cast<std::size_t>(radius);
    const std::size_t stride = row_len + 4 * r;
    padded_.resize(static_cast<std::size_t>(nx_) * stride);
    for (std::uint64_t i = 0; i < nx_; ++i) {
        const double* src = q_rot.data.data() + i * row_len;
        double* dst = padded_.data() + i * stride;
        std::copy(src + row_len - 2 * r, src + row_len, dst);
        std::copy(src, src + row_len, dst + 2 * r);
        std::copy(src, src + 2 * r, dst + 2 * r + row_len);
    }

    // Every source value has been copied, so `out` may now overwrite q_rot.
    out.data.resize(q_rot.data.size());
    out.nx = nx_;
    out.ny = ny_;
    out.dx = dx;

    const std::int64_t nxi = static_cast<std::int64_t>(nx_);
    double* acc = acc_.data();
    for (std::int64_t i = 0; i < nxi; ++i) {
        std::fill(acc_.begin(), acc_.end(), 0.0);
        for (std::int64_t di = -radius; di < radius; ++di) {
            std::int64_t si = i + di;
            if (si < 0) si += nxi;
            if (si >= nxi) si -= nxi;
            // Vertex j of the source row shifted by dj starts at base + 2 dj.
            const double* base = padded_.data() + static_cast<std::size_t>(si) * stride + 2 * r;
            const std::size_t b = tap_begin_[static_cast<std::size_t>(di + radius)];
            const std::size_t e = tap_begin_[static_cast<std::size_t>(di + radius) + 1];
            const std::int64_t* dj = tap_dj_.data();
            std::size_t t = b;
            for (; t + 4 <= e; t += 4)
                accumulate4(acc, base + 2 * dj[t], base + 2 * dj[t + 1], base + 2 * dj[t + 2], base + 2 * dj[t + 3],
                            &tap_w_[t], row_len);
            for (; t < e; ++t) accumulate1(acc, base + 2 * dj[t], tap_w_[t], row_len);
        }
        double* o = out.data.data() + static_cast<std::size_t>(i) * row_len;
        for (std::size_t m = 0; m < row_len; ++m) o[m] = acc[m] * dx * dx / denom;
    }
}

QField2D k0_convolution(const QField2D& q_rot, const ActiveNematicParams& p, K0Method method) {
    K0MapWorkspace2D ws(q_rot.nx, q_rot.ny);
    QField2D out;
    ws.apply(q_rot, p, out, method);
    return out;
}

}  // namespace kestrin
