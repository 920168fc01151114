#pragma once
// Per-snapshot statistics of the BECH run (rotor Q plus lipid fraction phi).
#include <cstdint>

namespace kestrin {

struct BechStats {
    double time = 0;
    double mean_s = 0;
    std::uint64_t n_defects = 0;
    std::uint64_t n_plus = 0;
    std::uint64_t n_minus = 0;
    double defect_density = 0;
    double mean_phi = 0;
    double phi_variance = 0;
    double mean_grad_phi_sq = 0;
};

}  // namespace kestrin
