#pragma once
// Every physical and numerical constant of the 2D models in one plain record.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/kerror.hpp"

namespace kestrin {

struct ActiveNematicParams {
    Screening screening{};
    // Spatially varying activity, one value per vertex (i*ny + j); when set it
    // replaces zeta_eff in the active stress.
    std::optional<std::vector<double>> zeta_field{};
    std::uint64_t nx = 0;
    std::uint64_t ny = 0;
    double dx = 0;
    double dt = 0;
    double k_r = 0;       // rotor elastic constant
    double gamma_r = 0;   // rotational mobility
    double zeta_eff = 0;  // effective activity
    double eta = 0;       // viscosity
    double a_landau = 0;
    double c_landau = 0;
    double lambda_ = 0;   // flow-alignment parameter
    double noise_amp = 0;
    double k_l = 0;       // lipid elastic constant
    double gamma_l = 0;   // lipid mobility
    double xi_l = 0;      // lipid length of the K0 map
    double chi_ms = 0.5;  // Maier-Saupe coupling
    double kappa_ch = 1.0;
    double a_ch = 1.0;
    double b_ch = 1.0;
    double m_l = 0.1;
    bool backflow = false;

    static ActiveNematicParams default_test();

    // Landau coefficient lowered by activity: a_landau - zeta_eff / 2.
    double a_eff() const { return zeta_eff * -0.5 + a_landau; }
    double phi_eq() const;
    double ch_coherence_length() const;
    double defect_length() const;
    double pi_number() const { return k_r / (gamma_l * eta * k_l); }

    // Checks the rules in a fixed order and reports the first that fails.
    KStatus validate() const;
};

}  // namespace kestrin
