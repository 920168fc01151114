// Read-only statistics records of the 2D runs and the defect scan.
#include "core/numfmt.hpp"
#include "fd/bech_stats.hpp"
#include "fd/snap_stats.hpp"
#include "python/members.hpp"
#include "python/registration.hpp"
#include "topology/defect_scan2d.hpp"

namespace kpy {
namespace {

using kestrin::BechStats;
using kestrin::DefectInfo;
using kestrin::SnapStats;
namespace fmt = kestrin::fmt;

std::string snap_repr(const SnapStats& s) {
    return "SnapStats(t=" + fmt::fixed(s.time, 3) + ", <S>=" + fmt::fixed(s.mean_s, 4) +
           ", n_def=" + fmt::integer(s.n_defects) + ", rho_d=" + fmt::sci(s.defect_density, 4) + ")";
}

PyGetSetDef snap_getset[] = {
    ro<SnapStats, &SnapStats::time>("time", "Simulation time of the snapshot (dt times the step index)."),
    ro<SnapStats, &SnapStats::mean_s>("mean_s", "Mean scalar order parameter <S>."),
    ro<SnapStats, &SnapStats::n_plus>("n_plus", "Defects whose director winds by +1/2."),
    ro<SnapStats, &SnapStats::n_minus>("n_minus", "Defects whose director winds by -1/2."),
    ro<SnapStats, &SnapStats::n_defects>("n_defects", "Defects found by the holonomy scan at threshold pi/2."),
    ro<SnapStats, &SnapStats::defect_density>("defect_density", "n_defects divided by the domain area."),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

std::string bech_repr(const BechStats& s) {
    return "BechStats(t=" + fmt::fixed(s.time, 3) + ", <S>=" + fmt::fixed(s.mean_s, 4) +
           ", n_def=" + fmt::integer(s.n_defects) + ", <φ>=" + fmt::fixed(s.mean_phi, 4) +
           ", Var[φ]=" + fmt::sci(s.phi_variance, 4) + ")";
}

PyGetSetDef bech_getset[] = {
    ro<BechStats, &BechStats::time>("time", "Simulation time of the snapshot (dt times the step index)."),
    ro<BechStats, &BechStats::mean_s>("mean_s", "Mean scalar order parameter <S>."),
    ro<BechStats, &BechStats::n_plus>("n_plus", "Defects whose director winds by +1/2."),
    ro<BechStats, &BechStats::n_minus>("n_minus", "Defects whose director winds by -1/2."),
    ro<BechStats, &BechStats::mean_phi>("mean_phi", "Mean lipid fraction <phi>."),
    ro<BechStats, &BechStats::n_defects>("n_defects", "Defects found by the holonomy scan at threshold pi/2."),
    ro<BechStats, &BechStats::phi_variance>("phi_variance", "Variance of phi."),
    ro<BechStats, &BechStats::defect_density>("defect_density", "n_defects divided by the domain area."),
    ro<BechStats, &BechStats::mean_grad_phi_sq>("mean_grad_phi_sq", "Mean of |grad phi|^2."),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyObject* get_plaquette(PyObject* self, void*) {
    const DefectInfo& d = unwrap<DefectInfo>(self);
    return Py_BuildValue("(KK)", static_cast<unsigned long long>(d.i), static_cast<unsigned long long>(d.j));
}

std::string defect_repr(const DefectInfo& d) {
    return "DefectInfo(plaquette=(" + fmt::integer(d.i) + "," + fmt::integer(d.j) + "), angle=" +
           fmt::fixed(d.angle, 3) + ", charge=" + fmt::integer(static_cast<std::int64_t>(d.charge_sign)) + ")";
}

PyGetSetDef defect_getset[] = {
    {"plaquette", &get_plaquette, nullptr, "Plaquette (i, j) whose corner (i, j) is the lowest vertex.",
     const_cast<char*>("plaquette")},
    ro<DefectInfo, &DefectInfo::angle>("angle", "Rotation angle of the holonomy around the plaquette, radians."),
    ro<DefectInfo, &DefectInfo::charge_sign>("charge_sign", "+1 for a +1/2 defect, -1 for a -1/2 defect."),
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

bool add_stats2d(PyObject* module) {
    ClassSpec snap{
        .name = "SnapStats",
        .doc = "Per-snapshot statistics from a simulation run.",
        .getset = snap_getset,
        .repr = &repr<SnapStats, &snap_repr>,
    };
    ClassSpec bech{
        .name = "BechStats",
        .doc = "Per-snapshot statistics from a BECH (full two-field) simulation run.",
        .getset = bech_getset,
        .repr = &repr<BechStats, &bech_repr>,
    };
    ClassSpec defect{
        .name = "DefectInfo",
        .doc = "Detected topological disclination with plaquette location and charge.",
        .getset = defect_getset,
        .repr = &repr<DefectInfo, &defect_repr>,
    };
    return add_class<SnapStats>(module, snap) && add_class<BechStats>(module, bech) &&
           add_class<DefectInfo>(module, defect);
}

}  // namespace kpy
