#pragma once
// A violated internal invariant (two fields on different grids combined, an
// index out of range). Library errors proper are KError values; this type is
// thrown only for faults that validation at the boundary should have excluded.
#include <stdexcept>
#include <string>

namespace kestrin {

class InternalFault : public std::logic_error {
public:
    explicit InternalFault(const std::string& what) : std::logic_error(what) {}
};

// Checks an invariant and throws InternalFault with `what` when it fails.
inline void require(bool ok, const char* what) {
    if (!ok) throw InternalFault(what);
}

}  // namespace kestrin
