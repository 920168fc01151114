#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "core/params2d.hpp"
#include "fd/beris_edwards2d.hpp"

using namespace kestrin;

namespace {

ActiveNematicParams flow_params(bool backflow) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.k_r = 1.3;
    p.gamma_r = 0.8;
    p.lambda_ = 0.7;
    p.backflow = backflow;
    return p;
}

VelocityField2D random_velocity(std::uint64_t nx, std::uint64_t ny, double dx, std::uint64_t seed) {
    // Reuse the seeded Q generator for a velocity of the same layout.
    const QField2D r = QField2D::random_perturbation(nx, ny, dx, 0.8, seed);
    return VelocityField2D{r.data, nx, ny, dx};
}

struct Grid {
    std::uint64_t nx, ny;
    double dx;
};

// Odd sizes exercise the wrapped first/last rows and columns separately from
// the interior; grids of one or two rows/columns are their own neighbours.
const Grid kGrids[] = {{13, 17, 1.0}, {13, 17, 0.7}, {2, 2, 1.0}, {1, 6, 0.5}, {6, 1, 2.0}, {1, 1, 1.0}, {4, 40, 0.5}};

}  // namespace

TEST(MolecularField, EqualsTheCompositionOfLaplacianAndLandauTerms) {
    const ActiveNematicParams p = flow_params(false);
    const double two_a = 2.0 * p.a_eff(), four_c = 4.0 * p.c_landau;
    for (const Grid& g : kGrids) {
        const QField2D q = QField2D::random_perturbation(g.nx, g.ny, g.dx, 0.6, 11);
        const QField2D lap = q.laplacian();
        const std::vector<double> nsq = q.order_param_sq();
        std::vector<double> expect(q.data.size());
        for (std::size_t i = 0; i < expect.size(); ++i)
            expect[i] = p.k_r * lap.data[i] - two_a * q.data[i] - four_c * nsq[i / 2] * q.data[i];
        const QField2D h = molecular_field(q, p);
        EXPECT_EQ(h.data, expect) << g.nx << "x" << g.ny;
        EXPECT_EQ(h.nx, g.nx);
        EXPECT_EQ(h.ny, g.ny);
        EXPECT_EQ(h.dx, g.dx);
    }
}

TEST(MolecularField, VanishesOnTheUniformLandauMinimum) {
    const ActiveNematicParams p = ActiveNematicParams::default_test();
    const double nsq = -p.a_eff() / (2.0 * p.c_landau);  // 1/6
    const double angles[] = {0.0, 0.4, 2.0};
    for (double a : angles) {
        const QField2D q = QField2D::uniform(5, 4, {std::sqrt(nsq) * std::cos(a), std::sqrt(nsq) * std::sin(a)}, 1.0);
        for (double v : molecular_field(q, p).data) EXPECT_NEAR(v, 0.0, 1e-15);
    }
}

TEST(BerisEdwardsRhs, EqualsTheCompositionOfItsTerms) {
    // The velocity's own spacing enters only the advection; with a spacing
    // of 1.5 dx the divisions cannot become multiplications.
    for (bool backflow : {false, true}) {
        const ActiveNematicParams p = flow_params(backflow);
        for (const Grid& g : kGrids)
            for (double u_spacing : {1.0, 1.5}) {
                const QField2D q = QField2D::random_perturbation(g.nx, g.ny, g.dx, 0.6, 3);
                const VelocityField2D u = random_velocity(g.nx, g.ny, g.dx * u_spacing, 8);
                QField2D expect = molecular_field(q, p)
                                      .scale(p.gamma_r)
                                      .add(corotation_strain(q, u, p))
                                      .add(u.advect(q).scale(-1.0));
                if (backflow) expect = expect.add(strain_alignment(q, u, p));
                EXPECT_EQ(beris_edwards_rhs(q, &u, p).data, expect.data)
                    << g.nx << "x" << g.ny << " dx " << g.dx << " u spacing " << u_spacing << " " << backflow;
                EXPECT_EQ(beris_edwards_rhs(q, nullptr, p).data, molecular_field(q, p).scale(p.gamma_r).data);
            }
    }
}

