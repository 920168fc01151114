#pragma once
// Right-hand side of the 2D Beris-Edwards equation for the rotor order tensor
// on the periodic grid:
//   dQ/dt = Gamma_r H + lambda-co-rotation(Q, u) - (u . grad) Q [+ strain alignment],
// with the Landau-de Gennes molecular field H and, when a velocity field is
// given, the flow terms. Stencils use the spacing of q (the upwind advection
// that of u).
//
// Each quantity has an allocating form returning a new field and an "_into"
// form writing into caller-owned storage of q.data.size() values (which must
// not overlap q's); the allocating forms only wrap the "_into" forms. A
// velocity field on another grid than q is an internal fault.
#include <span>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"

namespace kestrin {

// H_c = k_r lap q_c - 2 a_eff q_c - 4 c_landau (q1^2 + q2^2) q_c.
QField2D molecular_field(const QField2D& q, const ActiveNematicParams& p);
void molecular_field_into(const QField2D& q, const ActiveNematicParams& p, std::span<double> out);

// lambda (S/2) (gxx - gyy, gxy + gyx), S = 2 |q|.
QField2D strain_alignment(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p);
void strain_alignment_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                           std::span<double> out);

// Co-rotation and compression: lambda (gxx + gyy) (q1, q2) + 2 w (-q2, q1).
QField2D corotation_strain(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p);
void corotation_strain_into(const QField2D& q, const VelocityField2D& u, const ActiveNematicParams& p,
                            std::span<double> out);

// dQ/dt. Without u: Gamma_r H. With u: (Gamma_r H + co-rotation) - advection,
// plus the strain alignment when p.backflow is set. u may be null.
QField2D beris_edwards_rhs(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p);
// One fused pass over the grid; needs no scratch storage.
void beris_edwards_rhs_into(const QField2D& q, const VelocityField2D* u, const ActiveNematicParams& p,
                            std::span<double> out);

}  // namespace kestrin
