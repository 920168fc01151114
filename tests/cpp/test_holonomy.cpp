#include <gtest/gtest.h>

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "topology/defect_scan2d.hpp"
#include "topology/frames.hpp"
#include "topology/holonomy.hpp"

using namespace kestrin;

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

void set_angle(QField2D& q, std::uint64_t i, std::uint64_t j, double theta, double s = 0.4) {
    const std::size_t k = i * q.ny + j;
    q.data[2 * k] = s * std::cos(2 * theta);
    q.data[2 * k + 1] = s * std::sin(2 * theta);
}

// Director angle theta = sum of charge_c * (polar angle round the centre of
// plaquette c): a +-1/2 core in each listed plaquette.
struct Core {
    double ci, cj, charge;
};

QField2D cores_field(std::uint64_t nx, std::uint64_t ny, std::vector<Core> cores) {
    QField2D q = QField2D::zeros(nx, ny, 1.0);
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            double theta = 0;
            for (const Core& c : cores) theta += c.charge * std::atan2(j - (c.cj + 0.5), i - (c.ci + 0.5));
            set_angle(q, i, j, theta);
        }
    return q;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> plaquettes(const std::vector<DefectInfo>& d) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (const DefectInfo& x : d) out.emplace_back(x.i, x.j);
    return out;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> plaquettes(const std::vector<Disclination>& d) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> out;
    for (const Disclination& x : d) out.emplace_back(x.i, x.j);
    return out;
}

}  // namespace

// ---- single cores ------------------------------------------------------------

struct CoreCase {
    std::uint64_t nx, ny, ci, cj;
    double charge;
    int sign;
};

class HalfCore : public ::testing::TestWithParam<CoreCase> {};

TEST_P(HalfCore, IsFoundInItsPlaquetteWithAHalfTurnAndItsSign) {
    const CoreCase c = GetParam();
    const QField2D q = cores_field(c.nx, c.ny, {{double(c.ci), double(c.cj), c.charge}});
    const auto found = scan_defects(q, kPi / 2);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].i, c.ci);
    EXPECT_EQ(found[0].j, c.cj);
    EXPECT_NEAR(found[0].angle, kPi, 1e-9);
    EXPECT_EQ(found[0].charge_sign, c.sign);
    // The threshold is strict: a half turn exceeds anything below pi only.
    EXPECT_EQ(scan_defects(q, 3.14).size(), 1u);
    EXPECT_TRUE(scan_defects(q, kPi).empty());
}

INSTANTIATE_TEST_SUITE_P(Cores, HalfCore,
                         ::testing::Values(CoreCase{12, 10, 5, 4, 0.5, 1}, CoreCase{12, 10, 5, 4, -0.5, -1},
                                           CoreCase{9, 9, 0, 0, 0.5, 1}, CoreCase{7, 11, 5, 9, -0.5, -1},
                                           CoreCase{2, 2, 0, 0, 0.5, 1}, CoreCase{3, 70, 1, 66, -0.5, -1},
                                           CoreCase{3, 70, 0, 63, 0.5, 1}));

TEST(ScanDefects, CoresInTheWrappedRowOrColumnOfPlaquettesAreNotScanned) {
    EXPECT_TRUE(scan_defects(cores_field(8, 8, {{7, 3, 0.5}}), kPi / 2).empty());
    EXPECT_TRUE(scan_defects(cores_field(8, 8, {{3, 7, -0.5}}), kPi / 2).empty());
}

TEST(ScanDefects, OppositePairKeepsScanOrderAndSigns) {
    const auto found = scan_defects(cores_field(16, 16, {{11, 7, -0.5}, {4, 7, 0.5}}), kPi / 2);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].i, 4u);
    EXPECT_EQ(found[0].charge_sign, 1);
    EXPECT_EQ(found[1].i, 11u);
    EXPECT_EQ(found[1].charge_sign, -1);
}

// ---- thresholds and degenerate grids ----------------------------------------

TEST(ScanDefects, ThresholdsOutsideTheRangeOfAngles) {
    const QField2D q = cores_field(6, 7, {{2, 3, 0.5}});
    EXPECT_TRUE(scan_defects(q, 4.0).empty());
    const auto all = scan_defects(q, -1.0);
    ASSERT_EQ(all.size(), 5u * 6u);
    for (std::size_t n = 0; n < all.size(); ++n) {
        EXPECT_EQ(all[n].i, n / 6);
        EXPECT_EQ(all[n].j, n % 6);
        EXPECT_EQ(all[n].angle, all[n].i == 2 && all[n].j == 3 ? std::acos(-1.0) : 0.0);
    }
}

