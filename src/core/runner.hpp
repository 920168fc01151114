#pragma once
// The generic time loop shared by the 2D models: a physics step advances the
// state in place, an observer receives snapshots.
#include <array>
#include <concepts>
#include <cstdint>
#include <optional>

namespace kestrin {

struct RunConfig {
    std::uint64_t n_steps = 0;
    std::uint64_t snap_every = 0;  // 0: no periodic snapshots
    double dt = 0.0;               // only used to report times
    bool final_snapshot = false;   // also observe the last state off the cadence
};

// Per-step diagnostics. Slot 1 carries the mean scalar order parameter of
// the state after the step; the other slots are free optional diagnostics.
struct StepStats {
    std::array<std::optional<double>, 5> values{};
    static StepStats with_mean_s(double s) {
        StepStats st;
        st.values[1] = s;
        return st;
    }
    std::optional<double> mean_s() const { return values[1]; }
};

template <class P, class State>
concept PhysicsStep = requires(P p, State& s, double t) {
    { p.step(s, t) } -> std::same_as<StepStats>;
};

template <class O, class State>
concept Observer = requires(O o, std::uint64_t i, const State& s, const StepStats& st, double t) {
    o.observe(i, s, st, t);
};

struct SimulationRunner {
    // For i = 0..n_steps: observe on the cadence (and at the end when asked),
    // then step to time (i+1)*dt. The initial state is observed whenever
    // snap_every > 0; n_steps = 0 gives one observation and no step.
    template <class State, PhysicsStep<State> P, Observer<State> O>
    static void run(const RunConfig& cfg, State& state, P& physics, O& observer) {
        StepStats last{};
        for (std::uint64_t i = 0;; ++i) {
            const bool on_cadence = cfg.snap_every > 0 && i % cfg.snap_every == 0;
            if (on_cadence || (cfg.final_snapshot && i == cfg.n_steps))
                observer.observe(i, static_cast<const State&>(state), last, static_cast<double>(i) * cfg.dt);
            if (i >= cfg.n_steps) break;
            last = physics.step(state, static_cast<double>(i + 1) * cfg.dt);
        }
    }
};

}  // namespace kestrin
