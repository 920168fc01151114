// ActiveNematicParams: the validated 2D parameter record.
#include "core/numfmt.hpp"
#include "core/params2d.hpp"
#include "python/args.hpp"
#include "python/members.hpp"
#include "python/registration.hpp"

namespace kpy {
namespace {

using kestrin::ActiveNematicParams;
using P = ActiveNematicParams;

PyObject* construct(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr auto s = sig("ActiveNematicParams",
                                  {"nx", "ny", "dx", "dt", "k_r", "gamma_r", "zeta_eff", "eta", "a_landau",
                                   "c_landau", "lambda_", "k_l", "gamma_l", "xi_l", "noise_amp", "chi_ms",
                                   "kappa_ch", "a_ch", "b_ch", "m_l", "backflow"},
                                  14);
    P p;
    p.noise_amp = 0.0;
    if (!parse(s, args, nargs, kwnames, p.nx, p.ny, p.dx, p.dt, p.k_r, p.gamma_r, p.zeta_eff, p.eta, p.a_landau,
               p.c_landau, p.lambda_, p.k_l, p.gamma_l, p.xi_l, p.noise_amp, p.chi_ms, p.kappa_ch, p.a_ch, p.b_ch,
               p.m_l, p.backflow))
        return nullptr;
    if (auto ok = p.validate(); !ok) return raise_kerror(ok.error());
    return wrap(std::move(p));
}

PyObject* default_test(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (!parse(sig("default_test"), args, nargs, kwnames)) return nullptr;
    return wrap(P::default_test());
}

PyObject* validate(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (!parse(sig("validate"), args, nargs, kwnames)) return nullptr;
    if (auto ok = unwrap<P>(self).validate(); !ok) return raise_kerror(ok.error());
    Py_RETURN_NONE;
}

PyObject* get_zeta_field(PyObject* self, void*) {
    const auto& z = unwrap<P>(self).zeta_field;
    if (!z) Py_RETURN_NONE;
    return guarded([&] { return new_array(z->data(), static_cast<npy_intp>(z->size())); });
}

int set_zeta_field(PyObject* self, PyObject* value, void* closure) {
    if (!value) return refuse_delete(closure);
    return guarded([&]() -> int {
        NdArray<1> arr;
        if (!convert(value, "arr", arr)) return -1;
        P& p = unwrap<P>(self);
        if (arr.size() == 0) {
            p.zeta_field.reset();
        } else {
            const int flags = PyArray_FLAGS(arr.arr());
            if (!(flags & (NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_F_CONTIGUOUS)) || !(flags & NPY_ARRAY_ALIGNED)) {
                PyErr_SetString(PyExc_ValueError, "zeta_field must be contiguous");
                return -1;
            }
            const std::uint64_t n = p.nx * p.ny;
            if (static_cast<std::uint64_t>(arr.size()) != n) {
                PyErr_SetString(PyExc_ValueError,
                                ("zeta_field length " + kestrin::fmt::integer(static_cast<std::uint64_t>(arr.size())) +
                                 " must equal nx*ny = " + kestrin::fmt::integer(n)).c_str());
                return -1;
            }
            p.zeta_field = arr.values();
        }
        // The new field stays stored even when the record as a whole is invalid.
        if (auto ok = p.validate(); !ok) {
            PyErr_SetString(PyExc_ValueError, ("invalid params after set_zeta_field: " + ok.error().debug()).c_str());
            return -1;
        }
        return 0;
    });
}

std::string repr_params(const P& p) {
    using namespace kestrin::fmt;
    return "ActiveNematicParams(nx=" + integer(p.nx) + ", ny=" + integer(p.ny) + ", zeta_eff=" + fixed(p.zeta_eff, 4) +
           ", a_eff=" + fixed(p.a_eff(), 4) + ", Pi=" + fixed(p.pi_number(), 4) + ")";
}

PyMethodDef methods[] = {
    method<default_test>("default_test",
                         "default_test()\n--\n\n"
                         "Preset parameters for tests and demos (64x64 grid, dx 1, dt 0.01, zeta_eff 2, a_eff -1.5).",
                         METH_STATIC),
    method<validate>("validate", "validate($self)\n--\n\nValidate that parameters are physically reasonable."),
    method<nullary<P, "a_eff", &P::a_eff>>("a_eff", "a_eff($self)\n--\n\nEffective Landau parameter a_eff = a_landau - zeta_eff / 2."),
    method<nullary<P, "phi_eq", &P::phi_eq>>("phi_eq", "phi_eq($self)\n--\n\nEquilibrium lipid fraction phi_eq = sqrt(a_ch / b_ch)."),
    method<nullary<P, "ch_coherence_length", &P::ch_coherence_length>>(
        "ch_coherence_length",
        "ch_coherence_length($self)\n--\n\nCahn-Hilliard coherence length xi_CH = sqrt(kappa_ch / a_ch)."),
    method<nullary<P, "defect_length", &P::defect_length>>("defect_length",
                                       "defect_length($self)\n--\n\nDefect length scale ld = sqrt(K_r / zeta_eff)."),
    method<nullary<P, "pi_number", &P::pi_number>>(
        "pi_number",
        "pi_number($self)\n--\n\nDimensionless existence condition Pi = K_r / (Gamma_l * eta * K_l)."),
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef getset[] = {
    rw<P, &P::nx>("nx", "Vertices along x (the slow index)."),
    rw<P, &P::ny>("ny", "Vertices along y (the fast index)."),
    ro<P, &P::dx>("dx", "Grid spacing."),
    rw<P, &P::dt>("dt", "Time step."),
    ro<P, &P::k_r>("k_r", "Elastic constant K_r of the rotor field."),
    ro<P, &P::gamma_r>("gamma_r", "Rotational mobility Gamma_r."),
    rw<P, &P::zeta_eff>("zeta_eff", "Effective activity."),
    ro<P, &P::eta>("eta", "Viscosity."),
    ro<P, &P::a_landau>("a_landau", "Quadratic Landau coefficient."),
    ro<P, &P::c_landau>("c_landau", "Quartic Landau coefficient."),
    ro<P, &P::lambda_>("lambda_", "Flow-alignment parameter."),
    rw<P, &P::noise_amp>("noise_amp", "Langevin noise amplitude (0 switches noise off)."),
    ro<P, &P::k_l>("k_l", "Elastic constant K_l of the lipid order."),
    ro<P, &P::gamma_l>("gamma_l", "Lipid mobility Gamma_l."),
    ro<P, &P::xi_l>("xi_l", "Lipid length xi_l of the K0 map."),
    rw<P, &P::chi_ms>("chi_ms", "Maier-Saupe coupling chi_MS."),
    rw<P, &P::kappa_ch>("kappa_ch", "Cahn-Hilliard gradient coefficient."),
    rw<P, &P::a_ch>("a_ch", "Cahn-Hilliard quadratic coefficient."),
    rw<P, &P::b_ch>("b_ch", "Cahn-Hilliard quartic coefficient."),
    rw<P, &P::m_l>("m_l", "Cahn-Hilliard mobility M_l."),
    {"zeta_field", &get_zeta_field, &set_zeta_field,
     "Spatial activity field (1-D float64, length nx*ny) or None; assign an empty array to clear it.",
     const_cast<char*>("zeta_field")},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

bool add_params2d(PyObject* module) {
    ClassSpec desc{
        .name = "ActiveNematicParams",
        .doc = "ActiveNematicParams(nx, ny, dx, dt, k_r, gamma_r, zeta_eff, eta, a_landau, c_landau, lambda_, k_l, "
               "gamma_l, xi_l, noise_amp=0.0, chi_ms=0.5, kappa_ch=1.0, a_ch=1.0, b_ch=1.0, m_l=0.1, "
               "backflow=False)\n--\n\n"
               "All physical and numerical parameters for the active nematic simulation.",
        .methods = methods,
        .getset = getset,
        .repr = &repr<P, &repr_params>,
        .ctor = &Ctor<&construct>::vectorcall,
        .ctor_tuple = &Ctor<&construct>::tuple,
    };
    return add_class<P>(module, desc);
}

}  // namespace kpy
