// QField2D, ScalarField2D and VelocityField2D with their NumPy conversions.
#include <cmath>

#include "core/fields2d.hpp"
#include "core/grid2d.hpp"
#include "core/numfmt.hpp"
#include "python/args.hpp"
#include "python/members.hpp"
#include "python/registration.hpp"

namespace kpy {
namespace {

using kestrin::QField2D;
using kestrin::ScalarField2D;
using kestrin::VelocityField2D;
namespace fmt = kestrin::fmt;

// ---- QField2D ---------------------------------------------------------------

PyObject* q_zeros(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    std::uint64_t nx, ny;
    double dx;
    if (!parse(sig("zeros", {"nx", "ny", "dx"}), a, n, kw, nx, ny, dx)) return nullptr;
    return wrap(QField2D::zeros(nx, ny, dx));
}

PyObject* q_uniform(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    std::uint64_t nx, ny;
    double dx, q1, q2;
    if (!parse(sig("uniform", {"nx", "ny", "dx", "q1", "q2"}), a, n, kw, nx, ny, dx, q1, q2)) return nullptr;
    return wrap(QField2D::uniform(nx, ny, {q1, q2}, dx));
}

PyObject* q_random(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    std::uint64_t nx, ny, seed;
    double dx, amp;
    if (!parse(sig("random_perturbation", {"nx", "ny", "dx", "amplitude", "seed"}), a, n, kw, nx, ny, dx, amp, seed))
        return nullptr;
    return wrap(QField2D::random_perturbation(nx, ny, dx, amp, seed));
}

PyObject* q_from_numpy(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    NdArray<2> arr;
    std::uint64_t nx, ny;
    double dx;
    if (!parse(sig("from_numpy", {"arr", "nx", "ny", "dx"}), a, n, kw, arr, nx, ny, dx)) return nullptr;
    const std::uint64_t nv = nx * ny;
    if (static_cast<std::uint64_t>(arr.dim(0)) != nv || arr.dim(1) != 2)
        return raise(PyExc_ValueError, "expected shape (" + fmt::integer(nv) + ", 2), got (" +
                                           fmt::integer(static_cast<std::int64_t>(arr.dim(0))) + ", " +
                                           fmt::integer(static_cast<std::int64_t>(arr.dim(1))) + ")");
    kestrin::checked_storage(nx, ny, 2);
    return wrap(QField2D{arr.values(), nx, ny, dx});
}

PyObject* q_to_numpy(PyObject* self, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    if (!parse(sig("to_numpy"), a, n, kw)) return nullptr;
    const QField2D& q = unwrap<QField2D>(self);
    return new_array(q.data.data(), static_cast<npy_intp>(q.len()), 2);
}

template <class F>
PyObject* per_vertex(const QField2D& q, F&& f) {
    std::vector<double> out(q.len());
    for (std::size_t k = 0; k < out.size(); ++k) out[k] = f(q.q1(k), q.q2(k));
    return new_array(out.data(), static_cast<npy_intp>(out.size()));
}

PyObject* q_order_param(PyObject* self, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    if (!parse(sig("order_param"), a, n, kw)) return nullptr;
    return per_vertex(unwrap<QField2D>(self), [](double q1, double q2) { return 2.0 * std::sqrt(q1 * q1 + q2 * q2); });
}

PyObject* q_director_angle(PyObject* self, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    if (!parse(sig("director_angle"), a, n, kw)) return nullptr;
    return per_vertex(unwrap<QField2D>(self), [](double q1, double q2) { return std::atan2(q2, q1) * 0.5; });
}

std::string q_repr(const QField2D& q) {
    return "QField2D(nx=" + fmt::integer(q.nx) + ", ny=" + fmt::integer(q.ny) + ", dx=" + fmt::fixed(q.dx, 3) +
           ", <S>=" + fmt::fixed(q.mean_order_param(), 4) + ")";
}

PyMethodDef q_methods[] = {
    method<q_zeros>("zeros", "zeros(nx, ny, dx)\n--\n\nField with Q = 0 at every vertex.", METH_STATIC),
    method<q_uniform>("uniform", "uniform(nx, ny, dx, q1, q2)\n--\n\nField with the same (q1, q2) at every vertex.",
                      METH_STATIC),
    method<q_random>("random_perturbation",
                     "random_perturbation(nx, ny, dx, amplitude, seed)\n--\n\n"
                     "Seeded random field, each component uniform in [-amplitude, amplitude].\n"
                     "The same seed gives the same field for the same vertex count.",
                     METH_STATIC),
    method<q_from_numpy>("from_numpy",
                         "from_numpy(arr, nx, ny, dx)\n--\n\n"
                         "Import from a float64 array of shape (nx*ny, 2) (any strides; the data are copied).",
                         METH_STATIC),
    method<q_to_numpy>("to_numpy",
                       "to_numpy($self)\n--\n\nExport as numpy array of shape (nx*ny, 2). Reshape in Python:\n"
                       "    q_arr = q_field.to_numpy().reshape(nx, ny, 2)"),
    method<q_order_param>("order_param",
                          "order_param($self)\n--\n\nScalar order parameter S = 2*sqrt(q1^2 + q2^2), shape (nx*ny,).\n"
                          "Reshape in Python: S = q_field.order_param().reshape(nx, ny)"),
    method<q_director_angle>(
        "director_angle",
        "director_angle($self)\n--\n\nDirector angle theta = atan2(q2, q1)/2 in [-pi/2, pi/2], shape (nx*ny,)."),
    method<nullary<QField2D, "mean_order_param", &QField2D::mean_order_param>>(
        "mean_order_param", "mean_order_param($self)\n--\n\nMean scalar order parameter <S> over the grid."),
    method<nullary<QField2D, "max_norm", &QField2D::max_norm>>(
        "max_norm", "max_norm($self)\n--\n\nLargest sqrt(q1^2 + q2^2) over the vertices (NaN skipped)."),
    {nullptr, nullptr, 0, nullptr},
};

template <class T>
PyGetSetDef* grid_getset() {
    static PyGetSetDef gs[] = {
        ro<T, &T::nx>("nx", "Vertices along x (the slow index i)."),
        ro<T, &T::ny>("ny", "Vertices along y (the fast index j)."),
        ro<T, &T::dx>("dx", "Grid spacing."),
        {nullptr, nullptr, nullptr, nullptr, nullptr},
    };
    return gs;
}

// ---- ScalarField2D ------------------------------------------------------------

PyObject* s_zeros(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    std::uint64_t nx, ny;
    double dx;
    if (!parse(sig("zeros", {"nx", "ny", "dx"}), a, n, kw, nx, ny, dx)) return nullptr;
    return wrap(ScalarField2D::zeros(nx, ny, dx));
}

PyObject* s_uniform(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    std::uint64_t nx, ny;
    double dx, val;
    if (!parse(sig("uniform", {"nx", "ny", "dx", "val"}), a, n, kw, nx, ny, dx, val)) return nullptr;
    return wrap(ScalarField2D::uniform(nx, ny, dx, val));
}

PyObject* s_from_numpy(PyObject*, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    NdArray<1> arr;
    std::uint64_t nx, ny;
    double dx;
    if (!parse(sig("from_numpy", {"arr", "nx", "ny", "dx"}), a, n, kw, arr, nx, ny, dx)) return nullptr;
    const std::uint64_t nv = nx * ny;
    if (static_cast<std::uint64_t>(arr.size()) != nv)
        return raise(PyExc_ValueError, "expected length " + fmt::integer(nv) + ", got " +
                                           fmt::integer(static_cast<std::int64_t>(arr.size())));
    kestrin::checked_storage(nx, ny, 1);
    return wrap(ScalarField2D{arr.values(), nx, ny, dx});
}

PyObject* s_to_numpy(PyObject* self, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    if (!parse(sig("to_numpy"), a, n, kw)) return nullptr;
    const ScalarField2D& f = unwrap<ScalarField2D>(self);
    return new_array(f.data.data(), static_cast<npy_intp>(f.len()));
}

std::string s_repr(const ScalarField2D& f) {
    return "ScalarField2D(nx=" + fmt::integer(f.nx) + ", ny=" + fmt::integer(f.ny) + ", dx=" + fmt::fixed(f.dx, 3) +
           ", <φ>=" + fmt::fixed(f.mean_value(), 4) + ", Var[φ]=" + fmt::sci(f.variance(), 4) + ")";
}

PyMethodDef s_methods[] = {
    method<s_zeros>("zeros", "zeros(nx, ny, dx)\n--\n\nField with value 0 everywhere.", METH_STATIC),
    method<s_uniform>("uniform", "uniform(nx, ny, dx, val)\n--\n\nField with value val everywhere.", METH_STATIC),
    method<s_from_numpy>("from_numpy",
                         "from_numpy(arr, nx, ny, dx)\n--\n\nImport from a 1D numpy array of length nx*ny.",
                         METH_STATIC),
    method<s_to_numpy>("to_numpy",
                       "to_numpy($self)\n--\n\nExport as 1D numpy array of length nx*ny. Reshape in Python to (nx, ny)."),
    method<nullary<ScalarField2D, "mean_value", &ScalarField2D::mean_value>>(
        "mean_value", "mean_value($self)\n--\n\nMean of the values."),
    method<nullary<ScalarField2D, "variance", &ScalarField2D::variance>>(
        "variance", "variance($self)\n--\n\nVariance of the values (two-pass, never negative; NaN reads as 0)."),
    method<nullary<ScalarField2D, "max_value", &ScalarField2D::max_value>>(
        "max_value", "max_value($self)\n--\n\nLargest value, NaN skipped (-inf for an empty field)."),
    method<nullary<ScalarField2D, "min_value", &ScalarField2D::min_value>>(
        "min_value", "min_value($self)\n--\n\nSmallest value, NaN skipped (inf for an empty field)."),
    method<nullary<ScalarField2D, "mean_gradient_sq", &ScalarField2D::mean_gradient_sq>>(
        "mean_gradient_sq",
        "mean_gradient_sq($self)\n--\n\nMean of |grad phi|^2 over the vertices (periodic central differences)."),
    {nullptr, nullptr, 0, nullptr},
};

// ---- VelocityField2D ------------------------------------------------------------

PyObject* v_to_numpy(PyObject* self, PyObject* const* a, Py_ssize_t n, PyObject* kw) {
    if (!parse(sig("to_numpy"), a, n, kw)) return nullptr;
    const VelocityField2D& v = unwrap<VelocityField2D>(self);
    return new_array(v.data.data(), static_cast<npy_intp>(v.len()), 2);
}

std::string v_repr(const VelocityField2D& v) {
    return "VelocityField2D(nx=" + fmt::integer(v.nx) + ", ny=" + fmt::integer(v.ny) + ", dx=" + fmt::fixed(v.dx, 3) +
           ")";
}

PyMethodDef v_methods[] = {
    method<v_to_numpy>("to_numpy",
                       "to_numpy($self)\n--\n\nExport as numpy array of shape (nx*ny, 2). Reshape to (nx, ny, 2) in Python."),
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

bool add_fields2d(PyObject* module) {
    ClassSpec q{
        .name = "QField2D",
        .doc = "2D Q-tensor field with numpy interop.\n\n"
               "Internally a flat array of (q1, q2) vertex values in row-major order (\"i*ny + j\");\n"
               "numpy conversions use a (nx*ny, 2) float64 array, reshaped in Python to (nx, ny, 2).",
        .methods = q_methods,
        .getset = grid_getset<QField2D>(),
        .repr = &repr<QField2D, &q_repr>,
        .len = &length<QField2D>,
    };
    ClassSpec s{
        .name = "ScalarField2D",
        .doc = "2D scalar field φ(x,y) with numpy interop.\n\n"
               "Used for the lipid volume fraction in the BECH simulation.\n"
               "numpy conversions use a 1D array of length nx*ny; reshape in Python to (nx, ny).",
        .methods = s_methods,
        .getset = grid_getset<ScalarField2D>(),
        .repr = &repr<ScalarField2D, &s_repr>,
        .len = &length<ScalarField2D>,
    };
    ClassSpec v{
        .name = "VelocityField2D",
        .doc = "2D velocity field with numpy interop.",
        .methods = v_methods,
        .getset = grid_getset<VelocityField2D>(),
        .repr = &repr<VelocityField2D, &v_repr>,
    };
    return add_class<QField2D>(module, q) && add_class<ScalarField2D>(module, s) &&
           add_class<VelocityField2D>(module, v);
}

}  // namespace kpy
