#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/kerror.hpp"
#include "core/numfmt.hpp"

using namespace kestrin;

TEST(KError, DisplayAndDebugForms) {
    struct Row {
        KError e;
        const char* display;
        const char* debug;
    };
    const Row rows[] = {
        {DimensionMismatch{4, 3}, "dimension mismatch: expected 4, got 3", "DimensionMismatch { expected: 4, got: 3 }"},
        {ConvergenceFailure{200, 0.00123}, "convergence failure after 200 iterations (residual = 1.230e-3)",
         "ConvergenceFailure { iters: 200, residual: 0.00123 }"},
        {KError::invalid("dt must be positive"), "invalid parameter: dt must be positive",
         "InvalidParams(\"dt must be positive\")"},
        {KError::io("disk \"full\""), "I/O error: disk \"full\"", "Io(\"disk \\\"full\\\"\")"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(r.e.display(), r.display);
        EXPECT_EQ(r.e.debug(), r.debug);
    }
    EXPECT_EQ(Screening::with_length(-1.0).debug(), "Length(-1.0)");
    EXPECT_EQ(Screening::none().debug(), "None");
}

TEST(NumberFormatting, HouseStyle) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(fmt::sci(0.00123, 4), "1.2300e-3");
    EXPECT_EQ(fmt::sci(500.0, 4), "5.0000e2");
    EXPECT_EQ(fmt::sci(0.0, 4), "0.0000e0");
    EXPECT_EQ(fmt::sci(-2.5e-300, 1), "-2.5e-300");
    EXPECT_EQ(fmt::fixed(2.0, 4), "2.0000");
    EXPECT_EQ(fmt::fixed(0.5, 3), "0.500");
    EXPECT_EQ(fmt::shortest(2.0), "2");
    EXPECT_EQ(fmt::shortest(0.1), "0.1");
    EXPECT_EQ(fmt::shortest(1e21), "1000000000000000000000");
    EXPECT_EQ(fmt::debug(-1.0), "-1.0");
    EXPECT_EQ(fmt::debug(0.25), "0.25");
    for (auto f : {+[](double v) { return fmt::shortest(v); }, +[](double v) { return fmt::fixed(v, 3); },
                   +[](double v) { return fmt::sci(v, 4); }, +[](double v) { return fmt::debug(v); }}) {
        EXPECT_EQ(f(std::nan("")), "NaN");
        EXPECT_EQ(f(inf), "inf");
        EXPECT_EQ(f(-inf), "-inf");
    }
}
