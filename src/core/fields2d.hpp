#pragma once
// The three 2D fields on a periodic nx by ny grid with spacing dx. Value
// types: every operation returns a new field.
#include <array>
#include <cstdint>
#include <vector>

namespace kestrin {

// Traceless symmetric order tensor Q = [[q1, q2], [q2, -q1]], stored as
// (q1, q2) pairs per vertex.
struct QField2D {
    std::vector<double> data;  // 2 values per vertex
    std::uint64_t nx = 0, ny = 0;
    double dx = 1.0;

    std::size_t len() const { return data.size() / 2; }
    double q1(std::size_t k) const { return data[2 * k]; }
    double q2(std::size_t k) const { return data[2 * k + 1]; }

    static QField2D zeros(std::uint64_t nx, std::uint64_t ny, double dx);
    static QField2D uniform(std::uint64_t nx, std::uint64_t ny, std::array<double, 2> q, double dx);
    // Seeded field from a 64-bit LCG, components uniform in [-amplitude, amplitude].
    static QField2D random_perturbation(std::uint64_t nx, std::uint64_t ny, double dx, double amplitude,
                                        std::uint64_t seed);

    std::vector<double> order_param_sq() const;
    double mean_order_param() const;
    double max_norm() const;
    QField2D laplacian() const;
    QField2D add(const QField2D& other) const;
    QField2D scale(double s) const;
    // Each vertex lifted to the 3x3 tensor [[q1, q2, 0], [q2, -q1, 0], [0, 0, 0]], row-major.
    std::vector<std::array<double, 9>> to_q3d() const;
};

struct ScalarField2D {
    std::vector<double> data;
    std::uint64_t nx = 0, ny = 0;
    double dx = 1.0;

    std::size_t len() const { return data.size(); }

    static ScalarField2D zeros(std::uint64_t nx, std::uint64_t ny, double dx);
    static ScalarField2D uniform(std::uint64_t nx, std::uint64_t ny, double dx, double val);

    double mean_value() const;
    double variance() const;
    double max_value() const;
    double min_value() const;
    double mean_gradient_sq() const;
    ScalarField2D laplacian() const;
};

struct VelocityField2D {
    std::vector<double> data;  // (ux, uy) per vertex
    std::uint64_t nx = 0, ny = 0;
    double dx = 1.0;

    std::size_t len() const { return data.size() / 2; }
    static VelocityField2D zeros(std::uint64_t nx, std::uint64_t ny, double dx);

    // Upwind advection term (u . grad) of each component; the caller subtracts it.
    QField2D advect(const QField2D& q) const;
    ScalarField2D advect_scalar(const ScalarField2D& phi) const;
};

}  // namespace kestrin
