#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "core/params2d.hpp"
#include "fd/k0_map2d.hpp"

using namespace kestrin;

namespace {

ActiveNematicParams with_xi(double xi) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.xi_l = xi;
    return p;
}

// The map as stated: for every vertex, every offset in order (di outer, dj
// inner), the centre skipped, the kernel evaluated afresh each time.
QField2D naive_k0_map(const QField2D& q, double xi) {
    const std::int64_t nx = static_cast<std::int64_t>(q.nx), ny = static_cast<std::int64_t>(q.ny);
    const double dx = q.dx;
    const std::int64_t radius = k0_radius(xi, dx, q.nx, q.ny);
    QField2D out = QField2D::zeros(q.nx, q.ny, dx);
    for (std::int64_t i = 0; i < nx; ++i)
        for (std::int64_t j = 0; j < ny; ++j) {
            double s1 = 0.0, s2 = 0.0;
            for (std::int64_t di = -radius; di < radius; ++di)
                for (std::int64_t dj = -radius; dj < radius; ++dj) {
                    const double ax = static_cast<double>(dj) * dx, ay = static_cast<double>(di) * dx;
                    const double r = std::sqrt(ax * ax + ay * ay);
                    if (r < dx / 2.0) continue;
                    const double w = bessel_k0(r / xi);
                    const std::size_t k = static_cast<std::size_t>(((i + di + nx) % nx) * ny + (j + dj + ny) % ny);
                    s1 += w * q.q1(k);
                    s2 += w * q.q2(k);
                }
            const std::size_t k = static_cast<std::size_t>(i * ny + j);
            const double denom = 2.0 * std::numbers::pi * (xi * xi);
            out.data[2 * k] = s1 * dx * dx / denom;
            out.data[2 * k + 1] = s2 * dx * dx / denom;
        }
    return out;
}

}  // namespace

TEST(BesselK0, AgreesWithTabulatedValuesWithinThePolynomialErrorBounds) {
    // Below 2 the error is that of the K0 polynomial (1e-8) plus ln(x/2)
    // times that of the I0 polynomial (a few 1e-8 here); above 2 the scaled
    // form sqrt(x) e^x K0 is good to 1.9e-7.
    struct Case {
        double x, k0;
    };
    const Case small[] = {{0.01, 4.721244730161}, {0.1, 2.427069024702}, {0.5, 0.9244190712277},
                          {1.0, 0.4210244382407},  {1.9, 0.1288459792760}, {2.0, 0.1138938727495}};
    const Case large[] = {{2.1, 0.1007837408900}, {3.0, 0.03473950438628}, {5.0, 0.003691098334043},
                          {10.0, 1.778006231617e-5}};
    for (const Case& c : small) EXPECT_NEAR(bessel_k0(c.x), c.k0, 5e-8) << c.x;
    for (const Case& c : large) EXPECT_NEAR(bessel_k0(c.x) / c.k0, 1.0, 2e-7) << c.x;
    EXPECT_EQ(bessel_k0(0.0), std::numeric_limits<double>::infinity());
    EXPECT_EQ(bessel_k0(-1.0), std::numeric_limits<double>::infinity());
    EXPECT_TRUE(std::isnan(bessel_k0(std::nan(""))));
}

