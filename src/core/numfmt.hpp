#pragma once
// Number formatting shared by every repr and message, so that all texts spell
// numbers the same way (NaN, inf, -inf; exponents without '+' or padding).
#include <cstdint>
#include <string>

namespace kestrin::fmt {

// Shortest text that reads back to the same double, never in exponent form
// ("{}"): 2.0 -> "2", 0.1 -> "0.1".
std::string shortest(double v);
// Debugging form: shortest round-trip text that always carries a decimal
// point ("{:?}"): -1.0 -> "-1.0".
std::string debug(double v);
// Fixed notation with `decimals` digits after the point ("{:.N}").
std::string fixed(double v, int decimals);
// Scientific notation with `decimals` digits, exponent as e-3 / e2 ("{:.Ne}").
std::string sci(double v, int decimals);
std::string integer(std::uint64_t v);
std::string integer(std::int64_t v);

}  // namespace kestrin::fmt