TEST(ScanDefects, GridsWithoutPlaquettesReportNothing) {
    for (auto [nx, ny] : {std::pair<std::uint64_t, std::uint64_t>{1, 5}, {5, 1}, {0, 0}, {0, 3}}) {
        EXPECT_TRUE(scan_defects(QField2D::uniform(nx, ny, {0.3, 0.1}, 1.0), -1.0).empty()) << nx << "x" << ny;
    }
}

TEST(ScanDefects, UniformFieldsHaveNoDefectsAtAnyNonNegativeThreshold) {
    // Includes the branch cut of atan2 (q2 = +-0, q1 < 0, director along y),
    // the zero field and magnitudes whose squares underflow.
    const std::vector<std::array<double, 2>> values{
        {0.3, 0.4}, {-0.3, 0.0}, {-0.3, -0.0}, {0.0, -0.2}, {-0.0, 0.2}, {0.0, 0.0}, {1e-200, -3e-200}, {-2e-160, 0.0}};
    for (const auto& v : values) {
        const QField2D q = QField2D::uniform(9, 70, v, 1.0);
        for (double threshold : {0.0, 1e-12, kPi / 2}) {
            EXPECT_TRUE(scan_defects(q, threshold).empty()) << v[0] << "," << v[1] << " at " << threshold;
        }
    }
}

TEST(ScanDefects, SignedZerosOnTheBranchCutDoNotMakeDefects) {
    // theta = +pi/2 and -pi/2 are one director; frames built from them differ
    // by a half turn that the gauge fix must undo on every edge.
    QField2D q = QField2D::zeros(10, 67, 1.0);
    std::mt19937_64 rng(7);
    for (std::size_t k = 0; k < q.len(); ++k) {
        q.data[2 * k] = -0.25;
        q.data[2 * k + 1] = (rng() & 1) ? 0.0 : -0.0;
    }
    EXPECT_TRUE(scan_defects(q, 0.0).empty());
}

TEST(ScanDefects, NonFiniteVerticesSpoilOnlyTheirOwnPlaquettes) {
    for (double bad : {kNan, std::numeric_limits<double>::infinity()}) {
        QField2D q = cores_field(8, 70, {{1, 1, 0.5}});
        q.data[2 * (5 * 70 + 66) + 1] = bad;
        const auto all = scan_defects(q, -1.0);
        EXPECT_EQ(all.size(), 7u * 69u - 4u);
        for (const DefectInfo& d : all) {
            EXPECT_FALSE((d.i == 4 || d.i == 5) && (d.j == 65 || d.j == 66)) << d.i << "," << d.j;
        }
        const auto found = scan_defects(q, kPi / 2);
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(plaquettes(found)[0], std::make_pair(std::uint64_t{1}, std::uint64_t{1}));
    }
}

TEST(ScanDefects, StoredVertexCountMustMatchTheGrid) {
    QField2D q = QField2D::uniform(4, 4, {0.3, 0.1}, 1.0);
    q.data.resize(2 * 15);
    try {
        scan_defects(q, 0.0);
        FAIL() << "no fault";
    } catch (const InternalFault& e) {
        EXPECT_EQ(std::string(e.what()), "frames.len() must equal nx * ny");
    }
    const std::vector<Frame> frames(15, Frame::Identity());
    EXPECT_THROW(scan_disclinations(frames, 4, 4, 0.0), InternalFault);
    EXPECT_THROW(scan_disclinations(frames, 0, 4, 0.0), InternalFault);
}

// ---- charge sign ---------------------------------------------------------------

TEST(ScanDefects, ChargeSignIsTheDirectorWindingEvenAtQuarterTurnTies) {
    // 2x2 fields whose corner directors turn by a quarter turn give or take a
    // few units of rounding along every edge: the wrap of each step is
    // decided by rounding, and the sign must still be that of the summed
    // wrapped steps of theta, for every plaquette and whatever its angle.
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> start(-kPi, kPi), jitter(-4e-16, 4e-16);
    std::uniform_int_distribution<int> turn(-1, 1);
    int reported = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        QField2D q = QField2D::zeros(2, 2, 1.0);
        double theta = start(rng);
        for (std::uint64_t k : {0, 2, 3, 1}) {  // loop order (0,0), (1,0), (1,1), (0,1)
            set_angle(q, k / 2, k % 2, theta, 0.3);
            theta += turn(rng) * kPi / 2 + jitter(rng);
        }
        const auto all = scan_defects(q, -1.0);
        ASSERT_EQ(all.size(), 1u);
        EXPECT_EQ(all[0].charge_sign, plaquette_charge_sign(q, 0, 0)) << trial;
        reported += all[0].angle > kPi / 2;
    }
    EXPECT_GT(reported, 100);
}

