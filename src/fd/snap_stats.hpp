#pragma once
// Per-snapshot statistics of the dry and hydrodynamic 2D runs.
#include <cstdint>

namespace kestrin {

struct SnapStats {
    double time = 0;              // dt times the step index
    double mean_s = 0;            // mean scalar order parameter
    std::uint64_t n_defects = 0;  // holonomy scan at threshold pi/2
    std::uint64_t n_plus = 0;     // of those, positive charge sign
    std::uint64_t n_minus = 0;    // of those, negative charge sign
    double defect_density = 0;    // n_defects over the domain area
};

}  // namespace kestrin
