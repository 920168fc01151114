#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/runner.hpp"

using namespace kestrin;

namespace {

struct Counter {
    std::vector<double> step_times;
    StepStats step(int& state, double t) {
        step_times.push_back(t);
        ++state;
        return StepStats::with_mean_s(state);
    }
};

struct Recorder {
    std::vector<std::uint64_t> steps;
    std::vector<double> times;
    std::vector<int> states;
    std::vector<std::optional<double>> last;
    void observe(std::uint64_t i, const int& s, const StepStats& st, double t) {
        steps.push_back(i);
        times.push_back(t);
        states.push_back(s);
        last.push_back(st.mean_s());
    }
};

struct Case {
    std::uint64_t n_steps, snap_every;
    bool final_snapshot;
    std::vector<std::uint64_t> observed;
};

class RunnerCadence : public ::testing::TestWithParam<Case> {};

}  // namespace

TEST_P(RunnerCadence, ObservesOnTheCadenceAndStepsEveryTime) {
    const Case c = GetParam();
    const double dt = 0.25;
    int state = 0;
    Counter physics;
    Recorder obs;
    SimulationRunner::run(RunConfig{c.n_steps, c.snap_every, dt, c.final_snapshot}, state, physics, obs);
    EXPECT_EQ(obs.steps, c.observed);
    ASSERT_EQ(physics.step_times.size(), c.n_steps);
    for (std::uint64_t k = 0; k < c.n_steps; ++k) EXPECT_EQ(physics.step_times[k], (k + 1) * dt);
    for (std::size_t k = 0; k < obs.steps.size(); ++k) {
        EXPECT_EQ(obs.times[k], obs.steps[k] * dt);
        EXPECT_EQ(obs.states[k], static_cast<int>(obs.steps[k]));  // observed before the next step
        // Before the first step the diagnostics are empty.
        EXPECT_EQ(obs.last[k].has_value(), obs.steps[k] > 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cadences, RunnerCadence,
                         ::testing::Values(Case{10, 5, false, {0, 5, 10}}, Case{7, 5, false, {0, 5}},
                                           Case{7, 5, true, {0, 5, 7}}, Case{4, 0, false, {}},
                                           Case{4, 0, true, {4}}, Case{0, 3, false, {0}}),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const Case& c = info.param;
                             std::string name = "n";
                             name += std::to_string(c.n_steps);
                             name += "_every";
                             name += std::to_string(c.snap_every);
                             if (c.final_snapshot) name += "_final";
                             return name;
                         });
