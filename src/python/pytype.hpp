#pragma once
// Python classes that each own exactly one library record of type T.
#include <new>
#include <string>
#include <utility>

#include "python/py.hpp"

namespace kpy {

template <class T>
struct Box {
    PyObject_HEAD
    T value;
};

// The cached type object of the class wrapping T (created once per process).
template <class T>
struct TypeOf {
    static inline PyTypeObject* type = nullptr;
    static inline const char* name = "?";
};

template <class T>
T& unwrap(PyObject* o) {
    return reinterpret_cast<Box<T>*>(o)->value;
}

// New Python object of T's class owning `v`; nullptr with an exception set on failure.
template <class T>
PyObject* wrap(T v) {
    PyTypeObject* tp = TypeOf<T>::type;
    PyObject* o = tp->tp_alloc(tp, 0);
    if (!o) return nullptr;
    new (&unwrap<T>(o)) T(std::move(v));
    return o;
}

template <class T>
void box_dealloc(PyObject* self) {
    PyTypeObject* tp = Py_TYPE(self);
    unwrap<T>(self).~T();
    tp->tp_free(self);
    Py_DECREF(tp);
}

struct ClassSpec {
    const char* name;          // bare class name
    const char* doc;           // starts with the constructor's text signature when there is one
    PyMethodDef* methods = nullptr;
    PyGetSetDef* getset = nullptr;
    reprfunc repr = nullptr;
    lenfunc len = nullptr;
    richcmpfunc richcompare = nullptr;
    vectorcallfunc ctor = nullptr;  // nullptr: no Python constructor
    newfunc ctor_tuple = nullptr;   // the same constructor for (tuple, dict) calls
};

// Creates (first time) or reuses the type object and adds it to `module`.
bool add_class_impl(PyObject* module, const ClassSpec& desc, std::size_t basicsize, destructor dealloc,
                    PyTypeObject*& cache);

template <class T>
bool add_class(PyObject* module, const ClassSpec& desc) {
    TypeOf<T>::name = desc.name;
    return add_class_impl(module, desc, sizeof(Box<T>), &box_dealloc<T>, TypeOf<T>::type);
}

// A constructor usable both as the type's vectorcall and as tp_new.
template <PyObject* (*Body)(PyObject* const*, Py_ssize_t, PyObject*)>
struct Ctor {
    static PyObject* vectorcall(PyObject*, PyObject* const* args, std::size_t nargsf, PyObject* kwnames);
    static PyObject* tuple(PyTypeObject*, PyObject* args, PyObject* kwargs);
};

PyObject* add_function(PyObject* module, PyMethodDef* def);

}  // namespace kpy
