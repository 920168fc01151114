#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "core/params2d.hpp"
#include "fd/cahn_hilliard2d.hpp"
#include "naive_dft2d.hpp"

using namespace kestrin;
using kestrin::testing::cplx;

namespace {

ActiveNematicParams ch_params(double dt) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.dt = dt;
    p.chi_ms = 0.8;
    p.kappa_ch = 0.7;
    p.a_ch = 0.4;
    p.b_ch = 1.3;
    p.m_l = 0.3;
    return p;
}

ScalarField2D random_phi(std::uint64_t nx, std::uint64_t ny, double dx, std::uint64_t seed) {
    const QField2D r = QField2D::random_perturbation(nx, ny, dx, 0.4, seed);
    ScalarField2D phi = ScalarField2D::zeros(nx, ny, dx);
    for (std::size_t k = 0; k < phi.len(); ++k) phi.data[k] = 0.2 + r.q1(k);
    return phi;
}

VelocityField2D random_velocity(std::uint64_t nx, std::uint64_t ny, double dx, std::uint64_t seed) {
    return VelocityField2D{QField2D::random_perturbation(nx, ny, dx, 0.8, seed).data, nx, ny, dx};
}

// The step by its definition, with complex transforms and a periodic index
// wrap at every neighbour.
std::vector<double> reference_step(const ScalarField2D& phi, const QField2D& q, const VelocityField2D& v,
                                   const ActiveNematicParams& p) {
    const std::uint64_t nx = phi.nx, ny = phi.ny;
    const std::size_t n = nx * ny;
    auto idx = [&](std::uint64_t i, std::uint64_t j) { return (i % nx) * ny + j % ny; };
    std::vector<double> g(n), nl(n);
    for (std::size_t k = 0; k < n; ++k)
        g[k] = p.b_ch * phi.data[k] * phi.data[k] * phi.data[k] - 2.0 * p.chi_ms * (q.q1(k) * q.q1(k) + q.q2(k) * q.q2(k));
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::size_t k = idx(i, j);
            const double lap = (g[idx(i + 1, j)] + g[idx(i + nx - 1, j)] + g[idx(i, j + 1)] + g[idx(i, j + ny - 1)] -
                                4.0 * g[k]) /
                               (phi.dx * phi.dx);
            const double ux = v.data[2 * k], uy = v.data[2 * k + 1];
            const double f = phi.data[k];
            const double ddx = ux >= 0 ? f - phi.data[idx(i + nx - 1, j)] : phi.data[idx(i + 1, j)] - f;
            const double ddy = uy >= 0 ? f - phi.data[idx(i, j + ny - 1)] : phi.data[idx(i, j + 1)] - f;
            nl[k] = p.m_l * lap - (ux * (ddx / v.dx) + uy * (ddy / v.dx));
        }
    using kestrin::testing::naive_dft2d, kestrin::testing::to_complex;
    std::vector<cplx> ph = naive_dft2d(to_complex(phi.data), nx, ny, -1);
    const std::vector<cplx> nh = naive_dft2d(to_complex(nl), nx, ny, -1);
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            const double kx = kestrin::testing::angular_wavenumber(i, nx, phi.dx);
            const double ky = kestrin::testing::angular_wavenumber(j, ny, phi.dx);
            const double kk = kx * kx + ky * ky;
            if (kk < 1e-14) continue;
            const double l = -p.m_l * (p.kappa_ch * kk * kk + p.a_ch * kk);
            const double e = std::exp(l * p.dt);
            const double ldt = l * p.dt;
            const double phi1 = std::abs(ldt) < 1e-10 ? (1.0 + ldt / 2.0 + ldt * ldt / 6.0) * p.dt : (e - 1.0) / l;
            ph[i * ny + j] = phi1 * nh[i * ny + j] + e * ph[i * ny + j];
        }
    const std::vector<cplx> back = naive_dft2d(ph, nx, ny, +1);
    std::vector<double> out(n);
    for (std::size_t k = 0; k < n; ++k) out[k] = back[k].real() / static_cast<double>(n);
    return out;
}

}  // namespace

TEST(ChStepEtd, MatchesTheComplexTransformDefinition) {
    struct Case {
        std::uint64_t nx, ny;
        double dx, v_dx, dt;
    };
    // A dt of 1e-12 puts every mode on the series branch of phi1.
    const Case cases[] = {{8, 6, 1.0, 1.0, 0.05}, {7, 5, 0.8, 1.3, 0.05}, {6, 9, 1.2, 0.6, 0.3}, {8, 6, 1.0, 1.0, 1e-12}};
    for (const Case& c : cases) {
        const ScalarField2D phi = random_phi(c.nx, c.ny, c.dx, 1);
        const QField2D q = QField2D::random_perturbation(c.nx, c.ny, c.dx, 0.5, 2);
        const VelocityField2D v = random_velocity(c.nx, c.ny, c.v_dx, 3);
        const ActiveNematicParams p = ch_params(c.dt);
        const ScalarField2D out = ch_step_etd(phi, q, v, p);
        EXPECT_EQ(out.nx, c.nx);
        EXPECT_EQ(out.ny, c.ny);
        EXPECT_EQ(out.dx, c.dx);
        const std::vector<double> ref = reference_step(phi, q, v, p);
        if (c.dt < 1e-6) {
            // The step is then phi + dt N up to rounding of phi: compare the increments.
            std::vector<double> d_out(ref.size()), d_ref(ref.size());
            for (std::size_t k = 0; k < ref.size(); ++k) {
                d_out[k] = out.data[k] - phi.data[k];
                d_ref[k] = ref[k] - phi.data[k];
            }
            EXPECT_LT(kestrin::testing::max_rel_diff(d_out, d_ref), 1e-3) << c.nx << "x" << c.ny;
        }
        EXPECT_LT(kestrin::testing::max_rel_diff(out.data, ref), 1e-12) << c.nx << "x" << c.ny << " dt " << c.dt;
    }
}

