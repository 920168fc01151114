#pragma once
// Holonomy of an eigenframe field around closed loops. Eigenvectors carry no
// sign, so a frame is only defined up to the four proper sign patterns
// diag(+-1, +-1, +-1) with determinant +1; each step of a loop first aligns
// the next frame with the current one (the "gauge fix") and then takes the
// transition rotation between them. Around a loop enclosing no disclination
// the product of the transitions is close to the identity; around a
// half-integer disclination it is a half turn.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include <Eigen/Core>

#include "topology/frames.hpp"

namespace kestrin {

// A plaquette whose holonomy turned by more than the scan threshold.
struct Disclination {
    std::uint64_t i = 0, j = 0;                       // plaquette: vertices (i..i+1, j..j+1)
    Eigen::Matrix3d h = Eigen::Matrix3d::Identity();  // holonomy around it
    double angle = 0.0;                               // rotation angle of h, radians
};

// b with the sign pattern, among identity, (-1, -1, +1), (-1, +1, -1) and
// (+1, -1, -1) applied to its columns, that maximises the summed column
// overlaps sum_c s_c (a_c . b_c). Ties keep the earlier pattern in that
// order; a NaN or -inf identity score counts as -inf, so a later pattern
// with any comparable score replaces it.
Frame d2_gauge_fix(const Frame& a, const Frame& b);

// H = T_0 T_1 ... T_{n-1} with T_k = F_k^T d2_gauge_fix(F_k, F_{k+1}) and
// F_n = F_0. Fewer than two frames is an internal fault.
Eigen::Matrix3d loop_holonomy(std::span<const Frame> loop);

// Rotation angle of a rotation matrix, acos((tr H - 1)/2), the cosine
// clamped to [-1, 1] so that rounding cannot leave the domain of acos; NaN
// for a non-finite H.
double holonomy_angle(const Eigen::Matrix3d& h);

// Internal fault "frames.len() must equal nx * ny" unless count == nx*ny
// (checked without forming the product, which may wrap).
void require_vertex_count(std::size_t count, std::uint64_t nx, std::uint64_t ny);

// Every plaquette (i, j), 0 <= i < nx-1, 0 <= j < ny-1, of a grid of frames
// (vertex (i, j) at i*ny + j) whose holonomy around (i, j), (i+1, j),
// (i+1, j+1), (i, j+1) turns by more than `threshold` (strictly), i slow and
// j fast. Plaquettes across the periodic seam are not scanned.
std::vector<Disclination> scan_disclinations(std::span<const Frame> frames, std::uint64_t nx, std::uint64_t ny,
                                             double threshold);

}  // namespace kestrin
