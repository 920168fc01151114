// The `kestrin` extension module: multi-phase initialisation whose single
// execution step registers every class and function in a fixed order.
#define KESTRIN_IMPORT_NUMPY
#include "python/numpy_api.hpp"
#include "python/errors.hpp"
#include "python/registration.hpp"

namespace {

const char kModuleDoc[] =
    "kestrin -- active nematics simulation library\n"
    "(Python bindings to the compiled C++ core.)\n"
    "\n"
    "Build\n"
    "-----\n"
    "    python -m pip install scikit-build-core numpy\n"
    "    python -m pip install --no-build-isolation -e .\n"
    "    python -c \"import kestrin\"\n"
    "\n"
    "Quick start\n"
    "-----------\n"
    "    import kestrin, numpy as np\n"
    "    p  = kestrin.ActiveNematicParams.default_test()\n"
    "    q0 = kestrin.QField2D.random_perturbation(p.nx, p.ny, p.dx, 0.001, 42)\n"
    "    q, stats = kestrin.run_dry_active_nematic(q0, p, 5000, 100)\n"
    "    S = np.array(q.order_param()).reshape(p.nx, p.ny)\n";

int exec_kestrin(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "kestrin: execution slot was not handed a module");
        return -1;
    }
    if (_import_array() < 0) return -1;
    if (!kpy::internal_fault_type()) return -1;
    // Groups in their published order; the first failure aborts the import.
    return kpy::register_2d(module) ? 0 : -1;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_kestrin)},
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "kestrin", kModuleDoc, 0, nullptr, kSlots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_kestrin(void) { return PyModuleDef_Init(&kModule); }
