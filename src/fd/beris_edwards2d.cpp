#include "fd/beris_edwards2d.hpp"

#include <cstdint>
#include <functional>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"
#include "fd/beris_edwards2d_point.hpp"

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
    const bool disjoint = !std::less<const double*>{}(out.data(), qe) || !std::less<const double*>{}(qb, out.data() + out.size());
    require(out.empty() || disjoint, "output storage overlaps the Q field");
}

void require_velocity(const QField2D& q, const VelocityField2D& u) {
    require(u.nx == q.nx && u.ny == q.ny, "velocity and Q field have different grids");
    require(u.data.size() == checked_storage(u.nx, u.ny, 2), "velocity storage does not match its grid");
}

// Velocity gradient at vertex k from the flat neighbour indices.
inline VelocityGradient gradient_at(const double* u, std::size_t kip, std::size_t kim, std::size_t kjp,
                                    std::size_t kjm, double two_dx) {
    return central_velocity_gradient(u + 2 * kip, u + 2 * kim, u + 2 * kjp, u + 2 * kjm, two_dx);
}

// Fused right-hand side: every term of a vertex is formed from its stencil in
// registers and combined in the order R = ((Gamma_r H + C) - A) + S, so that
// the result equals the composition of the separate field operations.
template <bool Flow, bool Backflow>
void rhs_sweep(const QField2D& q, const VelocityField2D* uf, const ActiveNematicParams& p, double* out) {
    const LandauCoeffs m(p);
    const double gamma = p.gamma_r, lambda = p.lambda_;
    const double dx2 = q.dx * q.dx, two_dx = 2.0 * q.dx;
    const double* f = q.data.data();
    const double* u = Flow ? uf->data.data() : nullptr;
    const double udx = Flow ? uf->dx : 0.0;
    for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                             std::size_t kjm) {
        const double q1 = f[2 * k], q2 = f[2 * k + 1];
        const double nsq = norm_sq(q1, q2);
        const double l1 = lap5(q1, f[2 * kip], f[2 * kim], f[2 * kjp], f[2 * kjm], dx2);
        const double l2 = lap5(q2, f[2 * kip + 1], f[2 * kim + 1], f[2 * kjp + 1], f[2 * kjm + 1], dx2);
        double r1 = gamma * molecular_component(m, l1, q1, nsq);
        double r2 = gamma * molecular_component(m, l2, q2, nsq);
        if constexpr (Flow) {
            const VelocityGradient g = gradient_at(u, kip, kim, kjp, kjm, two_dx);
            double c1, c2;
            corotation_point(g, lambda, q1, q2, c1, c2);
            const double ux = u[2 * k], uy = u[2 * k + 1];
            const double a1 = upwind(ux, uy, q1, f[2 * kip], f[2 * kim], f[2 * kjp], f[2 * kjm], udx);
            const double a2 = upwind(ux, uy, q2, f[2 * kip + 1], f[2 * kim + 1], f[2 * kjp + 1], f[2 * kjm + 1], udx);
            // Adding -1 * A and subtracting A round identically.
            r1 = r1 + c1 - a1;
            r2 = r2 + c2 - a2;
            if constexpr (Backflow) {
                double s1, s2;
                strain_alignment_point(g, lambda, q1, q2, s1, s2);
                r1 = r1 + s1;
                r2 = r2 + s2;
            }
        }
        out[2 * k] = r1;
        out[2 * k + 1] = r2;
    });
}

QField2D like(const QField2D& q) { return QField2D{std::vector<double>(q.data.size()), q.nx, q.ny, q.dx}; }

}  // namespace

void molecular_field_into(const QField2D& q, const ActiveNematicParams& p, std::span<double> out) {
    require_grid(q);
    require_output(q, out);
    const LandauCoeffs m(p);
    const double dx2 = q.dx * q.dx;
    const double* f = q.data.data();
    double* h = out.data();
    for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                             std::size_t kjm) {
        const double q1 = f[2 * k], q2 = f[2 * k + 1];
        const double nsq = norm_sq(q1, q2);
        h[2 * k] = molecular_component(m, lap5(q1, f[2 * kip], f[2 * kim], f[2 * kjp], f[2 * kjm], dx2), q1, nsq);
        h[2 * k + 1] = molecular_component(
            m, lap5(q2, f[2 * kip + 1], f[2 * kim + 1], f[2 * kjp + 1], f[2 * kjm + 1], dx2), q2, nsq);
    });
}

QField2D molecular_field(const QField2D& q, const ActiveNematicParams& p) {
    QField2D h = like(q);
    molecular_field_into(q, p, h.data);
    return h;
}

void strain_alignment_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                           std::span<double> out) {
    require_grid(q);
    require_velocity(q, u);
    require_output(q, out);
    const double two_dx = 2.0 * q.dx, lambda = p.lambda_;
    const double* f = q.data.data();
    const double* v = u.data.data();
    double* s = out.data();
    for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                             std::size_t kjm) {
        strain_alignment_point(gradient_at(v, kip, kim, kjp, kjm, two_dx), lambda, f[2 * k], f[2 * k + 1], s[2 * k],
                               s[2 * k + 1]);
    });
}

QField2D strain_alignment(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p) {
    QField2D s = like(q);
    strain_alignment_into(q, u, p, s.data);
    return s;
}

void corotation_strain_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                            std::span<double> out) {
    require_grid(q);
    require_velocity(q, u);
    require_output(q, out);
    const double two_dx = 2.0 * q.dx, lambda = p.lambda_;
    const double* f = q.data.data();
    const double* v = u.data.data();
    double* c = out.data();
    for_each_periodic_vertex(q.nx, q.ny, [&](std::size_t k, std::size_t kip, std::size_t kim, std::size_t kjp,
                                             std::size_t kjm) {
        corotation_point(gradient_at(v, kip, kim, kjp, kjm, two_dx), lambda, f[2 * k], f[2 * k + 1], c[2 * k],
                         c[2 * k + 1]);
    });
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
    if (!u)
        rhs_sweep<false, false>(q, u, p, out.data());
    else if (p.backflow)
        rhs_sweep<true, true>(q, u, p, out.data());
    else
        rhs_sweep<true, false>(q, u, p, out.data());
}

QField2D beris_edwards_rhs(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p) {
    QField2D r = like(q);
    beris_edwards_rhs_into(q, u, p, r.data);
    return r;
}

}  // namespace kestrin
