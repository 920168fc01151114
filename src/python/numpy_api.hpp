#pragma once
// The NumPy C API table lives in module.cpp (which defines
// KESTRIN_IMPORT_NUMPY before including this); every other file uses it.
#include "python/py.hpp"

#define PY_ARRAY_UNIQUE_SYMBOL kestrin_numpy_api
#ifndef KESTRIN_IMPORT_NUMPY
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>
