#pragma once
// Getters, setters, reprs and lengths generated from record members, so each
// class lists its attributes instead of writing accessor functions.
#include <string>
#include <type_traits>

#include "python/convert.hpp"
#include "python/errors.hpp"
#include "python/pytype.hpp"

namespace kpy {

template <class T, auto M>
PyObject* get_member(PyObject* self, void*) {
    return guarded([&] { return to_python(unwrap<T>(self).*M); });
}

inline int refuse_delete(void* closure) {
    PyErr_Format(PyExc_AttributeError, "cannot delete attribute '%s'", static_cast<const char*>(closure));
    return -1;
}

template <class T, auto M>
int set_member(PyObject* self, PyObject* value, void* closure) {
    if (!value) return refuse_delete(closure);
    using V = std::remove_cvref_t<decltype(unwrap<T>(self).*M)>;
    V v{};
    if (!convert(value, static_cast<const char*>(closure), v)) return -1;
    unwrap<T>(self).*M = v;
    return 0;
}

// Read-only attribute backed by a member.
template <class T, auto M>
constexpr PyGetSetDef ro(const char* name, const char* doc) {
    return {name, &get_member<T, M>, nullptr, doc, const_cast<char*>(name)};
}

// Writable attribute: a plain store of the converted value, no validation.
template <class T, auto M>
constexpr PyGetSetDef rw(const char* name, const char* doc) {
    return {name, &get_member<T, M>, &set_member<T, M>, doc, const_cast<char*>(name)};
}

template <class T, std::string (*F)(const T&)>
PyObject* repr(PyObject* self) {
    return guarded([&] { return to_python(F(unwrap<T>(self))); });
}

template <class T>
Py_ssize_t length(PyObject* self) {
    return static_cast<Py_ssize_t>(unwrap<T>(self).len());
}

}  // namespace kpy

#include "python/args.hpp"

namespace kpy {

// A method without arguments returning a library value of the record.
template <class T, Lit Name, auto F>
PyObject* nullary(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    if (!parse(sig(Name.s), args, nargs, kwnames)) return nullptr;
    return to_python((unwrap<T>(self).*F)());
}

}  // namespace kpy
