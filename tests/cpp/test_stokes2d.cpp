#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <thread>
#include <vector>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"
#include "core/params2d.hpp"
#include "fd/beris_edwards2d.hpp"
#include "fd/fft_plans.hpp"
#include "fd/stokes2d.hpp"
#include "naive_dft2d.hpp"

using namespace kestrin;
using kestrin::testing::cplx;

namespace {

ActiveNematicParams flow_params(std::uint64_t nx, std::uint64_t ny, bool backflow) {
    ActiveNematicParams p = ActiveNematicParams::default_test();
    p.nx = nx;
    p.ny = ny;
    p.zeta_eff = 1.7;
    p.eta = 2.5;
    p.lambda_ = 0.7;
    p.backflow = backflow;
    return p;
}

// The flow by its definition: complex transforms of the stresses, the
// stream function mode by mode, complex inverse transforms, real part over
// nx*ny.
std::vector<double> reference_flow(const QField2D& q, const ActiveNematicParams& p) {
    const std::uint64_t nx = q.nx, ny = q.ny;
    const std::size_t n = nx * ny;
    std::vector<double> sxx(n), sxy(n), a(n), fx(n), fy(n);
    const std::vector<double> h = molecular_field(q, p).data;
    auto at = [&](std::uint64_t i, std::uint64_t j, int c) { return q.data[2 * ((i % nx) * ny + j % ny) + c]; };
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::size_t k = i * ny + j;
            const double q1 = q.q1(k), q2 = q.q2(k);
            const double zeta = p.zeta_field ? (*p.zeta_field)[k] : p.zeta_eff;
            sxx[k] = q1 * -zeta;
            sxy[k] = q2 * -zeta;
            if (!p.backflow) continue;
            const double h1 = h[2 * k], h2 = h[2 * k + 1];
            const double s = p.lambda_ * std::sqrt(q1 * q1 + q2 * q2);
            sxx[k] -= s * h1;
            sxy[k] -= s * h2;
            a[k] = h2 * q1 - q2 * h1;
            const double two_dx = 2.0 * q.dx;
            const double d1x = (at(i + 1, j, 0) - at(i + nx - 1, j, 0)) / two_dx;
            const double d2x = (at(i + 1, j, 1) - at(i + nx - 1, j, 1)) / two_dx;
            const double d1y = (at(i, j + 1, 0) - at(i, j + ny - 1, 0)) / two_dx;
            const double d2y = (at(i, j + 1, 1) - at(i, j + ny - 1, 1)) / two_dx;
            fx[k] = -(d1x * h1 + d2x * h2);
            fy[k] = -(d1y * h1 + d2y * h2);
        }
    using kestrin::testing::naive_dft2d, kestrin::testing::to_complex;
    const auto Sxx = naive_dft2d(to_complex(sxx), nx, ny, -1), Sxy = naive_dft2d(to_complex(sxy), nx, ny, -1);
    const auto A = naive_dft2d(to_complex(a), nx, ny, -1);
    const auto Fx = naive_dft2d(to_complex(fx), nx, ny, -1), Fy = naive_dft2d(to_complex(fy), nx, ny, -1);
    std::vector<cplx> Ux(n), Uy(n);
    const cplx I{0.0, 1.0};
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            const std::size_t k = i * ny + j;
            const double kx = kestrin::testing::angular_wavenumber(i, nx, q.dx);
            const double ky = kestrin::testing::angular_wavenumber(j, ny, q.dx);
            const double kk = kx * kx + ky * ky;
            if (kk < 1e-14) continue;
            cplx cf = 2.0 * kx * ky * Sxx[k] + (ky * ky - kx * kx) * Sxy[k];
            if (p.backflow) cf += I * kx * Fy[k] - I * ky * Fx[k] + kk * A[k];
            const cplx psi = cf / (kk * kk * p.eta);
            Ux[k] = I * ky * psi;
            Uy[k] = -I * kx * psi;
        }
    const auto ux = naive_dft2d(Ux, nx, ny, +1), uy = naive_dft2d(Uy, nx, ny, +1);
    std::vector<double> out(2 * n);
    for (std::size_t k = 0; k < n; ++k) {
        out[2 * k] = ux[k].real() / static_cast<double>(n);
        out[2 * k + 1] = uy[k].real() / static_cast<double>(n);
    }
    return out;
}

