#pragma once
// Translation of library failures into Python exceptions.
#include <string>

#include "core/kerror.hpp"
#include "python/py.hpp"

namespace kpy {

// The module's internal-fault type: derived directly from BaseException so
// that a defect is never swallowed by `except Exception`. Created once.
PyObject* internal_fault_type();

// Sets ValueError with the error's display text; returns nullptr.
PyObject* raise_kerror(const kestrin::KError& e);
PyObject* raise(PyObject* type, const std::string& msg);

// Runs a binding body, turning escaping C++ exceptions into Python ones:
// InternalFault (and any other unexpected exception) into the internal-fault
// type, allocation failures into MemoryError.
void translate_current_exception();

template <class F>
auto guarded(F&& f) noexcept -> decltype(f()) {
    try {
        return f();
    } catch (...) {
        translate_current_exception();
        if constexpr (std::is_same_v<decltype(f()), int>) return -1;
        else return nullptr;
    }
}

}  // namespace kpy
