#include "python/convert.hpp"

#include <cstring>

namespace kpy {

bool argument_error(const char* name, PyObject* type, const std::string& msg) {
    PyErr_Format(type, "argument '%s': %s", name, msg.c_str());
    return false;
}

bool reraise_with_argument(const char* name) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    Ref t = Ref::steal(type), v = Ref::steal(value), b = Ref::steal(tb);
    Ref text = Ref::steal(v ? PyObject_Str(v.get()) : nullptr);
    const char* msg = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (!msg) {
        PyErr_Clear();
        msg = "conversion failed";
    }
    return argument_error(name, t ? t.get() : PyExc_TypeError, msg);
}

bool convert(PyObject* o, const char* name, std::uint64_t& out) {
    // Anything with __index__ (Python ints, NumPy integers); a float or a
    // string is a TypeError, a negative or too large value an OverflowError.
    Ref idx = Ref::steal(PyNumber_Index(o));
    if (!idx) return reraise_with_argument(name);
    const unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return reraise_with_argument(name);
    out = v;
    return true;
}

bool convert(PyObject* o, const char* name, double& out) {
    const double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) return reraise_with_argument(name);
    out = v;
    return true;
}

bool convert(PyObject* o, const char* name, bool& out) {
    if (!PyBool_Check(o))
        return argument_error(name, PyExc_TypeError,
                              std::string("'") + Py_TYPE(o)->tp_name + "' object is not an instance of 'bool'");
    out = (o == Py_True);
    return true;
}

bool check_array(PyObject* o, const char* name, int nd) {
    const std::string want = std::to_string(nd) + "-D float64 NumPy array";
    if (!PyArray_Check(o))
        return argument_error(name, PyExc_TypeError, "expected a " + want + ", got " + Py_TYPE(o)->tp_name);
    auto* a = reinterpret_cast<PyArrayObject*>(o);
    PyArray_Descr* d = PyArray_DESCR(a);
    if (d->type_num != NPY_DOUBLE || !PyArray_ISNOTSWAPPED(a)) {
        Ref s = Ref::steal(PyObject_Str(reinterpret_cast<PyObject*>(d)));
        const char* dn = s ? PyUnicode_AsUTF8(s.get()) : nullptr;
        if (!dn) { PyErr_Clear(); dn = "?"; }
        return argument_error(name, PyExc_TypeError, "expected a " + want + ", got dtype " + dn);
    }
    if (PyArray_NDIM(a) != nd)
        return argument_error(name, PyExc_TypeError,
                              "expected a " + want + ", got " + std::to_string(PyArray_NDIM(a)) + " dimension(s)");
    return true;
}

std::vector<double> copy_array(PyArrayObject* a) {
    const npy_intp n = PyArray_SIZE(a);
    std::vector<double> out(static_cast<std::size_t>(n));
    if (n == 0) return out;
    if (PyArray_IS_C_CONTIGUOUS(a) && PyArray_ISALIGNED(a)) {
        std::memcpy(out.data(), PyArray_DATA(a), static_cast<std::size_t>(n) * sizeof(double));
        return out;
    }
    // Arbitrary strides (views, Fortran order, unaligned): walk the index
    // space in row-major order.
    const int nd = PyArray_NDIM(a);
    const npy_intp* dims = PyArray_DIMS(a);
    const npy_intp* strides = PyArray_STRIDES(a);
    const char* base = static_cast<const char*>(PyArray_DATA(a));
    std::vector<npy_intp> idx(static_cast<std::size_t>(nd), 0);
    for (npy_intp k = 0; k < n; ++k) {
        npy_intp off = 0;
        for (int d = 0; d < nd; ++d) off += idx[static_cast<std::size_t>(d)] * strides[d];
        std::memcpy(&out[static_cast<std::size_t>(k)], base + off, sizeof(double));
        for (int d = nd - 1; d >= 0; --d) {
            if (++idx[static_cast<std::size_t>(d)] < dims[d]) break;
            idx[static_cast<std::size_t>(d)] = 0;
        }
    }
    return out;
}

PyObject* new_array(const double* data, npy_intp n) {
    npy_intp dims[1] = {n};
    PyObject* a = PyArray_SimpleNew(1, dims, NPY_DOUBLE);
    if (a && n > 0) std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(a)), data, static_cast<std::size_t>(n) * sizeof(double));
    return a;
}

PyObject* new_array(const double* data, npy_intp n0, npy_intp n1) {
    npy_intp dims[2] = {n0, n1};
    PyObject* a = PyArray_SimpleNew(2, dims, NPY_DOUBLE);
    if (a && n0 * n1 > 0)
        std::memcpy(PyArray_DATA(reinterpret_cast<PyArrayObject*>(a)), data, static_cast<std::size_t>(n0 * n1) * sizeof(double));
    return a;
}

}  // namespace kpy
