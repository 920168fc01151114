#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/noise.hpp"

using namespace kestrin;

TEST(LangevinNoise, SeedingFollowsSplitMix64) {
    // Published first output of SplitMix64 started at 0.
    EXPECT_EQ(splitmix64_mix(0x9E3779B97F4A7C15ULL), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(LangevinNoise::from_seed(0).state()[0], 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(LangevinNoise::per_run_seed(64, 64, 5000).state(), LangevinNoise::per_run_seed(64, 64, 5000).state());
    EXPECT_NE(LangevinNoise::per_run_seed(64, 64, 5000).state(), LangevinNoise::per_run_seed(64, 64, 5001).state());
    const std::uint64_t seed = 5000 ^ (64 * 0x5851F42D4C957F2DULL) ^ (64 * 0x14057B7EF767814FULL);
    EXPECT_EQ(LangevinNoise::per_run_seed(64, 64, 5000).state(), LangevinNoise::from_seed(seed).state());
    EXPECT_EQ(LangevinNoise::per_step_seed(12, 7).state(), LangevinNoise::from_seed(12 ^ 7).state());
}

TEST(LangevinNoise, XoshiroAndBoxMullerReferenceValues) {
    // Computed with an independent big-integer transcription of the published
    // xoshiro256++ step and the Box-Muller transform, from seed 0.
    LangevinNoise g = LangevinNoise::from_seed(0);
    EXPECT_EQ(g.next_u64(), 0x53175D61490B23DFULL);
    EXPECT_EQ(g.next_u64(), 0x61DA6F3DC380D507ULL);
    const auto p = LangevinNoise::from_seed(0).gaussian_pair();
    EXPECT_DOUBLE_EQ(p[0], -1.1079085986338315);  // cosine first
    EXPECT_DOUBLE_EQ(p[1], 1.0114416320093498);
}

TEST(LangevinNoise, FillPairsWritesWholePairsOnly) {
    LangevinNoise a = LangevinNoise::from_seed(3);
    const auto before = a.state();
    std::vector<double> one{42.0};
    a.fill_pairs(one, 1.0, 1.0);
    EXPECT_EQ(one[0], 42.0);
    EXPECT_EQ(a.state(), before);  // nothing drawn

    std::vector<double> five(5, 42.0);
    LangevinNoise b = LangevinNoise::from_seed(3);
    b.fill_pairs(five, 3.0, 0.25);  // sigma = amp sqrt(dt) = 1.5
    LangevinNoise c = LangevinNoise::from_seed(3);
    const auto p1 = c.gaussian_pair();
    const auto p2 = c.gaussian_pair();
    EXPECT_EQ(five[0], 1.5 * p1[0]);
    EXPECT_EQ(five[1], 1.5 * p1[1]);
    EXPECT_EQ(five[2], 1.5 * p2[0]);
    EXPECT_EQ(five[3], 1.5 * p2[1]);
    EXPECT_EQ(five[4], 42.0);
    EXPECT_EQ(b.state(), c.state());  // two outputs per pair
}

TEST(LangevinNoise, GaussianMomentsAndFill5) {
    LangevinNoise g = LangevinNoise::from_seed(11);
    std::vector<double> x(200000);
    g.fill_pairs(x, 1.0, 4.0);  // sigma = 2
    double m = 0, v = 0;
    for (double e : x) m += e;
    m /= static_cast<double>(x.size());
    for (double e : x) v += (e - m) * (e - m);
    v /= static_cast<double>(x.size());
    EXPECT_NEAR(m, 0.0, 0.02);
    EXPECT_NEAR(v, 4.0, 0.04);

    LangevinNoise a = LangevinNoise::from_seed(5), b = LangevinNoise::from_seed(5), c = LangevinNoise::from_seed(5);
    const auto five = a.fill5();
    const auto p1 = b.gaussian_pair(), p2 = b.gaussian_pair(), p3 = b.gaussian_pair();
    EXPECT_EQ(five, (std::array<double, 5>{p1[0], p1[1], p2[0], p2[1], p3[0]}));
    for (int k = 0; k < 6; ++k) c.next_u64();
    EXPECT_EQ(a.state(), c.state());
}
