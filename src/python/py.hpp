#pragma once
// CPython headers and an owned-reference handle for the binding layer.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace kpy {

// Owns one strong reference; releases it on destruction.
class Ref {
public:
    Ref() = default;
    static Ref steal(PyObject* o) { Ref r; r.p_ = o; return r; }
    static Ref borrow(PyObject* o) { Py_XINCREF(o); return steal(o); }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    Ref& operator=(Ref&& o) noexcept {
        if (this != &o) { Py_XDECREF(p_); p_ = std::exchange(o.p_, nullptr); }
        return *this;
    }
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const { return p_; }
    PyObject* release() { return std::exchange(p_, nullptr); }
    explicit operator bool() const { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

}  // namespace kpy
