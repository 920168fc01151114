#include "python/registration.hpp"

namespace kpy {

bool register_2d(PyObject* module) {
    return add_params2d(module) && add_fields2d(module) && add_stats2d(module) && add_functions2d(module);
}

}  // namespace kpy