struct Grid {
    std::uint64_t nx, ny;
    double dx;
};

// Even sizes put a Nyquist line on that axis (where the positive Nyquist
// frequency makes the complex result non-real), odd sizes do not; 1 and 2
// are degenerate axes.
const Grid kGrids[] = {{8, 6, 1.0}, {6, 8, 0.7}, {8, 5, 1.3}, {7, 6, 1.0}, {5, 7, 0.5}, {2, 2, 1.0}, {1, 6, 1.0}, {6, 1, 1.0}};

}  // namespace

TEST(StokesSolve, MatchesTheComplexTransformDefinition) {
    for (const Grid& g : kGrids)
        for (bool backflow : {false, true})
            for (bool field : {false, true}) {
                ActiveNematicParams p = flow_params(g.nx, g.ny, backflow);
                const QField2D q = QField2D::random_perturbation(g.nx, g.ny, g.dx, 0.5, 7);
                if (field) {
                    const QField2D z = QField2D::random_perturbation(g.nx, g.ny, 1.0, 1.0, 9);
                    p.zeta_field = std::vector<double>(g.nx * g.ny);
                    for (std::size_t k = 0; k < g.nx * g.ny; ++k) (*p.zeta_field)[k] = 1.5 + z.q1(k);
                }
                const VelocityField2D u = stokes_solve(q, p);
                EXPECT_EQ(u.nx, g.nx);
                EXPECT_EQ(u.ny, g.ny);
                EXPECT_EQ(u.dx, g.dx);
                // On 2x2 every mode lies on a Nyquist line and the flow vanishes.
                const std::vector<double> ref = reference_flow(q, p);
                EXPECT_LT(kestrin::testing::max_rel_diff(u.data, ref, 1e-3), 1e-12)
                    << g.nx << "x" << g.ny << " backflow " << backflow << " zeta_field " << field;
            }
}

TEST(StokesSolve, UniformQGivesNoFlow) {
    for (const Grid& g : {Grid{16, 16, 1.0}, Grid{15, 12, 0.5}, Grid{9, 10, 1.0}})
        for (bool backflow : {false, true}) {
            const VelocityField2D u =
                stokes_solve(QField2D::uniform(g.nx, g.ny, {0.3, 0.1}, g.dx), flow_params(g.nx, g.ny, backflow));
            for (double v : u.data) EXPECT_NEAR(v, 0.0, 1e-16) << g.nx << "x" << g.ny;
        }
}

TEST(StokesSolve, SingleShearModeGivesTheAnalyticFlow) {
    // q2 = A cos(k0 x): only ky = 0, kx = +-k0 are excited; then cf = -kx^2
    // sxy, psi = -sxy / (kx^2 eta) and uy = zeta A sin(k0 x) / (eta k0).
    for (const Grid& g : {Grid{32, 16, 1.0}, Grid{15, 8, 0.5}}) {
        const ActiveNematicParams p = flow_params(g.nx, g.ny, false);
        const double amp = 0.2, k0 = 2.0 * std::numbers::pi / (static_cast<double>(g.nx) * g.dx);
        QField2D q = QField2D::zeros(g.nx, g.ny, g.dx);
        for (std::uint64_t i = 0; i < g.nx; ++i)
            for (std::uint64_t j = 0; j < g.ny; ++j) q.data[2 * (i * g.ny + j) + 1] = amp * std::cos(k0 * i * g.dx);
        const VelocityField2D u = stokes_solve(q, p);
        for (std::uint64_t i = 0; i < g.nx; ++i)
            for (std::uint64_t j = 0; j < g.ny; ++j) {
                const std::size_t k = i * g.ny + j;
                EXPECT_NEAR(u.data[2 * k], 0.0, 1e-14);
                EXPECT_NEAR(u.data[2 * k + 1], p.zeta_eff * amp * std::sin(k0 * i * g.dx) / (p.eta * k0), 1e-13);
            }
    }
}

