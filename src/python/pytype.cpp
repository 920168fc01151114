#include "python/pytype.hpp"

#include <cstring>
#include <string>
#include <vector>

namespace kpy {

bool add_class_impl(PyObject* module, const ClassSpec& desc, std::size_t basicsize, destructor dealloc,
                    PyTypeObject*& cache) {
    if (!cache) {
        std::vector<PyType_Slot> slots;
        slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
        slots.push_back({Py_tp_doc, const_cast<char*>(desc.doc)});
        if (desc.methods) slots.push_back({Py_tp_methods, desc.methods});
        if (desc.getset) slots.push_back({Py_tp_getset, desc.getset});
        if (desc.repr) slots.push_back({Py_tp_repr, reinterpret_cast<void*>(desc.repr)});
        if (desc.len) slots.push_back({Py_sq_length, reinterpret_cast<void*>(desc.len)});
        if (desc.richcompare) slots.push_back({Py_tp_richcompare, reinterpret_cast<void*>(desc.richcompare)});
        if (desc.ctor_tuple) slots.push_back({Py_tp_new, reinterpret_cast<void*>(desc.ctor_tuple)});
        slots.push_back({0, nullptr});

        unsigned int flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
        if (!desc.ctor_tuple) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
        // Created under the dotted name so that __module__ is "kestrin" (a bare
        // name would leave it "builtins", breaking introspection and pickling);
        // the type's own name is then the bare class name, which points into
        // the same stored string, so messages and reprs show "QField2D".
        const std::string dotted = std::string("kestrin.") + desc.name;
        PyType_Spec ts{dotted.c_str(), static_cast<int>(basicsize), 0, flags, slots.data()};
        PyObject* t = PyType_FromSpec(&ts);
        if (!t) return false;
        auto* tp = reinterpret_cast<PyTypeObject*>(t);
        tp->tp_name = std::strrchr(tp->tp_name, '.') + 1;
        // Calling the class goes through the fast path with keywords.
        if (desc.ctor) tp->tp_vectorcall = desc.ctor;
        PyType_Modified(tp);
        cache = tp;
    }
    return PyModule_AddObjectRef(module, desc.name, reinterpret_cast<PyObject*>(cache)) == 0;
}

PyObject* add_function(PyObject* module, PyMethodDef* def) {
    Ref name = Ref::steal(PyUnicode_FromString("kestrin"));
    if (!name) return nullptr;
    Ref f = Ref::steal(PyCFunction_NewEx(def, nullptr, name.get()));
    if (!f) return nullptr;
    if (PyModule_AddObjectRef(module, def->ml_name, f.get()) < 0) return nullptr;
    return f.get();
}

}  // namespace kpy
