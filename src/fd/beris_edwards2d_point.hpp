#pragma once
// Per-vertex formulas of the 2D Beris-Edwards equation. Every kernel that
// evaluates them (the field-wide functions, the fused Runge-Kutta sweep of the
// dry step) calls these, so the floating-point operations and their order are
// written down once and every path rounds identically.
#include <cmath>

#include "core/params2d.hpp"

namespace kestrin {

// Coefficients of the Landau-de Gennes molecular field
// H = k_r lap Q - 2 a_eff Q - 4 c |q|^2 Q, with a_eff = a_landau - zeta_eff/2.
struct LandauCoeffs {
    double k_r;
    double two_a_eff;
    double four_c;

    explicit LandauCoeffs(const ActiveNematicParams& p)
        : k_r(p.k_r), two_a_eff(2.0 * p.a_eff()), four_c(4.0 * p.c_landau) {}
};

// T is double, or a vector of doubles whose lanes are independent vertices.
// The calling convention of a wide vector depends on the instruction set a
// function is compiled for, so these helpers are always inlined into their
// (vectorised) caller.
template <class T>
[[gnu::always_inline]] inline T norm_sq(const T& q1, const T& q2) {
    return q1 * q1 + q2 * q2;
}

// One component of H from the Laplacian of that component, its value and
// nsq = q1^2 + q2^2: ((k_r lap - (2 a_eff) q) - ((4 c) nsq) q).
template <class T>
[[gnu::always_inline]] inline T molecular_component(const LandauCoeffs& m, const T& lap, const T& qc,
                                                    const T& nsq) {
    return m.k_r * lap - m.two_a_eff * qc - m.four_c * nsq * qc;
}

// Central differences of the velocity, gab = d_a u_b over 2 dx:
// gxx = dx ux, gxy = dx uy, gyx = dy ux, gyy = dy uy.
template <class T = double>
struct VelocityGradient {
    T gxx, gxy, gyx, gyy;
};

// ip/im are the velocity pairs (ux, uy) at (i+1, j) and (i-1, j), jp/jm at
// (i, j+1) and (i, j-1); over_two_dx divides by 2 dx (DivideBy or an exact
// MultiplyByReciprocal of core/grid2d.hpp).
template <class OverTwoDx>
inline VelocityGradient<> central_velocity_gradient(const double* ip, const double* im, const double* jp,
                                                    const double* jm, OverTwoDx over_two_dx) {
    return {over_two_dx(ip[0] - im[0]), over_two_dx(ip[1] - im[1]), over_two_dx(jp[0] - jm[0]),
            over_two_dx(jp[1] - jm[1])};
}

// Traceless part of lambda (E Q + Q E) plus the rotation Omega Q - Q Omega,
// with the shear e = (gxy + gyx)/2 and vorticity w = (gxy - gyx)/2. The first
// component is kept in its unsimplified form, lambda (2(e q2 + gxx q1) -
// (2 e q2 + (gxx - gyy) q1)), which equals lambda (gxx + gyy) q1; it vanishes
// for an incompressible flow up to discretisation error.
template <class T>
[[gnu::always_inline]] inline void corotation_point(const VelocityGradient<T>& g, double lambda, const T& q1,
                                                    const T& q2, T& r1, T& r2) {
    const T e = (g.gxy + g.gyx) / 2.0;
    const T w = (g.gxy - g.gyx) / 2.0;
    r1 = lambda * (2.0 * (e * q2 + g.gxx * q1) - (2.0 * e * q2 + (g.gxx - g.gyy) * q1)) - 2.0 * w * q2;
    r2 = lambda * (g.gyy + g.gxx) * q2 + 2.0 * w * q1;
}

struct ScalarSqrt {
    double operator()(double x) const { return std::sqrt(x); }
};

// Flow alignment lambda (S/2) (gxx - gyy, gxy + gyx), S/2 = |q|, written as
// the factor n * 2 * lambda * 0.5. sqrt_of is the (correctly rounded) square
// root for T.
template <class T, class Sqrt = ScalarSqrt>
[[gnu::always_inline]] inline void strain_alignment_point(const VelocityGradient<T>& g, double lambda, const T& q1,
                                                          const T& q2, T& r1, T& r2, Sqrt sqrt_of = {}) {
    const T f = sqrt_of(norm_sq(q1, q2)) * 2.0 * lambda * 0.5;
    r1 = f * (g.gxx - g.gyy);
    r2 = f * (g.gxy + g.gyx);
}

}  // namespace kestrin
