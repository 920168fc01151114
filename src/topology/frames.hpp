#pragma once
// Orthonormal eigenframes of symmetric 3x3 order tensors. A frame is a proper
// rotation whose columns are the eigenvectors of Q; the holonomy scan compares
// neighbouring frames, so the same tensor must always give the same frame.
//
// Column order: ascending eigenvalue (the order of Eigen's self-adjoint
// solver). For the lifted 2D tensor [[q1, q2, 0], [q2, -q1, 0], [0, 0, 0]]
// with n = |(q1, q2)| > 0 the eigenvalues are -n, 0, +n, so the columns are
// the normal to the director, the z axis and the director.
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include <Eigen/Core>

#include "core/fields2d.hpp"

namespace kestrin {

// Columns are the frame's axes; Eigen stores the matrix column by column.
using Frame = Eigen::Matrix3d;

// Frame of any 3x3 tensor m: eigenvectors of (m + m^T)/2 as columns in
// ascending eigenvalue order, the third negated when the determinant is
// negative. A failure of the solver (NaN entries) is an internal fault.
Frame q_to_frame(const Eigen::Matrix3d& m);

// q_to_frame of every tensor, in order; each tensor is stored row by row as
// QField2D::to_q3d gives it.
std::vector<Frame> frames_from_tensors(const std::vector<std::array<double, 9>>& tensors);

// A positive multiple of the director (cos t, sin t), t = atan2(q2, q1)/2 in
// [-pi/2, pi/2], of length in [1, 2]. With u = (q1, q2)/n the half-angle
// identities
//   (1 + u1, u2)            = 2 cos t (cos t, sin t)   used for u1 >= 0,
//   (|u2|, sgn(u2)(1 - u1)) = 2 |sin t| (cos t, sin t) used for u1 < 0,
// need one square root and no trigonometry, and neither subtracts nearly
// equal numbers. sgn follows the sign bit of u2, as atan2 does on its branch
// cut (t = +-pi/2 for q2 = +-0, q1 < 0). Where n is zero, tiny or huge, t
// itself is used. A non-finite component gives NaN.
inline std::array<double, 2> director_direction(double q1, double q2) {
    if (!(std::isfinite(q1) && std::isfinite(q2))) {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        return {nan, nan};
    }
    const double n = std::sqrt(q1 * q1 + q2 * q2);
    if (n >= 1e-150 && n <= 1e150) {
        const double inv = 1.0 / n;
        const double u1 = q1 * inv, u2 = q2 * inv;
        if (u1 >= 0.0) return {1.0 + u1, u2};
        return {std::fabs(u2), std::copysign(1.0 - u1, u2)};
    }
    const double t = 0.5 * std::atan2(q2, q1);
    return {std::cos(t), std::sin(t)};
}

// Closed-form frame of the lifted 2D tensor: with (c, s) the unit director,
// the columns are (-s, c, 0), (0, 0, 1), (c, s, 0) (eigenvalues -n, 0, +n,
// determinant +1). It is the eigenframe of the block tensor in the column
// order above, up to the sign of each eigenvector.
Frame planar_q_frame(double q1, double q2);

// planar_q_frame of every stored vertex of q, in vertex order.
std::vector<Frame> planar_frames(const QField2D& q);

}  // namespace kestrin
