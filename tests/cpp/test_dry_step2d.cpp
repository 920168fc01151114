#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "core/noise.hpp"
#include "core/params2d.hpp"
#include "fd/beris_edwards2d.hpp"
#include "fd/dry_step2d.hpp"

using namespace kestrin;

namespace {

// Coefficients away from 1 so that no multiplication is an identity, and a
// time step large enough for every stage to move the field visibly.
ActiveNematicParams stiff_params(double noise_amp) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.nx = 3;  // deliberately unlike the fields: the step uses the field's grid
    p.ny = 2;
    p.k_r = 1.3;
    p.gamma_r = 0.8;
    p.dt = 0.03;
    p.noise_amp = noise_amp;
    return p;
}

QField2D gamma_h(const QField2D& q, const ActiveNematicParams& p) { return molecular_field(q, p).scale(p.gamma_r); }

// The classical Runge-Kutta step written with the field operations, then the
// noise drawn over the whole field at once.
QField2D reference_step(const QField2D& q, const ActiveNematicParams& p, LangevinNoise* noise) {
    const double h = p.dt;
    const QField2D k1 = gamma_h(q, p);
    const QField2D k2 = gamma_h(q.add(k1.scale(h / 2.0)), p);
    const QField2D k3 = gamma_h(q.add(k2.scale(h / 2.0)), p);
    const QField2D k4 = gamma_h(q.add(k3.scale(h)), p);
    QField2D out = q.add(k1.add(k2.scale(2.0)).add(k3.scale(2.0)).add(k4).scale(h / 6.0));
    if (noise) {
        std::vector<double> buf(out.data.size());
        noise->fill_pairs(buf, p.noise_amp, h);
        for (std::size_t i = 0; i < buf.size(); ++i) out.data[i] = out.data[i] + buf[i];
    }
    return out;
}

struct Grid {
    std::uint64_t nx, ny;
    double dx;
};

}  // namespace

TEST(Cartesian2DDry, StepIsBitIdenticalToTheFieldOperationRungeKutta) {
    // Odd sizes put the wrapped rows and columns apart from the interior and
    // leave partial vectors at the row ends; one or two rows or columns wrap
    // onto themselves; dx = 0.7 takes the general division by dx^2, the
    // others an exact reciprocal. One step object serves all grids in turn,
    // wide ones first, so its storage is reused with leftovers of other grids.
    const Grid grids[] = {{7, 64, 1.0}, {40, 33, 0.5}, {13, 17, 1.0}, {13, 17, 0.7}, {17, 13, 0.5}, {2, 2, 1.0},
                          {1, 9, 0.5},  {9, 1, 1.0},   {1, 1, 1.0},   {3, 5, 2.0},   {4, 3, 0.7},   {5, 6, 1.0}};
    for (double amp : {0.0, 0.05}) {
        const ActiveNematicParams p = stiff_params(amp);
        Cartesian2DDry fast(p, LangevinNoise::from_seed(7));
        LangevinNoise ref_noise = LangevinNoise::from_seed(7);
        for (const Grid& g : grids) {
            QField2D q = QField2D::random_perturbation(g.nx, g.ny, g.dx, 0.5, g.nx * 100 + g.ny);
            QField2D expect = q;
            for (int s = 0; s < 3; ++s) {
                const StepStats st = fast.step(q, 0.0);
                expect = reference_step(expect, p, amp > 0 ? &ref_noise : nullptr);
                ASSERT_EQ(q.data, expect.data) << g.nx << "x" << g.ny << " dx " << g.dx << " amp " << amp
                                               << " step " << s;
                ASSERT_TRUE(st.mean_s().has_value());
                EXPECT_EQ(*st.mean_s(), expect.mean_order_param());
            }
        }
        EXPECT_EQ(fast.noise().state(), ref_noise.state());
    }
}

TEST(Cartesian2DDry, FixedPointsStayPut) {
    const ActiveNematicParams p = ActiveNematicParams::default_test();
    Cartesian2DDry dry(p, LangevinNoise::from_seed(1));
    ASSERT_FALSE(dry.noise_enabled());

    QField2D zero = QField2D::zeros(6, 5, 1.0);
    for (int s = 0; s < 20; ++s) EXPECT_EQ(*dry.step(zero, 0.0).mean_s(), 0.0);
    for (double v : zero.data) EXPECT_EQ(v, 0.0);

    // The uniform Landau minimum |q|^2 = -a_eff / (2 c_landau) has H = 0.
    const double n = std::sqrt(-p.a_eff() / (2.0 * p.c_landau));
    const QField2D start = QField2D::uniform(6, 5, {n * std::cos(0.3), n * std::sin(0.3)}, 1.0);
    QField2D q = start;
    for (int s = 0; s < 200; ++s) dry.step(q, 0.0);
    for (std::size_t i = 0; i < q.data.size(); ++i) EXPECT_NEAR(q.data[i], start.data[i], 1e-14);
}

TEST(Cartesian2DDry, NoiseIsReproducibleFromTheSeed) {
    const ActiveNematicParams p = stiff_params(0.1);
    Cartesian2DDry a(p, LangevinNoise::from_seed(99)), b(p, LangevinNoise::from_seed(99));
    Cartesian2DDry quiet(stiff_params(0.0), LangevinNoise::from_seed(99));
    ASSERT_TRUE(a.noise_enabled());
    QField2D qa = QField2D::zeros(8, 6, 1.0), qb = qa, qq = qa;
    for (int s = 0; s < 4; ++s) {
        a.step(qa, 0.0);
        b.step(qb, 0.0);
        quiet.step(qq, 0.0);
    }
    EXPECT_EQ(qa.data, qb.data);
    EXPECT_GT(qa.max_norm(), 0.0);
    EXPECT_EQ(qq.max_norm(), 0.0);
}

TEST(Cartesian2DDry, StorageThatDoesNotMatchTheGridIsAnInternalFault) {
    Cartesian2DDry dry(stiff_params(0.0), LangevinNoise::from_seed(1));
    QField2D q = QField2D::zeros(4, 4, 1.0);
    q.data.pop_back();
    EXPECT_THROW(dry.step(q, 0.0), InternalFault);
}

// Prints the cost of one step; asserts nothing.
TEST(Cartesian2DDry, TimingPerVertex) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    for (std::uint64_t n : {64u, 256u, 1024u}) {
        p.nx = p.ny = n;
        Cartesian2DDry dry(p, LangevinNoise::from_seed(1));
        QField2D q = QField2D::random_perturbation(n, n, 1.0, 0.1, 7);
        const int steps = static_cast<int>(std::max<std::uint64_t>(3, 2'000'000 / (n * n)));
        dry.step(q, 0.0);
        double best = 1e300;
        for (int round = 0; round < 3; ++round) {
            const auto t0 = std::chrono::steady_clock::now();
            for (int s = 0; s < steps; ++s) dry.step(q, 0.0);
            const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
            best = std::min(best, dt.count() / steps);
        }
        std::printf("[dry step] %4llux%-4llu %7.3f ms/step %6.2f ns/vertex/step\n", static_cast<unsigned long long>(n),
                    static_cast<unsigned long long>(n), best * 1e3, best / static_cast<double>(n * n) * 1e9);
    }
}
