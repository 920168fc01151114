// The vector helpers (core/simd_lanes.hpp and the templated formulas) return
// wide vectors by value; all of them are inlined into the vectorised entry
// points, so the calling convention this warning is about never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "fd/beris_edwards2d.hpp"

#include <cstdint>
#include <functional>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"
#include "fd/beris_edwards2d_point.hpp"
#include "core/simd_lanes.hpp"

namespace kestrin {
namespace {

void require_grid(const QField2D& q) {
    require(q.data.size() == checked_storage(q.nx, q.ny, 2), "Q field storage does not match its grid");
}

void require_output(const QField2D& q, std::span<double> out) {
    require(out.size() == q.data.size(), "output storage does not match the Q field");
    // The stencils read neighbours of every vertex, so the result cannot be
    // written over the input.
    const double* qb = q.data.data();
    const double* qe = qb + q.data.size();
    const bool disjoint =
        !std::less<const double*>{}(out.data(), qe) || !std::less<const double*>{}(qb, out.data() + out.size());
    require(out.empty() || disjoint, "output storage overlaps the Q field");
}

void require_velocity(const QField2D& q, const VelocityField2D& u) {
    require(u.nx == q.nx && u.ny == q.ny, "velocity and Q field have different grids");
    require(u.data.size() == checked_storage(u.nx, u.ny, 2), "velocity storage does not match its grid");
}

// The three divisions of the stencils: the Laplacian by dx^2, the central
// differences by 2 dx (both with q's spacing), the upwind differences by the
// velocity's spacing.
template <class Div>
struct Spacing {
    using Division = Div;
    Div lap, grad, upw;
};

// Calls f with the divisions as multiplications by exact reciprocals when all
// three allow it (dx a power of two, as dx = 1), else as divisions; the
// results are the same to the bit.
template <class F>
decltype(auto) with_spacing(double dx, double udx, F&& f) {
    const double dx2 = dx * dx, two_dx = 2.0 * dx;
    if (reciprocal_is_exact(dx2) && reciprocal_is_exact(two_dx) && reciprocal_is_exact(udx))
        return f(Spacing<MultiplyByReciprocal>{{1.0 / dx2}, {1.0 / two_dx}, {1.0 / udx}});
    return f(Spacing<DivideBy>{{dx2}, {two_dx}, {udx}});
}

// Velocity gradient at vertex k from the flat neighbour indices.
template <class Div>
[[gnu::always_inline]] inline VelocityGradient<> gradient_at(const double* u, std::size_t kip, std::size_t kim,
                                                             std::size_t kjp, std::size_t kjm, Div over_two_dx) {
    return central_velocity_gradient(u + 2 * kip, u + 2 * kim, u + 2 * kjp, u + 2 * kjm, over_two_dx);
}

// Laplacian of component c (0 or 1) of the interleaved field f at vertex k.
template <class Div>
[[gnu::always_inline]] inline double lap_at(const double* f, int c, std::size_t k, std::size_t kip, std::size_t kim,
                                            std::size_t kjp, std::size_t kjm, Div over_dx2) {
    return over_dx2(lap5_sum(f[2 * k + c], f[2 * kip + c], f[2 * kim + c], f[2 * kjp + c], f[2 * kjm + c]));
}

// ---- right-hand side ----------------------------------------------------------
//
// Every term of a vertex is formed from its stencil in registers and combined
// in the order R = ((Gamma_r H + C) - A) + S, so that the result equals the
// composition of the separate field operations. Rows are evaluated a vector
// of vertices at a time in the interleaved (q1, q2) layout: the component-wise
// terms (Laplacian, Landau terms, upwind differences) act on the lanes as they
// are, the couplings between the components read them through exact lane
// shuffles (|q|^2 summed with the pair swapped, the velocity gradient and
// q1, q2 repeated across each pair, the two co-rotation and strain components
// merged back into their lanes). The wrapped first and last columns and the
// columns left over from whole vectors are evaluated one vertex at a time.

template <class Div>
struct RhsCoeffs {
    LandauCoeffs landau;
    double gamma, lambda;
    Spacing<Div> sp;
};

// One vertex at flat index k with the flat indices of its neighbours.
template <bool Flow, bool Backflow, class Div>
[[gnu::always_inline]] inline void rhs_vertex(const RhsCoeffs<Div>& c, const double* f, const double* u,
                                              std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                              std::size_t kjm, double* out) {
    const double q1 = f[2 * k], q2 = f[2 * k + 1];
    const double nsq = norm_sq(q1, q2);
    double r1 = c.gamma * molecular_component(c.landau, lap_at(f, 0, k, kip, kim, kjp, kjm, c.sp.lap), q1, nsq);
    double r2 = c.gamma * molecular_component(c.landau, lap_at(f, 1, k, kip, kim, kjp, kjm, c.sp.lap), q2, nsq);
    if constexpr (Flow) {
        const VelocityGradient<> g = gradient_at(u, kip, kim, kjp, kjm, c.sp.grad);
        double c1, c2;
        corotation_point(g, c.lambda, q1, q2, c1, c2);
        const double ux = u[2 * k], uy = u[2 * k + 1];
        const double a1 = upwind_with(ux, uy, q1, f[2 * kip], f[2 * kim], f[2 * kjp], f[2 * kjm], c.sp.upw);
        const double a2 =
            upwind_with(ux, uy, q2, f[2 * kip + 1], f[2 * kim + 1], f[2 * kjp + 1], f[2 * kjm + 1], c.sp.upw);
        // Adding -1 * A and subtracting A round identically.
        r1 = r1 + c1 - a1;
        r2 = r2 + c2 - a2;
        if constexpr (Backflow) {
            double s1, s2;
            strain_alignment_point(g, c.lambda, q1, q2, s1, s2);
            r1 = r1 + s1;
            r2 = r2 + s2;
        }
    }
    out[2 * k] = r1;
    out[2 * k + 1] = r2;
}

template <class Isa>
struct IsaSqrt {
    [[gnu::always_inline]] typename Isa::V operator()(const typename Isa::V& x) const { return Isa::sqrt(x); }
};

// lanes/2 vertices starting at offset o = 2 j of rows whose column
// neighbours j-1 .. j+lanes/2 all lie inside the row.
template <bool Flow, bool Backflow, class Isa, class Div>
[[gnu::always_inline]] inline void rhs_vector(const RhsCoeffs<Div>& c, const double* fu, const double* fm,
                                              const double* fd, const double* uu, const double* um, const double* ud,
                                              std::size_t o, double* out) {
    using V = typename Isa::V;
    using simd::load;
    constexpr simd::Lanes<V> lanes{};
    const V q = load<V>(fm + o), qip = load<V>(fd + o), qim = load<V>(fu + o), qjp = load<V>(fm + o + 2),
            qjm = load<V>(fm + o - 2);
    const V sq = q * q;
    const V nsq = sq + simd::swap_pairs(sq, lanes);
    V r = c.gamma * molecular_component(c.landau, c.sp.lap(lap5_sum(q, qip, qim, qjp, qjm)), q, nsq);
    if constexpr (Flow) {
        const V v = load<V>(um + o), vip = load<V>(ud + o), vim = load<V>(uu + o), vjp = load<V>(um + o + 2),
                vjm = load<V>(um + o - 2);
        const V gx = c.sp.grad(vip - vim);  // (gxx, gxy) per vertex
        const V gy = c.sp.grad(vjp - vjm);  // (gyx, gyy) per vertex
        const VelocityGradient<V> g{simd::dup_even(gx, lanes), simd::dup_odd(gx, lanes), simd::dup_even(gy, lanes),
                                    simd::dup_odd(gy, lanes)};
        const V q1 = simd::dup_even(q, lanes), q2 = simd::dup_odd(q, lanes);
        V c1, c2;
        corotation_point(g, c.lambda, q1, q2, c1, c2);
        const V a = upwind_with(simd::dup_even(v, lanes), simd::dup_odd(v, lanes), q, qip, qim, qjp, qjm, c.sp.upw);
        r = r + simd::even_odd(c1, c2, lanes) - a;
        if constexpr (Backflow) {
            V s1, s2;
            strain_alignment_point(g, c.lambda, q1, q2, s1, s2, IsaSqrt<Isa>{});
            r = r + simd::even_odd(s1, s2, lanes);
        }
    }
    simd::store(out + o, r);
}

template <bool Flow, bool Backflow, class Isa, class Div>
[[gnu::always_inline]] inline void rhs_rows(const QField2D& q, const VelocityField2D* uf, const RhsCoeffs<Div>& c,
                                            double* out) {
    constexpr std::size_t per_vector = Isa::lanes / 2;  // vertices
    const std::uint64_t nx = q.nx, ny = q.ny;
    const double* f = q.data.data();
    const double* u = Flow ? uf->data.data() : nullptr;
    for (std::uint64_t i = 0; i < nx; ++i) {
        const std::size_t row = i * ny;
        const std::size_t rp = (i + 1 == nx ? 0 : i + 1) * ny;
        const std::size_t rm = (i == 0 ? nx - 1 : i - 1) * ny;
        auto vertex = [&](std::size_t j, std::size_t jp, std::size_t jm) {
            rhs_vertex<Flow, Backflow>(c, f, u, row + j, rp + j, rm + j, row + jp, row + jm, out);
        };
        vertex(0, ny > 1 ? 1 : 0, ny - 1);
        std::size_t j = 1;
        for (; j + per_vector < ny; j += per_vector)
            rhs_vector<Flow, Backflow, Isa>(c, f + 2 * rm, f + 2 * row, f + 2 * rp, Flow ? u + 2 * rm : nullptr,
                                            Flow ? u + 2 * row : nullptr, Flow ? u + 2 * rp : nullptr, 2 * j,
                                            out + 2 * row);
        for (; j + 1 < ny; ++j) vertex(j, j + 1, j - 1);
        if (ny > 1) vertex(ny - 1, 0, ny - 2);
    }
}

// One entry point per instruction set and variant (flow terms, backflow,
// exact or general divisions), everything inlined into it (gnu::flatten); no
// contraction into fused multiply-adds, which round once where the field
// operations round twice.
#if KESTRIN_SIMD_WIDE
template <bool Flow, bool Backflow, class Div>
[[gnu::target("avx512f"), gnu::optimize("fp-contract=off"), gnu::flatten]] void rhs_avx512(
    const QField2D& q, const VelocityField2D* u, const RhsCoeffs<Div>& c, double* out) {
    rhs_rows<Flow, Backflow, simd::IsaAvx512>(q, u, c, out);
}
template <bool Flow, bool Backflow, class Div>
[[gnu::target("avx2"), gnu::optimize("fp-contract=off"), gnu::flatten]] void rhs_avx2(
    const QField2D& q, const VelocityField2D* u, const RhsCoeffs<Div>& c, double* out) {
    rhs_rows<Flow, Backflow, simd::IsaAvx2>(q, u, c, out);
}
#endif
template <bool Flow, bool Backflow, class Div>
[[gnu::optimize("fp-contract=off"), gnu::flatten]] void rhs_baseline(const QField2D& q, const VelocityField2D* u,
                                                                     const RhsCoeffs<Div>& c, double* out) {
    rhs_rows<Flow, Backflow, simd::IsaBaseline>(q, u, c, out);
}

template <bool Flow, bool Backflow, class Div>
void rhs_variant(const QField2D& q, const VelocityField2D* u, const RhsCoeffs<Div>& c, double* out) {
#if KESTRIN_SIMD_WIDE
    switch (simd::best_level()) {
        case simd::Level::Avx512: return rhs_avx512<Flow, Backflow>(q, u, c, out);
        case simd::Level::Avx2: return rhs_avx2<Flow, Backflow>(q, u, c, out);
        case simd::Level::Baseline: break;
    }
#endif
    rhs_baseline<Flow, Backflow>(q, u, c, out);
}

void rhs(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p, double* out) {
    with_spacing(q.dx, u ? u->dx : 1.0, [&](auto sp) {
        const RhsCoeffs<typename decltype(sp)::Division> c{LandauCoeffs(p), p.gamma_r, p.lambda_, sp};
        if (!u)
            rhs_variant<false, false>(q, u, c, out);
        else if (p.backflow)
            rhs_variant<true, true>(q, u, c, out);
        else
            rhs_variant<true, false>(q, u, c, out);
    });
}

QField2D like(const QField2D& q) { return QField2D{std::vector<double>(q.data.size()), q.nx, q.ny, q.dx}; }

}  // namespace

void molecular_field_into(const QField2D& q, const ActiveNematicParams& p, std::span<double> out) {
    require_grid(q);
    require_output(q, out);
    const LandauCoeffs m(p);
    const double* f = q.data.data();
    double* h = out.data();
    with_spacing(q.dx, 1.0, [&](auto sp) {
        for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                                 std::size_t kjm) {
            const double q1 = f[2 * k], q2 = f[2 * k + 1];
            const double nsq = norm_sq(q1, q2);
            h[2 * k] = molecular_component(m, lap_at(f, 0, k, kip, kim, kjp, kjm, sp.lap), q1, nsq);
            h[2 * k + 1] = molecular_component(m, lap_at(f, 1, k, kip, kim, kjp, kjm, sp.lap), q2, nsq);
        });
    });
}

