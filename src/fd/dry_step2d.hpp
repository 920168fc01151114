#pragma once
// The dry 2D model (no flow): classical fourth-order Runge-Kutta of
// dQ/dt = Gamma_r H followed by additive Langevin noise.
#include <cstdint>
#include <vector>

#include "core/fields2d.hpp"
#include "core/noise.hpp"
#include "core/params2d.hpp"
#include "core/runner.hpp"

namespace kestrin {

class Cartesian2DDry {
public:
    // `noise` is the generator used when params.noise_amp > 0 (the run driver
    // seeds it); with noise_amp <= 0 it is never drawn from.
    Cartesian2DDry(ActiveNematicParams params, const LangevinNoise& noise);

    // Allocates the working storage (a few dozen rows) for stepping fields
    // with as many columns as q, so that the steps allocate nothing. A field
    // whose storage does not match its grid is an internal fault.
    void reserve(const QField2D& q);

    // One step of length params.dt on q's own grid (its nx, ny and dx):
    //   k1 = F(q), k2 = F(q + (h/2) k1), k3 = F(q + (h/2) k2), k4 = F(q + h k3),
    //   q <- q + (h/6) (((k1 + 2 k2) + 2 k3) + k4),  F = Gamma_r H,
    // then, with noise, q += N(0, noise_amp^2 h) independently per component.
    // The result is bit for bit that of molecular_field, scale and add
    // composed in this order. Returns the mean order parameter of the new q;
    // `t` is not used. Allocates only when q has more columns than reserved.
    StepStats step(QField2D& q, double t);

    const ActiveNematicParams& params() const { return params_; }
    bool noise_enabled() const { return noise_enabled_; }
    const LangevinNoise& noise() const { return noise_; }

private:
    ActiveNematicParams params_;
    bool noise_enabled_;
    LangevinNoise noise_;
    // Row buffers of the pipelined Runge-Kutta sweep (stage arguments,
    // accumulated slopes, saved original rows, one row of noise and one of
    // |q|^2 for the mean order parameter).
    std::vector<double> rows_;
};

static_assert(PhysicsStep<Cartesian2DDry, QField2D>);

}  // namespace kestrin