// ---- frames and gauge fix ------------------------------------------------------

TEST(Frames, QToFrameIsTheProperEigenframeInAscendingOrder) {
    Eigen::Matrix3d m;
    m << 0.4, 0.1, -0.2, 0.3, -0.1, 0.05, -0.2, 0.05, 0.7;  // not symmetric: (m + m^T)/2 is used
    const Eigen::Matrix3d sym = (m + m.transpose()) / 2.0;
    const Frame f = q_to_frame(m);
    EXPECT_TRUE((f.transpose() * f).isApprox(Eigen::Matrix3d::Identity(), 1e-14));
    EXPECT_NEAR(f.determinant(), 1.0, 1e-14);
    const Eigen::Vector3d lambda = Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d>(sym).eigenvalues();
    EXPECT_LT(lambda(0), lambda(1));
    EXPECT_LT(lambda(1), lambda(2));
    for (int c = 0; c < 3; ++c) EXPECT_TRUE((sym * f.col(c)).isApprox(lambda(c) * f.col(c), 1e-12)) << c;

    Eigen::Matrix3d bad = sym;
    bad(1, 1) = kNan;
    EXPECT_THROW(q_to_frame(bad), InternalFault);
}

TEST(Frames, ClosedFormPlanarFrameIsTheEigenframeUpToColumnSigns) {
    const std::vector<std::array<double, 2>> values{{0.3, 0.4},  {-0.3, 0.0}, {-0.3, -0.0}, {0.0, -0.2},
                                                    {-0.5, 0.01}, {-0.5, -1e-9}, {1e-200, -3e-200}, {2e160, 1e160}};
    for (const auto& v : values) {
        const Frame closed = planar_q_frame(v[0], v[1]);
        const double t = std::atan2(v[1], v[0]) / 2;
        EXPECT_NEAR(closed(0, 2), std::cos(t), 1e-15);
        EXPECT_NEAR(closed(1, 2), std::sin(t), 1e-15);
        EXPECT_NEAR(closed.determinant(), 1.0, 1e-15);
        if (std::hypot(v[0], v[1]) < 1e-100 || std::hypot(v[0], v[1]) > 1e100) continue;
        Eigen::Matrix3d lifted;
        lifted << v[0], v[1], 0, v[1], -v[0], 0, 0, 0, 0;
        const Frame general = q_to_frame(lifted);
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(std::abs(closed.col(c).dot(general.col(c))), 1.0, 1e-14) << v[0] << "," << v[1] << " col " << c;
        }
    }
}

TEST(Holonomy, GaugeFixPicksTheBestSignPatternWithEarlierPatternsWinningTies) {
    struct Case {
        std::array<double, 3> overlaps;  // d0, d1, d2 with a = identity
        std::array<double, 3> signs;
    };
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> table{
        {{1, 1, 1}, {1, 1, 1}},         {{-1, -1, 1}, {-1, -1, 1}},     {{-1, 1, -1}, {-1, 1, -1}},
        {{1, -1, -1}, {1, -1, -1}},     {{0, 0, 0}, {1, 1, 1}},         {{-1, 0, 0}, {-1, -1, 1}},
        {{0, 0, -1}, {-1, 1, -1}},      {{kNan, 1, 1}, {1, 1, 1}},      {{inf, -inf, 1}, {1, -1, -1}},
        {{-0.2, 0.9, -0.3}, {-1, 1, -1}},
    };
    for (const Case& c : table) {
        const Eigen::Matrix3d b = Eigen::Vector3d(c.overlaps[0], c.overlaps[1], c.overlaps[2]).asDiagonal();
        const Frame fixed = d2_gauge_fix(Frame::Identity(), b);
        for (int k = 0; k < 3; ++k) {
            const double expected = c.signs[std::size_t(k)] * c.overlaps[std::size_t(k)];
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(fixed(k, k)));
            } else {
                EXPECT_EQ(fixed(k, k), expected) << c.overlaps[0] << "," << c.overlaps[1] << "," << c.overlaps[2];
            }
        }
    }
    // A frame with two axes reversed is aligned back onto the original.
    const Frame a = Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, -0.5).normalized()).toRotationMatrix();
    for (const Eigen::Vector3d& s : {Eigen::Vector3d(-1, -1, 1), Eigen::Vector3d(-1, 1, -1), Eigen::Vector3d(1, -1, -1)}) {
        EXPECT_TRUE(d2_gauge_fix(a, a * s.asDiagonal()).isApprox(a, 1e-15));
    }
}

