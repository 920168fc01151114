#include <gtest/gtest.h>

#include "core/fields2d.hpp"
#include "core/internal_fault.hpp"

using namespace kestrin;

TEST(QField2D, AddRunsOverTheShorterStorage) {
    QField2D a = QField2D::uniform(2, 2, {1.0, 2.0}, 1.0);
    QField2D b = QField2D::uniform(2, 2, {0.5, 0.25}, 1.0);
    b.data.resize(4);  // only two vertices stored
    QField2D c = a.add(b);
    ASSERT_EQ(c.data.size(), 4u);
    EXPECT_EQ(c.data, (std::vector<double>{1.5, 2.25, 1.5, 2.25}));
    EXPECT_EQ(b.add(a).data.size(), 4u);
}

TEST(QField2D, AddOnDifferentGridsIsAnInternalFault) {
    EXPECT_THROW(QField2D::zeros(2, 3, 1.0).add(QField2D::zeros(3, 2, 1.0)), InternalFault);
}

TEST(VelocityField2D, UpwindAdvectionOfAWrappedRamp) {
    // f = i along x with ux = 1: the backward difference is 1/dx except on
    // the wrapped row i = 0, where f(0) - f(nx-1) = -(nx-1).
    const std::uint64_t nx = 5, ny = 3;
    const double dx = 0.5;
    ScalarField2D f = ScalarField2D::zeros(nx, ny, dx);
    VelocityField2D u = VelocityField2D::zeros(nx, ny, dx);
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j) {
            f.data[i * ny + j] = static_cast<double>(i);
            u.data[2 * (i * ny + j)] = 1.0;
        }
    ScalarField2D a = u.advect_scalar(f);
    for (std::uint64_t i = 0; i < nx; ++i)
        for (std::uint64_t j = 0; j < ny; ++j)
            EXPECT_DOUBLE_EQ(a.data[i * ny + j], i == 0 ? -(nx - 1.0) / dx : 1.0 / dx) << i << "," << j;
}

TEST(VelocityField2D, AdvectOnDifferentGridsIsAnInternalFault) {
    VelocityField2D u = VelocityField2D::zeros(4, 4, 1.0);
    EXPECT_THROW(u.advect(QField2D::zeros(4, 5, 1.0)), InternalFault);
    EXPECT_THROW(u.advect_scalar(ScalarField2D::zeros(5, 4, 1.0)), InternalFault);
}
