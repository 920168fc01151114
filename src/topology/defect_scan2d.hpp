#pragma once
// Point disclinations of a 2D Q field: plaquettes around which the eigenframe
// holonomy turns by more than a threshold angle.
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"

namespace kestrin {

struct DefectInfo {
    std::uint64_t i = 0, j = 0;  // plaquette: vertices (i..i+1, j..j+1)
    double angle = 0;            // rotation angle of the holonomy, radians
    std::int8_t charge_sign = 1; // +1 for a +1/2 defect, -1 for a -1/2 defect
};

// Plaquettes whose holonomy rotation angle exceeds `threshold` (strictly), in
// scan order (i slow, j fast). Only plaquettes inside the grid are scanned
// (0 <= i < nx-1, 0 <= j < ny-1); plaquettes touching a non-finite vertex are
// never reported. A field whose stored vertex count is not nx*ny is an
// internal fault.
std::vector<DefectInfo> scan_defects(const QField2D& q, double threshold);

// Sign of the director's winding round plaquette (i, j): the increments of
// theta = atan2(q2, q1)/2 along (i, j), (i+1, j), (i+1, j+1), (i, j+1) and
// back, each wrapped into (-pi/2, pi/2], summed; -1 for a negative sum, +1
// otherwise. The plaquette must lie inside the grid (internal fault).
std::int8_t plaquette_charge_sign(const QField2D& q, std::uint64_t i, std::uint64_t j);

}  // namespace kestrin
