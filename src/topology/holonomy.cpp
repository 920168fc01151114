#include "topology/holonomy.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "core/internal_fault.hpp"

namespace kestrin {

Frame d2_gauge_fix(const Frame& a, const Frame& b) {
    const double d0 = a.col(0).dot(b.col(0));
    const double d1 = a.col(1).dot(b.col(1));
    const double d2 = a.col(2).dot(b.col(2));

    // Flipping two columns of b negates their overlaps with a, so each pattern
    // scores the signed sum of the three overlaps.
    constexpr std::array<std::array<double, 3>, 4> patterns{{
        {1.0, 1.0, 1.0},
        {-1.0, -1.0, 1.0},
        {-1.0, 1.0, -1.0},
        {1.0, -1.0, -1.0},
    }};
    const std::array<double, 4> scores{
        d0 + d1 + d2,
        -d0 - d1 + d2,
        -d0 + d1 - d2,
        d0 - d1 - d2,
    };
    constexpr double minus_inf = -std::numeric_limits<double>::infinity();
    double best = std::isnan(scores[0]) ? minus_inf : scores[0];
    std::size_t chosen = 0;
    for (std::size_t p = 1; p < patterns.size(); ++p) {
        if (scores[p] > best) {
            best = scores[p];
            chosen = p;
        }
    }

    Frame out = b;
    for (int c = 0; c < 3; ++c) out.col(c) *= patterns[chosen][static_cast<std::size_t>(c)];
    return out;
}

Eigen::Matrix3d loop_holonomy(std::span<const Frame> loop) {
    require(loop.size() >= 2, "loop_holonomy needs at least two frames");
    Eigen::Matrix3d h = Eigen::Matrix3d::Identity();
    for (std::size_t k = 0; k < loop.size(); ++k) {
        const Frame& from = loop[k];
        const Frame& to = loop[k + 1 == loop.size() ? 0 : k + 1];
        // Transition expressed in the frame `from`: the rotation taking its
        // axes onto the sign-aligned axes of `to`. Composing on the right
        // keeps every factor in the frame of the loop's first vertex.
        const Eigen::Matrix3d t = from.transpose() * d2_gauge_fix(from, to);
        h = (h * t).eval();
    }
    return h;
}

double holonomy_angle(const Eigen::Matrix3d& h) {
    // tr R = 1 + 2 cos(angle) for a rotation R.
    const double c = (h(0, 0) + h(1, 1) + h(2, 2) - 1.0) / 2.0;
    return std::acos(std::clamp(c, -1.0, 1.0));
}

void require_vertex_count(std::size_t count, std::uint64_t nx, std::uint64_t ny) {
    const bool ok = (nx == 0 || ny == 0) ? count == 0 : (count % nx == 0 && count / nx == ny);
    require(ok, "frames.len() must equal nx * ny");
}

std::vector<Disclination> scan_disclinations(std::span<const Frame> frames, std::uint64_t nx, std::uint64_t ny,
                                             double threshold) {
    require_vertex_count(frames.size(), nx, ny);
    std::vector<Disclination> out;
    if (nx < 2 || ny < 2) return out;
    std::array<Frame, 4> loop;
    for (std::uint64_t i = 0; i + 1 < nx; ++i) {
        for (std::uint64_t j = 0; j + 1 < ny; ++j) {
            // Counter-clockwise in the (x, y) = (i, j) plane.
            loop[0] = frames[i * ny + j];
            loop[1] = frames[(i + 1) * ny + j];
            loop[2] = frames[(i + 1) * ny + j + 1];
            loop[3] = frames[i * ny + j + 1];
            const Eigen::Matrix3d h = loop_holonomy(loop);
            const double angle = holonomy_angle(h);
            if (angle > threshold) out.push_back(Disclination{i, j, h, angle});
        }
    }
    return out;
}

}  // namespace kestrin
