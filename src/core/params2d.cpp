#include "core/params2d.hpp"

#include <cmath>

#include "core/numfmt.hpp"

namespace kestrin {

ActiveNematicParams ActiveNematicParams::default_test() {
    ActiveNematicParams p;
    p.nx = 64; p.ny = 64; p.dx = 1.0; p.dt = 0.01;
    p.k_r = 1.0; p.gamma_r = 1.0; p.zeta_eff = 2.0; p.eta = 1.0;
    p.a_landau = -0.5; p.c_landau = 4.5; p.lambda_ = 0.7; p.noise_amp = 0.0;
    p.k_l = 0.5; p.gamma_l = 1.0; p.xi_l = 5.0;
    p.chi_ms = 0.5; p.kappa_ch = 1.0; p.a_ch = 1.0; p.b_ch = 1.0; p.m_l = 0.1;
    p.backflow = false;
    return p;
}

double ActiveNematicParams::phi_eq() const { return std::sqrt(a_ch / b_ch); }
double ActiveNematicParams::ch_coherence_length() const { return std::sqrt(kappa_ch / a_ch); }
double ActiveNematicParams::defect_length() const { return std::sqrt(k_r / std::abs(zeta_eff)); }

KStatus ActiveNematicParams::validate() const {
    auto fail = [](std::string m) { return std::unexpected(KError::invalid(std::move(m))); };
    // The positivity rules are written as "<= 0 fails" so that NaN passes,
    // as it always has; only zeta_eff is checked for finiteness.
    if (nx < 2) return fail("nx must be >= 2");
    if (ny < 2) return fail("ny must be >= 2");
    if (dx <= 0) return fail("dx must be positive");
    if (dt <= 0) return fail("dt must be positive");
    if (k_r <= 0) return fail("k_r must be positive");
    if (gamma_r <= 0) return fail("gamma_r must be positive");
    if (!std::isfinite(zeta_eff)) return fail("zeta_eff must be finite");
    if (eta <= 0) return fail("eta must be positive");
    if (c_landau <= 0) return fail("c_landau must be positive");
    if (xi_l <= 0) return fail("xi_l must be positive");
    if (noise_amp < 0) return fail("noise_amp must be non-negative");
    if (chi_ms < 0) return fail("chi_ms must be non-negative");
    if (kappa_ch <= 0) return fail("kappa_ch must be positive");
    if (a_ch <= 0) return fail("a_ch must be positive");
    if (b_ch <= 0) return fail("b_ch must be positive");
    if (m_l <= 0) return fail("m_l must be positive");
    if (zeta_field) {
        const std::uint64_t n = nx * ny;
        if (zeta_field->size() != n)
            return fail("zeta_field length " + fmt::integer(static_cast<std::uint64_t>(zeta_field->size())) +
                        " must equal nx*ny = " + fmt::integer(n));
    }
    if (screening.has_length && !(screening.length > 0 && std::isfinite(screening.length)))
        return fail("screening length must be positive and finite, got " + screening.debug());
    return {};
}

}  // namespace kestrin
