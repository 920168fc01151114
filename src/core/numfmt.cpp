#include "core/numfmt.hpp"

#include <charconv>
#include <cmath>
#include <system_error>

namespace kestrin::fmt {
namespace {

// Fixed-notation shortest output of a double may need ~330 characters
// (1e308 written out in full, or 1e-320 with its leading zeros).
constexpr std::size_t kBuf = 400;

bool special(double v, std::string& out) {
    if (std::isnan(v)) { out = "NaN"; return true; }
    if (std::isinf(v)) { out = v > 0 ? "inf" : "-inf"; return true; }
    return false;
}

}  // namespace

std::string shortest(double v) {
    std::string s;
    if (special(v, s)) return s;
    char buf[kBuf];
    auto r = std::to_chars(buf, buf + kBuf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

std::string debug(double v) {
    std::string s = shortest(v);
    if (std::isfinite(v) && s.find('.') == std::string::npos) s += ".0";
    return s;
}

std::string fixed(double v, int decimals) {
    std::string s;
    if (special(v, s)) return s;
    char buf[kBuf];
    auto r = std::to_chars(buf, buf + kBuf, v, std::chars_format::fixed, decimals);
    return std::string(buf, r.ptr);
}

std::string sci(double v, int decimals) {
    std::string s;
    if (special(v, s)) return s;
    char buf[kBuf];
    auto r = std::to_chars(buf, buf + kBuf, v, std::chars_format::scientific, decimals);
    std::string t(buf, r.ptr);
    // to_chars writes e+02 / e-03; the house style is e2 / e-3.
    auto e = t.find('e');
    std::string mant = t.substr(0, e);
    std::string ex = t.substr(e + 1);
    bool neg = !ex.empty() && ex[0] == '-';
    if (!ex.empty() && (ex[0] == '-' || ex[0] == '+')) ex.erase(0, 1);
    auto nz = ex.find_first_not_of('0');
    ex = nz == std::string::npos ? "0" : ex.substr(nz);
    return mant + "e" + (neg ? "-" : "") + ex;
}

std::string integer(std::uint64_t v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::string integer(std::int64_t v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace kestrin::fmt