TEST(BerisEdwardsRhs, BackflowSwitchesTheStrainAlignmentOnAndOff) {
    const QField2D q = QField2D::random_perturbation(7, 5, 1.0, 0.6, 21);
    const VelocityField2D u = random_velocity(7, 5, 1.0, 22);
    const ActiveNematicParams off = flow_params(false), on = flow_params(true);
    const QField2D s = strain_alignment(q, u, on);
    EXPECT_GT(s.max_norm(), 0.0);
    EXPECT_EQ(beris_edwards_rhs(q, &u, on).data, beris_edwards_rhs(q, &u, off).add(s).data);
}

TEST(BerisEdwardsRhs, UniformVelocityLeavesOnlyTheAdvection) {
    const ActiveNematicParams p = flow_params(true);
    const QField2D q = QField2D::random_perturbation(6, 9, 0.5, 0.6, 4);
    VelocityField2D u = VelocityField2D::zeros(6, 9, 0.5);
    for (std::size_t k = 0; k < u.len(); ++k) {
        u.data[2 * k] = 0.3;
        u.data[2 * k + 1] = -1.1;
    }
    for (double v : corotation_strain(q, u, p).data) EXPECT_EQ(v, 0.0);
    for (double v : strain_alignment(q, u, p).data) EXPECT_EQ(v, 0.0);
    const QField2D expect = molecular_field(q, p).scale(p.gamma_r).add(u.advect(q).scale(-1.0));
    const QField2D r = beris_edwards_rhs(q, &u, p);
    for (std::size_t i = 0; i < r.data.size(); ++i) EXPECT_DOUBLE_EQ(r.data[i], expect.data[i]);
}

TEST(CorotationStrain, SolidBodyRotationTurnsQAtTwiceTheAngularVelocity) {
    // u = w (-y, x): gxx = gyy = 0 and the vorticity (gxy - gyx)/2 is w, so
    // dQ/dt = 2w (-q2, q1), a rotation of (q1, q2) at rate 2w whatever lambda.
    // The field is not periodic, so only vertices away from the wrap count.
    const std::uint64_t nx = 8, ny = 7;
    const double dx = 0.5, w = 0.37;
    VelocityField2D u = VelocityField2D::zeros(nx, ny, dx);
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            u.data[2 * (i * ny + j)] = -w * (static_cast<double>(j) * dx);
            u.data[2 * (i * ny + j) + 1] = w * (static_cast<double>(i) * dx);
        }
    const QField2D q = QField2D::random_perturbation(nx, ny, dx, 0.6, 9);
    for (double lambda : {0.0, 0.7, -1.3}) {
        ActiveNematicParams p = flow_params(true);
        p.lambda_ = lambda;
        const QField2D c = corotation_strain(q, u, p);
        const QField2D s = strain_alignment(q, u, p);
        for (std::uint64_t i = 1; i + 1 < nx; ++i)
            for (std::uint64_t j = 1; j + 1 < ny; ++j) {
                const std::size_t k = i * ny + j;
                EXPECT_NEAR(c.data[2 * k], -2.0 * w * q.q2(k), 1e-14);
                EXPECT_NEAR(c.data[2 * k + 1], 2.0 * w * q.q1(k), 1e-14);
                EXPECT_NEAR(s.data[2 * k], 0.0, 1e-14);
                EXPECT_NEAR(s.data[2 * k + 1], 0.0, 1e-14);
            }
    }
}

TEST(BerisEdwardsRhs, MismatchedStorageIsAnInternalFault) {
    const ActiveNematicParams p = flow_params(true);
    const QField2D q = QField2D::zeros(4, 5, 1.0);
    const VelocityField2D other = VelocityField2D::zeros(5, 4, 1.0);
    EXPECT_THROW(beris_edwards_rhs(q, &other, p), InternalFault);
    EXPECT_THROW(corotation_strain(q, other, p), InternalFault);
    EXPECT_THROW(strain_alignment(q, other, p), InternalFault);

    std::vector<double> short_out(q.data.size() - 2);
    EXPECT_THROW(molecular_field_into(q, p, short_out), InternalFault);
    QField2D in_place = q;
    EXPECT_THROW(beris_edwards_rhs_into(in_place, nullptr, p, in_place.data), InternalFault);
}
