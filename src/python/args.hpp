#pragma once
// Argument parsing for vectorcall bindings (METH_FASTCALL | METH_KEYWORDS):
// positional or keyword arguments under the published names, defaults for
// trailing optional parameters, and TypeError for unknown, missing or
// repeated arguments. Conversion of each argument is done by the `convert`
// overloads of convert.hpp, in declaration order, before any library work.
#include <array>
#include <cstddef>
#include <vector>

#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/py.hpp"
#include "python/pytype.hpp"

namespace kpy {

template <std::size_t N>
struct Sig {
    const char* name;                    // callable name used in messages
    std::array<const char*, N> params;   // parameter names in order
    std::size_t required;                // leading parameters without default
};

template <std::size_t N>
constexpr Sig<N> sig(const char* name, const char* const (&params)[N], std::size_t required = N) {
    Sig<N> s{name, {}, required};
    for (std::size_t i = 0; i < N; ++i) s.params[i] = params[i];
    return s;
}
constexpr Sig<0> sig(const char* name) { return Sig<0>{name, {}, 0}; }

// A string literal usable as a template argument (names of generated methods).
template <std::size_t N>
struct Lit {
    char s[N];
    constexpr Lit(const char (&x)[N]) {
        for (std::size_t i = 0; i < N; ++i) s[i] = x[i];
    }
};

// Places each given argument in slots[i] (borrowed), nullptr where absent.
bool collect(const char* fname, const char* const* names, std::size_t n, std::size_t required,
             PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots);

template <std::size_t N, class... Out>
bool parse(const Sig<N>& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Out&... out) {
    static_assert(sizeof...(Out) == N, "one output per parameter");
    std::array<PyObject*, N + 1> slots{};
    if (!collect(s.name, s.params.data(), N, s.required, args, nargs, kwnames, slots.data())) return false;
    std::size_t i = 0;
    bool ok = true;
    // Left-to-right: the first argument that fails to convert is reported.
    ((ok = ok && (slots[i] == nullptr || convert(slots[i], s.params[i], out)), ++i), ...);
    return ok;
}

// Adapts a (tuple, dict) call, as tp_new receives it, to the vectorcall form.
template <class F>
PyObject* call_with_tuple(PyObject* argtuple, PyObject* kwdict, F&& vectorcall_body) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(argtuple);
    const Py_ssize_t nkw = kwdict ? PyDict_GET_SIZE(kwdict) : 0;
    std::vector<PyObject*> stack(static_cast<std::size_t>(nargs + nkw) + 1);
    for (Py_ssize_t i = 0; i < nargs; ++i) stack[static_cast<std::size_t>(i)] = PyTuple_GET_ITEM(argtuple, i);
    Ref kwnames;
    if (nkw > 0) {
        kwnames = Ref::steal(PyTuple_New(nkw));
        if (!kwnames) return nullptr;
        Py_ssize_t pos = 0, k = 0;
        PyObject *key, *value;
        while (PyDict_Next(kwdict, &pos, &key, &value)) {
            Py_INCREF(key);
            PyTuple_SET_ITEM(kwnames.get(), k, key);
            stack[static_cast<std::size_t>(nargs + k)] = value;
            ++k;
        }
    }
    return vectorcall_body(stack.data(), nargs, kwnames.get());
}

}  // namespace kpy

namespace kpy {

template <PyObject* (*Body)(PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* Ctor<Body>::vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
    return guarded([&] { return Body(args, PyVectorcall_NARGS(nargsf), kwnames); });
}

template <PyObject* (*Body)(PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* Ctor<Body>::tuple(PyTypeObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        return call_with_tuple(args, kwargs, [](PyObject* const* a, Py_ssize_t n, PyObject* kw) { return Body(a, n, kw); });
    });
}

// Wraps a binding body so that no C++ exception crosses into CPython.
template <PyObject* (*Body)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>
PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return guarded([&] { return Body(self, args, nargs, kwnames); });
}

template <PyObject* (*Body)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*)>
constexpr PyMethodDef method(const char* name, const char* doc, int extra_flags = 0) {
    return PyMethodDef{name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall<Body>)),
                       METH_FASTCALL | METH_KEYWORDS | extra_flags, doc};
}

}  // namespace kpy
