// The 2D model functions: the three runs, the spectral solvers and the defect scan.
#include "core/numfmt.hpp"
#include "fd/cahn_hilliard2d.hpp"
#include "fd/dry_run2d.hpp"
#include "fd/flow_runs2d.hpp"
#include "fd/k0_map2d.hpp"
#include "fd/stokes2d.hpp"
#include "python/args.hpp"
#include "python/members.hpp"
#include "python/registration.hpp"
#include "topology/defect_scan2d.hpp"

namespace kpy {
namespace {

using namespace kestrin;

std::string grid_text(std::uint64_t nx, std::uint64_t ny) { return fmt::integer(nx) + "x" + fmt::integer(ny); }

// Fields combined in one operation must share a grid. The library treats a
// mismatch as a broken invariant; from Python it is a plain user error, so it
// is refused here, before any work, naming both grids.
template <class A, class B>
bool same_grid(const char* a_name, const A& a, const char* b_name, const B& b) {
    if (a.nx == b.nx && a.ny == b.ny) return true;
    PyErr_SetString(PyExc_ValueError, (std::string(a_name) + " grid " + grid_text(a.nx, a.ny) + " does not match " +
                                       b_name + " grid " + grid_text(b.nx, b.ny))
                                          .c_str());
    return false;
}

// The spatial activity field is indexed by the vertices of the Q field it
// drives; one sized for another grid (the record's nx*ny may differ from the
// field's by design) is refused before any work.
bool zeta_fits(const ActiveNematicParams& p, const QField2D& q) {
    if (!p.zeta_field || p.zeta_field->size() == q.len()) return true;
    PyErr_SetString(PyExc_ValueError, ("zeta_field length " + fmt::integer(std::uint64_t{p.zeta_field->size()}) +
                                       " does not match the " + grid_text(q.nx, q.ny) + " grid of the Q field")
                                          .c_str());
    return false;
}

PyObject* snap_list(const std::vector<SnapStats>& stats) {
    return to_list(stats, [](const SnapStats& s) { return wrap(s); });
}

// The dry and hydrodynamic runs share their signature and their results
// (final Q, list of SnapStats); only the hydrodynamic one reads zeta_field.
template <Lit Name, auto Run, bool UsesZetaField>
PyObject* run_q_model(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const QField2D* q;
    const ActiveNematicParams* p;
    std::uint64_t n_steps, snap_every;
    if (!parse(sig(Name.s, {"q_init", "params", "n_steps", "snap_every"}), a, n, kw, q, p, n_steps, snap_every))
        return nullptr;
    if (UsesZetaField && !zeta_fits(*p, *q)) return nullptr;
    auto [qf, stats] = Run(*q, *p, n_steps, snap_every);
    Ref qo = Ref::steal(wrap(std::move(qf)));
    Ref so = Ref::steal(qo ? snap_list(stats) : nullptr);
    if (!so) return nullptr;
    return PyTuple_Pack(2, qo.get(), so.get());
}

PyObject* run_bech_py(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const QField2D* q;
    const ScalarField2D* phi;
    const ActiveNematicParams* p;
    std::uint64_t n_steps, snap_every;
    if (!parse(sig("run_bech", {"q_init", "phi_init", "params", "n_steps", "snap_every"}), a, n, kw, q, phi, p,
               n_steps, snap_every))
        return nullptr;
    if (!same_grid("phi_init", *phi, "q_init", *q) || !zeta_fits(*p, *q)) return nullptr;
    auto [qf, phif, stats] = run_bech(*q, *phi, *p, n_steps, snap_every);
    Ref qo = Ref::steal(wrap(std::move(qf)));
    Ref po = Ref::steal(qo ? wrap(std::move(phif)) : nullptr);
    Ref so = Ref::steal(po ? to_list(stats, [](const BechStats& s) { return wrap(s); }) : nullptr);
    if (!so) return nullptr;
    return PyTuple_Pack(3, qo.get(), po.get(), so.get());
}

PyObject* stokes(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const QField2D* q;
    const ActiveNematicParams* p;
    if (!parse(sig("stokes_solve", {"q", "params"}), a, n, kw, q, p) || !zeta_fits(*p, *q)) return nullptr;
    return wrap(stokes_solve(*q, *p));
}

PyObject* k0(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const QField2D* q;
    const ActiveNematicParams* p;
    if (!parse(sig("k0_convolution", {"q_rot", "params"}), a, n, kw, q, p)) return nullptr;
    return wrap(k0_convolution(*q, *p));
}

PyObject* scan(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const QField2D* q;
    double threshold = 1.5707963267948966;
    if (!parse(sig("scan_defects", {"q", "threshold"}, 1), a, n, kw, q, threshold)) return nullptr;
    return to_list(scan_defects(*q, threshold), [](const DefectInfo& d) { return wrap(d); });
}

PyObject* ch_step(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    const ScalarField2D* phi;
    const QField2D* q_lip;
    const VelocityField2D* v;
    const ActiveNematicParams* p;
    if (!parse(sig("ch_step_etd", {"phi", "q_lip", "v", "params"}), a, n, kw, phi, q_lip, v, p)) return nullptr;
    if (!same_grid("q_lip", *q_lip, "phi", *phi) || !same_grid("v", *v, "phi", *phi)) return nullptr;
    return wrap(ch_step_etd(*phi, *q_lip, *v, *p));
}

PyMethodDef functions[] = {
    method<run_q_model<"run_dry_active_nematic", &run_dry_active_nematic, false>>(
        "run_dry_active_nematic",
                    "run_dry_active_nematic(q_init, params, n_steps, snap_every)\n--\n\n"
                    "Run the dry active nematic simulation.\n\n"
                    "Returns (QField2D, list[SnapStats])."),
    method<run_q_model<"run_active_nematic_hydro", &run_active_nematic_hydro, true>>(
        "run_active_nematic_hydro",
        "run_active_nematic_hydro(q_init, params, n_steps, snap_every)\n--\n\n"
        "Run the active nematic model with full hydrodynamic flow coupling (spectral Stokes).\n\n"
        "At each time step the Stokes velocity field is recomputed from the active stress via the\n"
        "stream-function biharmonic equation, solved spectrally. This enables the active flow\n"
        "instability that drives active turbulence, with the defect density scaling as\n"
        "ρ_d ~ ζ_eff / K_r.\n\n"
        "Returns (QField2D, list[SnapStats])."),
    method<run_bech_py>("run_bech",
                        "run_bech(q_init, phi_init, params, n_steps, snap_every)\n--\n\n"
                        "Run the full Beris-Edwards-Cahn-Hilliard (BECH) simulation.\n\n"
                        "Couples the active rotor Q-field (Beris-Edwards plus Stokes) to the lyotropic lipid\n"
                        "volume fraction (CH-ETD1 plus Maier-Saupe).\n\n"
                        "Returns `(QField2D, ScalarField2D, list[BechStats])`."),
    method<stokes>("stokes_solve",
                   "stokes_solve(q, params)\n--\n\n"
                   "Solve the 2D incompressible Stokes equation for the active velocity field.\n\n"
                   "Returns the velocity driven by the active stress, by spectral inversion of the\n"
                   "stream-function biharmonic equation."),
    method<k0>("k0_convolution", "k0_convolution(q_rot, params)\n--\n\nApply the K₀ transfer map Q_lip = M_SM(Q_rot)."),
    method<scan>("scan_defects",
                 "scan_defects(q, threshold=1.5707963267948966)\n--\n\n"
                 "Holonomy-based disclination detection.\n\n"
                 "threshold: rotation angle cutoff in radians (default: pi/2)."),
    method<ch_step>("ch_step_etd",
                    "ch_step_etd(phi, q_lip, v, params)\n--\n\n"
                    "Advance the CH field by one ETD1 step.\n\n"
                    "Useful for custom time-loop control from Python (e.g., alternating\n"
                    "parameter sweeps or checkpointing at non-uniform intervals)."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool add_functions2d(PyObject* module) {
    for (PyMethodDef* d = functions; d->ml_name; ++d)
        if (!add_function(module, d)) return false;
    return true;
}

}  // namespace kpy
