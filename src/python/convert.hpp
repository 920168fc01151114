#pragma once
// Conversions between Python objects and library values, with the module's
// conventions: unsigned 64-bit sizes and seeds, floats from anything that
// converts to float, flags that are real bools, class arguments of the exact
// class, float64 arrays of a fixed dimensionality (any strides, no casting),
// and new owning C-ordered arrays out. Failures set the exception, prefixed
// "argument 'NAME': ", and return false.
#include <cstdint>
#include <string>
#include <vector>

#include "python/numpy_api.hpp"
#include "python/pytype.hpp"

namespace kpy {

// Sets `type` with "argument 'NAME': " + the pending (or given) message.
bool argument_error(const char* name, PyObject* type, const std::string& msg);
bool reraise_with_argument(const char* name);

bool convert(PyObject* o, const char* name, std::uint64_t& out);
bool convert(PyObject* o, const char* name, double& out);
bool convert(PyObject* o, const char* name, bool& out);

template <class T>
bool convert(PyObject* o, const char* name, const T*& out) {
    if (Py_TYPE(o) != TypeOf<T>::type)
        return argument_error(name, PyExc_TypeError,
                              std::string("expected ") + TypeOf<T>::name + ", got " + Py_TYPE(o)->tp_name);
    out = &unwrap<T>(o);
    return true;
}

// A float64 NumPy array of exactly ND dimensions, referenced for the
// duration of a call and copied out by `values`.
template <int ND>
struct NdArray {
    Ref obj;
    PyArrayObject* arr() const { return reinterpret_cast<PyArrayObject*>(obj.get()); }
    npy_intp dim(int i) const { return PyArray_DIM(arr(), i); }
    npy_intp size() const { return PyArray_SIZE(arr()); }
    // Elements in row-major order, whatever the strides.
    std::vector<double> values() const;
};

bool check_array(PyObject* o, const char* name, int nd);
std::vector<double> copy_array(PyArrayObject* a);

template <int ND>
bool convert(PyObject* o, const char* name, NdArray<ND>& out) {
    if (!check_array(o, name, ND)) return false;
    out.obj = Ref::borrow(o);
    return true;
}

template <int ND>
std::vector<double> NdArray<ND>::values() const {
    return copy_array(arr());
}

// New writable, C-ordered, owning float64 arrays holding a copy of `data`.
PyObject* new_array(const double* data, npy_intp n);
PyObject* new_array(const double* data, npy_intp n0, npy_intp n1);

inline PyObject* to_python(double v) { return PyFloat_FromDouble(v); }
inline PyObject* to_python(std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }
inline PyObject* to_python(std::int64_t v) { return PyLong_FromLongLong(v); }
inline PyObject* to_python(std::int8_t v) { return PyLong_FromLong(v); }
inline PyObject* to_python(bool v) { return PyBool_FromLong(v); }
inline PyObject* to_python(const std::string& s) {
    return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

// A Python list built from a range, each element converted by `conv`.
template <class Range, class Conv>
PyObject* to_list(const Range& r, Conv&& conv) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(r))));
    if (!list) return nullptr;
    Py_ssize_t i = 0;
    for (const auto& x : r) {
        PyObject* item = conv(x);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), i++, item);
    }
    return list.release();
}

}  // namespace kpy