TEST(K0Radius, IsSixLengthsCappedByHalfTheGrid) {
    struct Case {
        double xi, dx;
        std::uint64_t nx, ny;
        std::int64_t radius;
    };
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    const Case cases[] = {
        {5.0, 1.0, 64, 64, 30},   {1.0, 1.0, 64, 64, 6},   {5.0, 1.0, 8, 8, 4},    {5.0, 1.0, 64, 9, 4},
        {0.7, 0.5, 64, 64, 9},    {0.01, 1.0, 64, 64, 1},  {0.0, 1.0, 64, 64, 0},  {nan, 1.0, 64, 64, 0},
        {inf, 1.0, 64, 40, 20},   {1e300, 1e-300, 8, 6, 3}, {-1.0, 1.0, 64, 64, -6}, {5.0, 1.0, 1, 64, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(k0_radius(c.xi, c.dx, c.nx, c.ny), c.radius) << c.xi << " " << c.dx;
}

TEST(K0Map, IsBitIdenticalToThePerVertexSum) {
    struct Case {
        std::uint64_t nx, ny;
        double dx, xi;
    };
    // Radii 5, 3 (capped by ny), 4 (capped by both), 2 and 0.
    const Case cases[] = {{12, 11, 1.0, 0.8}, {9, 7, 0.7, 0.5}, {8, 8, 1.0, 5.0}, {13, 16, 0.25, 0.05}, {1, 6, 1.0, 1.0}};
    for (const Case& c : cases) {
        const QField2D q = QField2D::random_perturbation(c.nx, c.ny, c.dx, 0.7, 5);
        const QField2D out = k0_convolution(q, with_xi(c.xi), K0Method::direct);
        const QField2D ref = naive_k0_map(q, c.xi);
        EXPECT_EQ(out.data, ref.data) << c.nx << "x" << c.ny;
        EXPECT_EQ(out.nx, c.nx);
        EXPECT_EQ(out.ny, c.ny);
        EXPECT_EQ(out.dx, c.dx);
    }
}

TEST(K0Map, UniformFieldKeepsTheDiscreteKernelWeight) {
    // Each vertex sums the same terms in the same order, so the result is
    // exactly uniform; the weight falls short of one by the missing centre
    // cell and the cut-off.
    struct Case {
        double xi, weight, tol;
    };
    for (const Case& c : {Case{5.0, 0.9758, 1e-4}, Case{1.0, 0.764, 1e-3}}) {
        const QField2D out = k0_convolution(QField2D::uniform(64, 64, {0.5, 0.0}, 1.0), with_xi(c.xi));
        for (std::size_t k = 0; k < out.len(); ++k) {
            ASSERT_EQ(out.q1(k), out.q1(0));
            ASSERT_EQ(out.q2(k), 0.0);
        }
        EXPECT_NEAR(out.q1(0) / 0.5, c.weight, c.tol) << c.xi;
    }
    for (double v : k0_convolution(QField2D::zeros(64, 64, 1.0), with_xi(5.0)).data) EXPECT_EQ(v, 0.0);
}

TEST(K0Map, ImpulseResponseShowsTheAsymmetricOffsets) {
    // A unit q1 at the origin appears at out(i, j) through the offset
    // (di, dj) = (-i, -j) taken periodically: offsets -R..R-1 mean -R is
    // reached and +R is not.
    struct Case {
        std::uint64_t n;
        double xi;
        std::int64_t radius;
    };
    for (const Case& c : {Case{64, 1.0, 6}, Case{8, 5.0, 4}}) {
        QField2D q = QField2D::zeros(c.n, c.n, 1.0);
        q.data[0] = 1.0;
        const QField2D out = k0_convolution(q, with_xi(c.xi), K0Method::direct);
        const double scale = 1.0 / (2.0 * std::numbers::pi * c.xi * c.xi);
        std::size_t nonzero = 0;
        for (std::uint64_t i = 0; i < c.n; ++i)
            for (std::uint64_t j = 0; j < c.n; ++j) {
                const double v = out.q1(i * c.n + j);
                EXPECT_EQ(out.q2(i * c.n + j), 0.0);
                nonzero += v != 0.0;
                // The one offset in -R..R-1 congruent to -m modulo n, if any.
                auto offset = [&](std::uint64_t m) {
                    const std::int64_t d = -static_cast<std::int64_t>(m);
                    return d < -c.radius ? d + static_cast<std::int64_t>(c.n) : d;
                };
                const std::int64_t di = offset(i), dj = offset(j);
                const bool inside = di >= -c.radius && di < c.radius && dj >= -c.radius && dj < c.radius;
                if (!inside || (di == 0 && dj == 0)) {
                    EXPECT_EQ(v, 0.0) << i << "," << j;
                } else {
                    const double r = std::hypot(static_cast<double>(di), static_cast<double>(dj));
                    EXPECT_NEAR(v, bessel_k0(r / c.xi) * scale, 1e-15) << i << "," << j;
                }
            }
        EXPECT_EQ(nonzero, static_cast<std::size_t>(4 * c.radius * c.radius - 1)) << c.n;
    }
}

TEST(K0MapWorkspace2D, ReuseAndInPlaceUseMatchAFreshMap) {
    K0MapWorkspace2D ws(20, 16);
    for (double xi : {1.0, 2.0, 1.0}) {
        const QField2D q = QField2D::random_perturbation(20, 16, 1.0, 0.5, 11);
        const QField2D fresh = k0_convolution(q, with_xi(xi), K0Method::direct);
        QField2D out;
        ws.apply(q, with_xi(xi), out, K0Method::direct);
        EXPECT_EQ(out.data, fresh.data) << xi;
        QField2D in_place = q;
        ws.apply(in_place, with_xi(xi), in_place, K0Method::direct);
        EXPECT_EQ(in_place.data, fresh.data) << xi;
    }
    QField2D out;
    EXPECT_THROW(ws.apply(QField2D::zeros(16, 20, 1.0), with_xi(1.0), out), InternalFault);
}

TEST(K0Map, SpectralRouteEqualsTheDirectSumUpToRounding) {
    // Grids where 2R is below and equal to the grid (the offsets then cover
    // every residue once), odd and even, square and not.
    struct Case { std::uint64_t nx, ny; double xi, dx; };
    for (const Case c : {Case{64, 64, 5.0, 1.0}, Case{64, 48, 1.0, 1.0}, Case{37, 50, 2.0, 0.7}, Case{8, 8, 5.0, 1.0}}) {
        ActiveNematicParams p = ActiveNematicParams::default_test();
        p.xi_l = c.xi;
        const QField2D q = QField2D::random_perturbation(c.nx, c.ny, c.dx, 0.4, 21);
        const QField2D a = k0_convolution(q, p, K0Method::direct);
        const QField2D b = k0_convolution(q, p, K0Method::spectral);
        double scale = 0, err = 0;
        for (std::size_t k = 0; k < a.data.size(); ++k) {
            scale = std::max(scale, std::abs(a.data[k]));
            err = std::max(err, std::abs(a.data[k] - b.data[k]));
        }
        EXPECT_LT(err, 1e-13 * scale) << c.nx << "x" << c.ny << " xi " << c.xi;
        EXPECT_EQ(b.nx, c.nx);
        EXPECT_EQ(b.dx, c.dx);
    }
}
