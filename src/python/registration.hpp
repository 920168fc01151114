#pragma once
// One registration function per group of the module, called in order.
#include "python/py.hpp"

namespace kpy {

// The 2D group: its classes, then its functions.
bool register_2d(PyObject* module);

// Per-file pieces of the 2D group.
bool add_params2d(PyObject* module);
bool add_fields2d(PyObject* module);       // QField2D, ScalarField2D, VelocityField2D
bool add_stats2d(PyObject* module);        // SnapStats, BechStats, DefectInfo
bool add_functions2d(PyObject* module);    // the seven 2D functions

}  // namespace kpy
