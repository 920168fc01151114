// The 2D model functions.
#include "python/args.hpp"
#include "python/registration.hpp"

namespace kpy {

bool add_functions2d(PyObject*) { return true; }

}  // namespace kpy
