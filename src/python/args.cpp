#include "python/args.hpp"

#include <cstring>
#include <string>

namespace kpy {

bool collect(const char* fname, const char* const* names, std::size_t n, std::size_t required,
             PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    const std::string f = std::string(fname) + "()";
    if (nargs < 0 || static_cast<std::size_t>(nargs) > n) {
        if (n == 0)
            PyErr_Format(PyExc_TypeError, "%s takes no arguments (%zd given)", f.c_str(), nargs);
        else
            PyErr_Format(PyExc_TypeError, "%s takes at most %zu argument%s (%zd given)", f.c_str(), n,
                         n == 1 ? "" : "s", nargs);
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) slots[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        const char* kname = PyUnicode_AsUTF8(key);
        if (!kname) return false;
        std::size_t idx = n;
        for (std::size_t i = 0; i < n; ++i)
            if (std::strcmp(names[i], kname) == 0) { idx = i; break; }
        if (idx == n) {
            PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%s'", f.c_str(), kname);
            return false;
        }
        if (slots[idx] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s got multiple values for argument '%s'", f.c_str(), kname);
            return false;
        }
        slots[idx] = args[nargs + k];
    }
    for (std::size_t i = 0; i < required; ++i) {
        if (slots[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s missing required argument '%s' (pos %zu)", f.c_str(), names[i], i + 1);
            return false;
        }
    }
    return true;
}

}  // namespace kpy
