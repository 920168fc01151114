#include "core/kerror.hpp"

#include "core/numfmt.hpp"

namespace kestrin {
namespace {
template <class... F> struct Overload : F... { using F::operator()...; };
template <class... F> Overload(F...) -> Overload<F...>;

std::string quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}
}  // namespace

std::string KError::display() const {
    return std::visit(Overload{
        [](const DimensionMismatch& e) {
            return "dimension mismatch: expected " + fmt::integer(e.expected) + ", got " + fmt::integer(e.got);
        },
        [](const ConvergenceFailure& e) {
            return "convergence failure after " + fmt::integer(e.iters) + " iterations (residual = " +
                   fmt::sci(e.residual, 3) + ")";
        },
        [](const InvalidParams& e) { return "invalid parameter: " + e.message; },
        [](const Io& e) { return "I/O error: " + e.message; },
    }, v_);
}

std::string KError::debug() const {
    return std::visit(Overload{
        [](const DimensionMismatch& e) {
            return "DimensionMismatch { expected: " + fmt::integer(e.expected) + ", got: " + fmt::integer(e.got) + " }";
        },
        [](const ConvergenceFailure& e) {
            return "ConvergenceFailure { iters: " + fmt::integer(e.iters) + ", residual: " + fmt::debug(e.residual) + " }";
        },
        [](const InvalidParams& e) { return "InvalidParams(" + quoted(e.message) + ")"; },
        [](const Io& e) { return "Io(" + quoted(e.message) + ")"; },
    }, v_);
}

std::string Screening::debug() const {
    return has_length ? "Length(" + fmt::debug(length) + ")" : "None";
}

}  // namespace kestrin
