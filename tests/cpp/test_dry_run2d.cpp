#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"
#include "core/noise.hpp"
#include "core/params2d.hpp"
#include "fd/dry_run2d.hpp"
#include "fd/dry_step2d.hpp"

using namespace kestrin;

namespace {

struct Cadence {
    std::uint64_t n_steps, snap_every;
    std::vector<std::uint64_t> observed;
};

}  // namespace

TEST(RunDryActiveNematic, SnapshotsFollowTheCadenceOnTheInitialAndSteppedStates) {
    const Cadence cases[] = {{10, 3, {0, 3, 6, 9}}, {10, 5, {0, 5, 10}}, {0, 4, {0}}, {7, 0, {}}};
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.dt = 0.02;
    const QField2D q0 = QField2D::random_perturbation(7, 6, 1.0, 0.2, 3);
    for (const Cadence& c : cases) {
        auto [q, stats] = run_dry_active_nematic(q0, p, c.n_steps, c.snap_every);
        ASSERT_EQ(stats.size(), c.observed.size()) << c.n_steps << "/" << c.snap_every;

        // Replay the steps by hand: each record describes the state after
        // exactly its number of steps, and the final state is returned even
        // when it is not observed.
        Cartesian2DDry dry(p, LangevinNoise::from_seed(0));
        QField2D replay = q0;
        std::uint64_t done = 0;
        for (std::size_t r = 0; r < stats.size(); ++r) {
            for (; done < c.observed[r]; ++done) dry.step(replay, 0.0);
            EXPECT_EQ(stats[r].time, p.dt * static_cast<double>(c.observed[r]));
            EXPECT_EQ(stats[r].mean_s, replay.mean_order_param());
        }
        for (; done < c.n_steps; ++done) dry.step(replay, 0.0);
        EXPECT_EQ(q.data, replay.data);
    }
}

TEST(RunDryActiveNematic, ZeroFieldWithoutNoiseStaysZero) {
    auto [q, stats] = run_dry_active_nematic(QField2D::zeros(8, 8, 1.0), ActiveNematicParams::default_test(), 20, 10);
    for (double v : q.data) EXPECT_EQ(v, 0.0);
    ASSERT_EQ(stats.size(), 3u);
    for (const SnapStats& s : stats) {
        EXPECT_EQ(s.mean_s, 0.0);
        EXPECT_EQ(s.n_defects, 0u);
        EXPECT_EQ(s.defect_density, 0.0);
    }
}

TEST(RunDryActiveNematic, NoiseIsSeededFromTheRecordGridAndStepCount) {
    ActiveNematicParams p = ActiveNematicParams::default_test();  // 64 x 64 record
    p.noise_amp = 0.05;
    const QField2D q0 = QField2D::random_perturbation(6, 5, 1.0, 0.01, 9);  // a smaller field
    const auto a = run_dry_active_nematic(q0, p, 12, 4);
    const auto b = run_dry_active_nematic(q0, p, 12, 4);
    EXPECT_EQ(a.first.data, b.first.data);

    Cartesian2DDry dry(p, LangevinNoise::per_run_seed(64, 64, 12));
    QField2D q = q0;
    for (int s = 0; s < 12; ++s) dry.step(q, 0.0);
    EXPECT_EQ(a.first.data, q.data);

    // The seed depends on n_steps: a shorter run is not a prefix of this one.
    const auto shorter = run_dry_active_nematic(q0, p, 4, 4);
    Cartesian2DDry same_seed(p, LangevinNoise::per_run_seed(64, 64, 12));
    QField2D q4 = q0;
    for (int s = 0; s < 4; ++s) same_seed.step(q4, 0.0);
    EXPECT_NE(shorter.first.data, q4.data);
}

TEST(DrySink, CountsDefectsBySignAndDividesByTheRecordArea) {
    // One +1/2 defect centred in plaquette (4, 4): the director angle is half
    // the polar angle around the plaquette centre.
    const std::uint64_t n = 10;
    QField2D q = QField2D::zeros(n, n, 1.0);
    for (std::uint64_t i = 0; i < n; ++i)
        for (std::uint64_t j = 0; j < n; ++j) {
            const double phi = std::atan2(static_cast<double>(j) - 4.5, static_cast<double>(i) - 4.5);
            q.data[2 * (i * n + j)] = 0.4 * std::cos(phi);
            q.data[2 * (i * n + j) + 1] = 0.4 * std::sin(phi);
        }
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.nx = 20;
    p.ny = 5;
    p.dx = 0.5;
    p.dt = 0.25;
    DrySink sink(p);
    sink.observe(6, q, StepStats{}, 123.0);
    ASSERT_EQ(sink.stats().size(), 1u);
    const SnapStats& s = sink.stats()[0];
    EXPECT_EQ(s.time, 1.5);  // dt times the step, not the time handed in
    EXPECT_EQ(s.mean_s, q.mean_order_param());
    EXPECT_EQ(s.n_defects, 1u);
    EXPECT_EQ(s.n_plus + s.n_minus, s.n_defects);
    EXPECT_EQ(s.defect_density, 1.0 / ((5 * 0.5) * (20 * 0.5)));
}
