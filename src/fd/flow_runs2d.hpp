#pragma once
// The 2D models with flow: the hydrodynamic model (spectral Stokes flow plus
// forward-Euler Beris-Edwards) and the BECH model, which also carries the
// lipid fraction phi through the K0 map and a Cahn-Hilliard ETD1 step.
#include <cstdint>
#include <optional>
#include <span>
#include <tuple>
#include <utility>
#include <vector>

#include "core/fields2d.hpp"
#include "core/noise.hpp"
#include "core/params2d.hpp"
#include "core/runner.hpp"
#include "fd/bech_stats.hpp"
#include "fd/cahn_hilliard2d.hpp"
#include "fd/k0_map2d.hpp"
#include "fd/snap_stats.hpp"
#include "fd/stokes2d.hpp"

namespace kestrin {

// Working storage of one flow step, sized on the first step of a grid and
// reused afterwards, so that steps allocate nothing.
class FlowStepBuffers {
public:
    // u = Stokes velocity of q; then q <- q + h R(q, u) plus noise.
    void euler_step(QField2D& q, const ActiveNematicParams& p, LangevinNoise* noise);
    const VelocityField2D& velocity() const { return u_; }

private:
    void prepare(const QField2D& q);

    std::optional<StokesWorkspace2D> stokes_;
    VelocityField2D u_;
    std::vector<double> rhs_;
    std::vector<double> noise_;
};

// Forward-Euler step of the hydrodynamic model:
//   u = stokes(q);  q <- q + h (Gamma_r H + co-rotation - (u.grad) q [+ strain]);  q += noise.
class Cartesian2DWet {
public:
    Cartesian2DWet(ActiveNematicParams params, const LangevinNoise& noise);
    StepStats step(QField2D& q, double t);

private:
    ActiveNematicParams params_;
    bool noise_enabled_;
    LangevinNoise noise_;
    FlowStepBuffers buf_;
};

struct BechState {
    QField2D q;
    ScalarField2D phi;
};

// BECH step: the hydrodynamic step, then q_lip = K0 map of the updated q and
// phi <- ETD1(phi, q_lip, u) with the velocity of the start of the step.
class Cartesian2DBech {
public:
    Cartesian2DBech(ActiveNematicParams params, const LangevinNoise& noise);
    StepStats step(BechState& s, double t);

private:
    ActiveNematicParams params_;
    bool noise_enabled_;
    LangevinNoise noise_;
    FlowStepBuffers buf_;
    std::optional<K0MapWorkspace2D> k0_;
    std::optional<CahnHilliardWorkspace2D> ch_;
    QField2D q_lip_;
};

// Snapshot observer of the BECH state.
class BechSink {
public:
    explicit BechSink(const ActiveNematicParams& p);
    void observe(std::uint64_t step, const BechState& s, const StepStats& last, double t);
    std::vector<BechStats> take() { return std::move(stats_); }

private:
    double dt_;
    double area_;
    std::vector<BechStats> stats_;
};

static_assert(PhysicsStep<Cartesian2DWet, QField2D>);
static_assert(PhysicsStep<Cartesian2DBech, BechState>);
static_assert(Observer<BechSink, BechState>);

std::pair<QField2D, std::vector<SnapStats>> run_active_nematic_hydro(const QField2D& q_init,
                                                                     const ActiveNematicParams& p,
                                                                     std::uint64_t n_steps, std::uint64_t snap_every);

// phi_init must be on q_init's grid (an internal fault otherwise).
std::tuple<QField2D, ScalarField2D, std::vector<BechStats>> run_bech(const QField2D& q_init,
                                                                     const ScalarField2D& phi_init,
                                                                     const ActiveNematicParams& p,
                                                                     std::uint64_t n_steps,
                                                                     std::uint64_t snap_every);

}  // namespace kestrin