TEST(Holonomy, LoopNeedsTwoFramesAndGoingThereAndBackTurnsNothing) {
    const std::vector<Frame> one(1, Frame::Identity());
    EXPECT_THROW(loop_holonomy(one), InternalFault);
    EXPECT_THROW(loop_holonomy(std::span<const Frame>{}), InternalFault);
    const Frame a = planar_q_frame(0.1, 0.3);
    const std::vector<Frame> back_and_forth{a, planar_q_frame(-0.2, 0.1)};
    EXPECT_NEAR(holonomy_angle(loop_holonomy(back_and_forth)), 0.0, 1e-7);
}

// ---- the word-parallel scan against the 3x3 holonomy ----------------------------

TEST(ScanDefects, AgreesWithTheEigenframeHolonomyOnRandomFieldsAndCores) {
    // Both frame constructions (Eigen's solver and the closed form) through
    // the 3x3 gauge-fixed products. The angles of planar fields are 0 or pi;
    // acos near +-1 turns rounding of 1e-16 into 1e-8, hence the tolerance.
    // Grids of 65 and 130 columns carry plaquette rows across 64-bit words.
    std::vector<QField2D> fields;
    for (auto [nx, ny, seed] : {std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>{17, 13, 1}, {6, 65, 2},
                                {5, 130, 3}, {40, 9, 4}}) {
        fields.push_back(QField2D::random_perturbation(nx, ny, 1.0, 0.5, seed));
    }
    fields.push_back(cores_field(16, 16, {{4, 7, 0.5}, {11, 7, -0.5}, {8, 2, 0.5}}));
    for (const QField2D& q : fields) {
        const auto eigen_frames = frames_from_tensors(q.to_q3d());
        const auto closed_frames = planar_frames(q);
        const auto fast = scan_defects(q, -1.0);
        const auto by_eigen = scan_disclinations(eigen_frames, q.nx, q.ny, -1.0);
        const auto by_closed = scan_disclinations(closed_frames, q.nx, q.ny, -1.0);
        ASSERT_EQ(fast.size(), (q.nx - 1) * (q.ny - 1));
        ASSERT_EQ(plaquettes(by_eigen), plaquettes(fast));
        ASSERT_EQ(plaquettes(by_closed), plaquettes(fast));
        for (std::size_t n = 0; n < fast.size(); ++n) {
            EXPECT_NEAR(fast[n].angle, by_eigen[n].angle, 1e-6) << q.nx << "x" << q.ny << " #" << n;
            EXPECT_NEAR(fast[n].angle, by_closed[n].angle, 1e-6) << q.nx << "x" << q.ny << " #" << n;
            EXPECT_EQ(fast[n].charge_sign, plaquette_charge_sign(q, fast[n].i, fast[n].j));
        }
        const auto found = scan_defects(q, kPi / 2);
        EXPECT_FALSE(found.empty());
        EXPECT_EQ(plaquettes(found), plaquettes(scan_disclinations(eigen_frames, q.nx, q.ny, kPi / 2)));
        EXPECT_EQ(plaquettes(found), plaquettes(scan_disclinations(closed_frames, q.nx, q.ny, kPi / 2)));
    }
}

// ---- cost ----------------------------------------------------------------------

TEST(ScanDefects, PrintsItsCostAt256x256) {
    const std::uint64_t n = 256;
    const QField2D noise = QField2D::random_perturbation(n, n, 1.0, 0.001, 42);
    const QField2D pair = cores_field(n, n, {{60, 100, 0.5}, {190, 150, -0.5}});
    for (const auto& [name, q] : {std::pair<const char*, const QField2D&>{"white noise", noise}, {"one pair", pair}}) {
        double best = 1e9;
        std::size_t count = 0;
        for (int rep = 0; rep < 20; ++rep) {
            const auto t0 = std::chrono::steady_clock::now();
            count = scan_defects(q, kPi / 2).size();
            best = std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        }
        std::printf("[ cost     ] scan_defects 256x256 %s: %zu defects, %.3f ms\n", name, count, best);
    }
}
