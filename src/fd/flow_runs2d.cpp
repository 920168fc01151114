#include "fd/flow_runs2d.hpp"

#include "core/internal_fault.hpp"
#include "fd/beris_edwards2d.hpp"
#include "fd/dry_run2d.hpp"

namespace kestrin {

void FlowStepBuffers::prepare(const QField2D& q) {
    if (!stokes_ || stokes_->nx() != q.nx || stokes_->ny() != q.ny) {
        stokes_.emplace(q.nx, q.ny);
        u_ = VelocityField2D::zeros(q.nx, q.ny, q.dx);
    }
    rhs_.resize(q.data.size());
    noise_.resize(q.data.size());
}

void FlowStepBuffers::euler_step(QField2D& q, const ActiveNematicParams& p, LangevinNoise* noise) {
    prepare(q);
    stokes_->solve(q, p, u_);
    beris_edwards_rhs_into(q, &u_, p, rhs_);
    const double h = p.dt;
    double* d = q.data.data();
    const double* r = rhs_.data();
    const std::size_t n = q.data.size();
    for (std::size_t i = 0; i < n; ++i) d[i] = d[i] + h * r[i];
    if (noise) {
        // One Gaussian pair per vertex, (q1, q2) in vertex order.
        noise->fill_pairs(noise_, p.noise_amp, h);
        const double* z = noise_.data();
        for (std::size_t i = 0; i < n; ++i) d[i] = d[i] + z[i];
    }
}

Cartesian2DWet::Cartesian2DWet(ActiveNematicParams params, const LangevinNoise& noise)
    : params_(std::move(params)), noise_enabled_(params_.noise_amp > 0), noise_(noise) {}

StepStats Cartesian2DWet::step(QField2D& q, double) {
    buf_.euler_step(q, params_, noise_enabled_ ? &noise_ : nullptr);
    return StepStats::with_mean_s(q.mean_order_param());
}

Cartesian2DBech::Cartesian2DBech(ActiveNematicParams params, const LangevinNoise& noise)
    : params_(std::move(params)), noise_enabled_(params_.noise_amp > 0), noise_(noise) {}

StepStats Cartesian2DBech::step(BechState& s, double) {
    require(s.phi.nx == s.q.nx && s.phi.ny == s.q.ny, "BECH state: phi and q have different grids");
    buf_.euler_step(s.q, params_, noise_enabled_ ? &noise_ : nullptr);
    if (!k0_ || k0_->nx() != s.q.nx || k0_->ny() != s.q.ny) {
        k0_.emplace(s.q.nx, s.q.ny);
        ch_.emplace(s.phi.nx, s.phi.ny);
        q_lip_ = QField2D::zeros(s.q.nx, s.q.ny, s.q.dx);
    }
    k0_->apply(s.q, params_, q_lip_);
    ch_->step(s.phi, q_lip_, buf_.velocity(), params_, s.phi);
    return StepStats::with_mean_s(s.q.mean_order_param());
}

BechSink::BechSink(const ActiveNematicParams& p)
    : dt_(p.dt), area_((static_cast<double>(p.ny) * p.dx) * (static_cast<double>(p.nx) * p.dx)) {}

void BechSink::observe(std::uint64_t step, const BechState& s, const StepStats&, double) {
    const DefectCounts n = count_defects(s.q);
    stats_.push_back(BechStats{dt_ * static_cast<double>(step), s.q.mean_order_param(), n.n_defects, n.n_plus,
                               n.n_minus, static_cast<double>(n.n_defects) / area_, s.phi.mean_value(),
                               s.phi.variance(), s.phi.mean_gradient_sq()});
}

std::pair<QField2D, std::vector<SnapStats>> run_active_nematic_hydro(const QField2D& q_init,
                                                                     const ActiveNematicParams& p,
                                                                     std::uint64_t n_steps, std::uint64_t snap_every) {
    Cartesian2DWet physics(p, LangevinNoise::per_run_seed(p.nx, p.ny, n_steps));
    QField2D state = q_init;
    DrySink sink(p);
    SimulationRunner::run(RunConfig{n_steps, snap_every, p.dt, false}, state, physics, sink);
    return {std::move(state), sink.take()};
}

std::tuple<QField2D, ScalarField2D, std::vector<BechStats>> run_bech(const QField2D& q_init,
                                                                     const ScalarField2D& phi_init,
                                                                     const ActiveNematicParams& p,
                                                                     std::uint64_t n_steps,
                                                                     std::uint64_t snap_every) {
    Cartesian2DBech physics(p, LangevinNoise::per_run_seed(p.nx, p.ny, n_steps));
    BechState state{q_init, phi_init};
    BechSink sink(p);
    SimulationRunner::run(RunConfig{n_steps, snap_every, p.dt, false}, state, physics, sink);
    return {std::move(state.q), std::move(state.phi), sink.take()};
}

}  // namespace kestrin
