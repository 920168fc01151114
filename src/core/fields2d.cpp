#include "core/fields2d.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"

namespace kestrin {
namespace {

// Periodic five-point Laplacian of a field with `C` interleaved components.
template <int C>
std::vector<double> periodic_laplacian(const std::vector<double>& f, std::uint64_t nx, std::uint64_t ny, double dx) {
    require(f.size() == checked_storage(nx, ny, C), "field storage does not match its grid");
    std::vector<double> out(f.size());
    const double dx2 = dx * dx;
    for (std::uint64_t i = 0; i < nx; ++i) {
        const std::uint64_t ip = (i + 1) % nx, im = (i + nx - 1) % nx;
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::uint64_t jp = (j + 1) % ny, jm = (j + ny - 1) % ny;
            const std::size_t k = i * ny + j;
            for (int c = 0; c < C; ++c) {
                out[C * k + c] = lap5(f[C * k + c], f[C * (ip * ny + j) + c], f[C * (im * ny + j) + c],
                                      f[C * (i * ny + jp) + c], f[C * (i * ny + jm) + c], dx2);
            }
        }
    }
    return out;
}

template <int C>
std::vector<double> upwind_advect(const VelocityField2D& u, const std::vector<double>& f, std::uint64_t fnx,
                                  std::uint64_t fny) {
    require(u.nx == fnx && u.ny == fny, "velocity and advected field have different grids");
    const std::uint64_t nx = u.nx, ny = u.ny;
    require(u.data.size() == checked_storage(nx, ny, 2) && f.size() == checked_storage(nx, ny, C),
            "field storage does not match its grid");
    std::vector<double> out(f.size());
    for (std::uint64_t i = 0; i < nx; ++i) {
        const std::uint64_t ip = (i + 1) % nx, im = (i + nx - 1) % nx;
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::uint64_t jp = (j + 1) % ny, jm = (j + ny - 1) % ny;
            const std::size_t k = i * ny + j;
            const double ux = u.data[2 * k], uy = u.data[2 * k + 1];
            for (int c = 0; c < C; ++c) {
                out[C * k + c] = upwind(ux, uy, f[C * k + c], f[C * (ip * ny + j) + c], f[C * (im * ny + j) + c],
                                        f[C * (i * ny + jp) + c], f[C * (i * ny + jm) + c], u.dx);
            }
        }
    }
    return out;
}

}  // namespace

QField2D QField2D::zeros(std::uint64_t nx, std::uint64_t ny, double dx) {
    return QField2D{std::vector<double>(checked_storage(nx, ny, 2), 0.0), nx, ny, dx};
}

QField2D QField2D::uniform(std::uint64_t nx, std::uint64_t ny, std::array<double, 2> q, double dx) {
    QField2D f = zeros(nx, ny, dx);
    for (std::size_t k = 0; k < f.len(); ++k) {
        f.data[2 * k] = q[0];
        f.data[2 * k + 1] = q[1];
    }
    return f;
}

QField2D QField2D::random_perturbation(std::uint64_t nx, std::uint64_t ny, double dx, double amplitude,
                                       std::uint64_t seed) {
    // 64-bit linear congruential generator (arithmetic modulo 2^64); the
    // upper 32 bits of the state give a uniform number in [0, 1].
    constexpr std::uint64_t mul = 0x5851F42D4C957F2DULL, inc = 0x14057B7EF767814FULL;
    QField2D f = zeros(nx, ny, dx);
    std::uint64_t state = seed + 1;
    auto next = [&] {
        state = state * mul + inc;
        return static_cast<double>(state >> 32) / 4294967295.0;
    };
    for (std::size_t k = 0; k < f.len(); ++k) {
        const double u1 = next();
        const double u2 = next();
        f.data[2 * k] = amplitude * (2.0 * u1 - 1.0);
        f.data[2 * k + 1] = amplitude * (2.0 * u2 - 1.0);
    }
    return f;
}

std::vector<double> QField2D::order_param_sq() const {
    std::vector<double> out(len());
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = q1(k) * q1(k) + q2(k) * q2(k);
    return out;
}

double QField2D::mean_order_param() const {
    double sum = 0.0;
    for (std::size_t k = 0; k < len(); ++k) sum += 2.0 * std::sqrt(q1(k) * q1(k) + q2(k) * q2(k));
    return sum / static_cast<double>(nx * ny);
}

double QField2D::max_norm() const {
    double m = 0.0;
    for (std::size_t k = 0; k < len(); ++k) {
        const double n = std::sqrt(q1(k) * q1(k) + q2(k) * q2(k));
        if (n > m) m = n;  // NaN never compares greater, so it is skipped
    }
    return m;
}

