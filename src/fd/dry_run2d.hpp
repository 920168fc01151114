#pragma once
// The dry 2D run: Runge-Kutta steps of the dry model under the generic
// runner, with defect statistics at every snapshot.
#include <cstdint>
#include <utility>
#include <vector>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"
#include "core/runner.hpp"
#include "fd/snap_stats.hpp"

namespace kestrin {

// Point defects of q by the holonomy scan at a half-turn threshold (pi/2),
// split by charge sign.
struct DefectCounts {
    std::uint64_t n_defects = 0, n_plus = 0, n_minus = 0;
};
DefectCounts count_defects(const QField2D& q);

// Snapshot observer of a QField2D state: appends one SnapStats per
// observation. Time and area come from the run's parameter record: time =
// dt * step, area = (ny dx)(nx dx).
class DrySink {
public:
    explicit DrySink(const ActiveNematicParams& p);

    void observe(std::uint64_t step, const QField2D& q, const StepStats& last, double t);

    const std::vector<SnapStats>& stats() const { return stats_; }
    std::vector<SnapStats> take() { return std::move(stats_); }

private:
    double dt_;
    double area_;
    std::vector<SnapStats> stats_;
};

static_assert(Observer<DrySink, QField2D>);

// Runs n_steps dry steps from a copy of q_init, observing every snap_every
// steps from step 0 (none when snap_every is 0; the final state is observed
// only on the cadence). The stencils use q_init's own grid; the record's nx,
// ny give the noise seed (with n_steps) and, with dx, the area.
std::pair<QField2D, std::vector<SnapStats>> run_dry_active_nematic(const QField2D& q_init,
                                                                   const ActiveNematicParams& p,
                                                                   std::uint64_t n_steps, std::uint64_t snap_every);

}  // namespace kestrin