QField2D molecular_field(const QField2D& q, const ActiveNematicParams& p) {
    QField2D h = like(q);
    molecular_field_into(q, p, h.data);
    return h;
}

// A per-vertex term of Q and the velocity gradient (central differences of
// spacing q.dx), written to `out` by `point`.
template <class Point>
void velocity_term_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                        std::span<double> out, Point point) {
    require_grid(q);
    require_velocity(q, u);
    require_output(q, out);
    const double lambda = p.lambda_;
    const double* f = q.data.data();
    const double* v = u.data.data();
    double* o = out.data();
    with_spacing(q.dx, 1.0, [&](auto sp) {
        for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                                 std::size_t kjm) {
            point(gradient_at(v, kip, kim, kjp, kjm, sp.grad), lambda, f[2 * k], f[2 * k + 1], o[2 * k],
                  o[2 * k + 1]);
        });
    });
}

void strain_alignment_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                           std::span<double> out) {
    velocity_term_into(q, u, p, out, [](auto&&... a) { strain_alignment_point(a...); });
}

QField2D strain_alignment(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p) {
    QField2D s = like(q);
    strain_alignment_into(q, u, p, s.data);
    return s;
}

void corotation_strain_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                            std::span<double> out) {
    velocity_term_into(q, u, p, out, [](auto&&... a) { corotation_point(a...); });
}

QField2D corotation_strain(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p) {
    QField2D c = like(q);
    corotation_strain_into(q, u, p, c.data);
    return c;
}

void beris_edwards_rhs_into(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p,
                            std::span<double> out) {
    require_grid(q);
    if (u) require_velocity(q, *u);
    require_output(q, out);
    rhs(q, u, p, out.data());
}

QField2D beris_edwards_rhs(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p) {
    QField2D r = like(q);
    beris_edwards_rhs_into(q, u, p, r.data);
    return r;
}

}  // namespace kestrin