TEST(StokesSolve, ActivityFieldReplacesTheUniformActivity) {
    const QField2D q = QField2D::random_perturbation(12, 10, 1.0, 0.4, 3);
    for (bool backflow : {false, true}) {
        ActiveNematicParams p = flow_params(12, 10, backflow);
        const VelocityField2D plain = stokes_solve(q, p);
        p.zeta_field = std::vector<double>(120, p.zeta_eff);
        EXPECT_EQ(stokes_solve(q, p).data, plain.data);
    }
    // Without backflow the flow is linear in the activity.
    ActiveNematicParams p = flow_params(12, 10, false);
    const VelocityField2D plain = stokes_solve(q, p);
    p.zeta_field = std::vector<double>(120, 2.0 * p.zeta_eff);
    const VelocityField2D doubled = stokes_solve(q, p);
    for (std::size_t i = 0; i < plain.data.size(); ++i) EXPECT_NEAR(doubled.data[i], 2.0 * plain.data[i], 1e-15);
    p.zeta_field = std::vector<double>(100, 1.0);
    EXPECT_THROW(stokes_solve(q, p), InternalFault);
}

TEST(StokesSolve, WithoutBackflowTheElasticConstantsDoNotEnter) {
    const QField2D q = QField2D::random_perturbation(12, 12, 1.0, 0.4, 8);
    const ActiveNematicParams p = flow_params(12, 12, false);
    ActiveNematicParams other = p;
    other.k_r = 5.0;
    other.a_landau = 3.0;
    other.c_landau = 0.1;
    other.lambda_ = -2.0;
    const VelocityField2D u = stokes_solve(q, p);
    EXPECT_EQ(stokes_solve(q, other).data, u.data);
    other.backflow = true;
    const VelocityField2D b = stokes_solve(q, other);
    EXPECT_GT(kestrin::testing::max_rel_diff(b.data, u.data), 1e-3);
}

TEST(StokesWorkspace2D, ReuseGivesTheSameFlowAsAFreshSolve) {
    // One workspace alternating between backflow on and off, with an output
    // that starts on another grid, equals the allocating function every time.
    StokesWorkspace2D ws(10, 8);
    VelocityField2D out = VelocityField2D::zeros(3, 3, 9.0);
    for (int round = 0; round < 2; ++round)
        for (bool backflow : {true, false}) {
            const QField2D q = QField2D::random_perturbation(10, 8, 0.8, 0.5, 40 + round);
            const ActiveNematicParams p = flow_params(10, 8, backflow);
            ws.solve(q, p, out);
            const VelocityField2D fresh = stokes_solve(q, p);
            EXPECT_EQ(out.data, fresh.data);
            EXPECT_EQ(out.nx, 10u);
            EXPECT_EQ(out.ny, 8u);
            EXPECT_EQ(out.dx, 0.8);
        }
    EXPECT_THROW(ws.solve(QField2D::zeros(8, 10, 1.0), flow_params(8, 10, false), out), InternalFault);
}

TEST(RealFft2D, PlansFromManyThreadsAgreeWithSerialPlans) {
    // Threads plan new shapes at the same time (the planner itself is not
    // thread-safe) and run them; every result must match the serial one.
    const Grid shapes[] = {{24, 20, 1.0}, {21, 22, 1.0}, {30, 18, 1.0}, {17, 26, 1.0}};
    std::vector<std::vector<double>> threaded(8);
    std::vector<std::thread> pool;
    for (std::size_t t = 0; t < threaded.size(); ++t)
        pool.emplace_back([&, t] {
            const Grid g = shapes[t % 4];
            threaded[t] = stokes_solve(QField2D::random_perturbation(g.nx, g.ny, 1.0, 0.5, t % 4),
                                       flow_params(g.nx, g.ny, true))
                              .data;
        });
    for (std::thread& th : pool) th.join();
    for (std::size_t t = 0; t < threaded.size(); ++t) {
        const Grid g = shapes[t % 4];
        EXPECT_EQ(threaded[t], stokes_solve(QField2D::random_perturbation(g.nx, g.ny, 1.0, 0.5, t % 4),
                                            flow_params(g.nx, g.ny, true))
                                   .data);
    }
}

TEST(RealFft2D, RefusesArraysWithoutThePlannedAlignment) {
    const RealFft2D fft(4, 6);
    FftBuffer<double> real(fft.real_size() + 1);
    FftBuffer<std::complex<double>> spectrum(fft.spectrum_size());
    EXPECT_NO_THROW(fft.forward(real.data(), spectrum.data()));
    EXPECT_THROW(fft.forward(real.data() + 1, spectrum.data()), InternalFault);
}
