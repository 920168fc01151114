#include "topology/frames.hpp"

#include <Eigen/Eigenvalues>

#include "core/internal_fault.hpp"

namespace kestrin {

Frame q_to_frame(const Eigen::Matrix3d& m) {
    const Eigen::Matrix3d sym = (m + m.transpose()) / 2.0;
    // The self-adjoint solver (Householder tridiagonalisation, implicit
    // symmetric QR to machine precision) returns the eigenvalues ascending and
    // the eigenvectors orthonormal; only their signs are its own choice.
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(sym, Eigen::ComputeEigenvectors);
    require(solver.info() == Eigen::Success, "symmetric eigen-solver failed on a Q tensor");
    Frame f = solver.eigenvectors();
    // A reflection is not a frame: flipping one axis makes it a rotation.
    if (f.determinant() < 0.0) f.col(2) = -f.col(2);
    return f;
}

std::vector<Frame> frames_from_tensors(const std::vector<std::array<double, 9>>& tensors) {
    std::vector<Frame> out;
    out.reserve(tensors.size());
    for (const auto& t : tensors) {
        out.push_back(q_to_frame(Eigen::Map<const Eigen::Matrix<double, 3, 3, Eigen::RowMajor>>(t.data())));
    }
    return out;
}

Frame planar_q_frame(double q1, double q2) {
    const auto [x, y] = director_direction(q1, q2);
    const double len = std::hypot(x, y);
    const double c = x / len, s = y / len;
    Frame f;
    f << -s, 0.0, c,
          c, 0.0, s,
        0.0, 1.0, 0.0;
    return f;
}

std::vector<Frame> planar_frames(const QField2D& q) {
    std::vector<Frame> out;
    out.reserve(q.len());
    for (std::size_t k = 0; k < q.len(); ++k) out.push_back(planar_q_frame(q.q1(k), q.q2(k)));
    return out;
}

}  // namespace kestrin
