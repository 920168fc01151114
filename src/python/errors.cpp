#include "python/errors.hpp"

#include <new>
#include <stdexcept>

#include "core/internal_fault.hpp"

namespace kpy {

PyObject* internal_fault_type() {
    static PyObject* type = PyErr_NewExceptionWithDoc(
        "kestrin.InternalFault",
        "A violated internal invariant of the library (a defect, or a misuse the argument checks did not catch).\n"
        "Derived from BaseException so that `except Exception` does not hide it.",
        PyExc_BaseException, nullptr);
    return type;
}

PyObject* raise(PyObject* type, const std::string& msg) {
    PyErr_SetString(type, msg.c_str());
    return nullptr;
}

PyObject* raise_kerror(const kestrin::KError& e) { return raise(PyExc_ValueError, e.display()); }

void translate_current_exception() {
    try {
        throw;
    } catch (const kestrin::InternalFault& e) {
        PyObject* t = internal_fault_type();
        if (t) PyErr_SetString(t, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::length_error& e) {
        PyErr_SetString(PyExc_MemoryError, e.what());
    } catch (const std::exception& e) {
        PyObject* t = internal_fault_type();
        if (t) PyErr_SetString(t, e.what());
    } catch (...) {
        PyObject* t = internal_fault_type();
        if (t) PyErr_SetString(t, "unknown C++ exception");
    }
}

}  // namespace kpy