QField2D QField2D::laplacian() const { return {periodic_laplacian<2>(data, nx, ny, dx), nx, ny, dx}; }

QField2D QField2D::add(const QField2D& other) const {
    require(nx == other.nx && ny == other.ny, "QField2D::add: grids differ");
    QField2D out{std::vector<double>(std::min(data.size(), other.data.size())), nx, ny, dx};
    for (std::size_t i = 0; i < out.data.size(); ++i) out.data[i] = data[i] + other.data[i];
    return out;
}

QField2D QField2D::scale(double s) const {
    QField2D out{data, nx, ny, dx};
    for (double& v : out.data) v *= s;
    return out;
}

std::vector<std::array<double, 9>> QField2D::to_q3d() const {
    std::vector<std::array<double, 9>> out(len());
    for (std::size_t k = 0; k < len(); ++k) out[k] = {q1(k), q2(k), 0.0, q2(k), -q1(k), 0.0, 0.0, 0.0, 0.0};
    return out;
}

ScalarField2D ScalarField2D::zeros(std::uint64_t nx, std::uint64_t ny, double dx) {
    return ScalarField2D{std::vector<double>(checked_storage(nx, ny, 1), 0.0), nx, ny, dx};
}

ScalarField2D ScalarField2D::uniform(std::uint64_t nx, std::uint64_t ny, double dx, double val) {
    return ScalarField2D{std::vector<double>(checked_storage(nx, ny, 1), val), nx, ny, dx};
}

double ScalarField2D::mean_value() const {
    double sum = 0.0;
    for (double v : data) sum += v;
    return sum / static_cast<double>(data.size());
}

double ScalarField2D::variance() const {
    // Two passes: the mean, then the mean squared deviation, which is
    // non-negative by construction (the one-pass E[x^2] - E[x]^2 loses every
    // digit to cancellation for large values). The mean is taken relative to
    // the first value so that a uniform field gives a mean equal to its value
    // and hence a variance of exactly zero.
    if (data.empty()) return 0.0;
    const double x0 = data[0];
    double shifted = 0.0;
    for (double v : data) shifted += v - x0;
    const double mean = x0 + shifted / static_cast<double>(data.size());
    double acc = 0.0;
    for (double v : data) acc += (v - mean) * (v - mean);
    const double var = acc / static_cast<double>(data.size());
    return std::isnan(var) ? 0.0 : var;
}

double ScalarField2D::max_value() const {
    double m = -std::numeric_limits<double>::infinity();
    for (double v : data)
        if (v > m) m = v;
    return m;
}

double ScalarField2D::min_value() const {
    double m = std::numeric_limits<double>::infinity();
    for (double v : data)
        if (v < m) m = v;
    return m;
}

double ScalarField2D::mean_gradient_sq() const {
    require(data.size() == checked_storage(nx, ny, 1), "field storage does not match its grid");
    const double two_dx = 2.0 * dx;
    double sum = 0.0;
    for (std::uint64_t i = 0; i < nx; ++i) {
        const std::uint64_t ip = (i + 1) % nx, im = (i + nx - 1) % nx;
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::uint64_t jp = (j + 1) % ny, jm = (j + ny - 1) % ny;
            const double gx = (data[ip * ny + j] - data[im * ny + j]) / two_dx;
            const double gy = (data[i * ny + jp] - data[i * ny + jm]) / two_dx;
            sum += gx * gx + gy * gy;
        }
    }
    // The sum is an integral over cells of area dx^2 divided by the total
    // area, i.e. the plain mean over the vertices.
    return sum * (dx * dx) / (static_cast<double>(data.size()) * (dx * dx));
}

ScalarField2D ScalarField2D::laplacian() const { return {periodic_laplacian<1>(data, nx, ny, dx), nx, ny, dx}; }

VelocityField2D VelocityField2D::zeros(std::uint64_t nx, std::uint64_t ny, double dx) {
    return VelocityField2D{std::vector<double>(checked_storage(nx, ny, 2), 0.0), nx, ny, dx};
}

QField2D VelocityField2D::advect(const QField2D& q) const {
    return {upwind_advect<2>(*this, q.data, q.nx, q.ny), nx, ny, dx};
}

ScalarField2D VelocityField2D::advect_scalar(const ScalarField2D& phi) const {
    return {upwind_advect<1>(*this, phi.data, phi.nx, phi.ny), nx, ny, dx};
}

}  // namespace kestrin
