#include "fd/dry_run2d.hpp"

#include "core/noise.hpp"
#include "fd/dry_step2d.hpp"
#include "topology/defect_scan2d.hpp"

namespace kestrin {

DefectCounts count_defects(const QField2D& q) {
    DefectCounts n;
    for (const DefectInfo& d : scan_defects(q, 1.5707963267948966)) {
        ++n.n_defects;
        if (d.charge_sign > 0) ++n.n_plus;
        if (d.charge_sign < 0) ++n.n_minus;
    }
    return n;
}

DrySink::DrySink(const ActiveNematicParams& p)
    : dt_(p.dt),
      area_((static_cast<double>(p.ny) * p.dx) * (static_cast<double>(p.nx) * p.dx)) {}

void DrySink::observe(std::uint64_t step, const QField2D& q, const StepStats& /*last*/, double /*t*/) {
    const DefectCounts n = count_defects(q);
    stats_.push_back(SnapStats{dt_ * static_cast<double>(step), q.mean_order_param(), n.n_defects, n.n_plus,
                               n.n_minus, static_cast<double>(n.n_defects) / area_});
}

std::pair<QField2D, std::vector<SnapStats>> run_dry_active_nematic(const QField2D& q_init,
                                                                   const ActiveNematicParams& p,
                                                                   std::uint64_t n_steps, std::uint64_t snap_every) {
    // The seed depends only on the record's grid and the step count, so equal
    // calls give equal runs; it is drawn from only when noise_amp > 0.
    Cartesian2DDry physics(p, LangevinNoise::per_run_seed(p.nx, p.ny, n_steps));
    QField2D state = q_init;
    physics.reserve(state);
    DrySink sink(p);
    SimulationRunner::run(RunConfig{n_steps, snap_every, p.dt, false}, state, physics, sink);
    return {std::move(state), sink.take()};
}

}  // namespace kestrin