TEST(ChStepEtd, SingleFourierModeDecaysAtTheLinearRate) {
    // With b = 0, q_lip = 0 and v = 0 the nonlinear part vanishes and each
    // mode is multiplied by exp(-M (kappa k^4 + a k^2) dt) per step.
    const std::uint64_t nx = 32, ny = 16;
    ActiveNematicParams p = ch_params(0.05);
    p.b_ch = 0.0;
    struct Mode {
        int mx, my;
    };
    // Along x, along y, oblique, and the Nyquist mode of x.
    for (const Mode& m : {Mode{3, 0}, Mode{0, 2}, Mode{3, 2}, Mode{16, 0}}) {
        const double kx = 2.0 * std::numbers::pi * m.mx / nx, ky = 2.0 * std::numbers::pi * m.my / ny;
        const double kk = kx * kx + ky * ky;
        const double rate = std::exp(-p.m_l * (p.kappa_ch * kk * kk + p.a_ch * kk) * p.dt);
        ScalarField2D phi = ScalarField2D::zeros(nx, ny, 1.0);
        for (std::uint64_t i = 0; i < nx; ++i)
            for (std::uint64_t j = 0; j < ny; ++j) phi.data[i * ny + j] = 0.1 * std::cos(kx * i + ky * j);
        const ScalarField2D phi0 = phi;
        const QField2D q = QField2D::zeros(nx, ny, 1.0);
        const VelocityField2D v = VelocityField2D::zeros(nx, ny, 1.0);
        for (int step = 1; step <= 3; ++step) {
            phi = ch_step_etd(phi, q, v, p);
            for (std::size_t k = 0; k < phi.len(); ++k)
                ASSERT_NEAR(phi.data[k], std::pow(rate, step) * phi0.data[k], 1e-15)
                    << m.mx << "," << m.my << " step " << step;
        }
    }
}

TEST(ChStepEtd, ConservesTheMeanAndKeepsUniformFields) {
    const ActiveNematicParams p = ch_params(0.05);
    const ScalarField2D phi = random_phi(16, 12, 1.0, 5);
    const ScalarField2D out =
        ch_step_etd(phi, QField2D::random_perturbation(16, 12, 1.0, 0.5, 6), random_velocity(16, 12, 1.0, 7), p);
    EXPECT_NEAR(out.mean_value(), phi.mean_value(), 1e-15);
    EXPECT_GT(kestrin::testing::max_rel_diff(out.data, phi.data), 1e-3);

    const ScalarField2D flat = ScalarField2D::uniform(16, 12, 1.0, 0.3);
    const ScalarField2D still = ch_step_etd(flat, QField2D::zeros(16, 12, 1.0), VelocityField2D::zeros(16, 12, 1.0), p);
    for (double v : still.data) EXPECT_NEAR(v, 0.3, 1e-15);
}

TEST(ChStepEtd, FieldsOnAnotherGridAreInternalFaults) {
    const ActiveNematicParams p = ch_params(0.05);
    const ScalarField2D phi = ScalarField2D::zeros(8, 8, 1.0);
    const QField2D q = QField2D::zeros(8, 8, 1.0);
    const VelocityField2D v = VelocityField2D::zeros(8, 8, 1.0);
    EXPECT_THROW(ch_step_etd(phi, QField2D::zeros(8, 6, 1.0), v, p), InternalFault);
    EXPECT_THROW(ch_step_etd(phi, q, VelocityField2D::zeros(6, 8, 1.0), p), InternalFault);
    EXPECT_NO_THROW(ch_step_etd(phi, q, v, p));
}

TEST(CahnHilliardWorkspace2D, ReuseAndInPlaceStepsMatchAFreshStep) {
    // Changing dt between steps must refresh the cached mode factors.
    CahnHilliardWorkspace2D ws(12, 10);
    const QField2D q = QField2D::random_perturbation(12, 10, 1.0, 0.5, 8);
    const VelocityField2D v = random_velocity(12, 10, 1.0, 9);
    ScalarField2D phi = random_phi(12, 10, 1.0, 10);
    for (double dt : {0.05, 0.05, 0.1, 1e-12}) {
        const ActiveNematicParams p = ch_params(dt);
        const ScalarField2D fresh = ch_step_etd(phi, q, v, p);
        ws.step(phi, q, v, p, phi);
        EXPECT_EQ(phi.data, fresh.data) << dt;
    }
    ScalarField2D out;
    EXPECT_THROW(ws.step(ScalarField2D::zeros(10, 12, 1.0), QField2D::zeros(10, 12, 1.0),
                         VelocityField2D::zeros(10, 12, 1.0), ch_params(0.05), out),
                 InternalFault);
}
