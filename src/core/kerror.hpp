#pragma once
// The library's error value. Every fallible operation returns
// std::expected<T, KError>; the Python layer turns it into an exception.
#include <cstdint>
#include <expected>
#include <string>
#include <variant>

namespace kestrin {

struct DimensionMismatch { std::uint64_t expected; std::uint64_t got; };
struct ConvergenceFailure { std::uint64_t iters; double residual; };
struct InvalidParams { std::string message; };
struct Io { std::string message; };

class KError {
public:
    using Variant = std::variant<DimensionMismatch, ConvergenceFailure, InvalidParams, Io>;

    KError(DimensionMismatch v) : v_(v) {}
    KError(ConvergenceFailure v) : v_(v) {}
    KError(InvalidParams v) : v_(std::move(v)) {}
    KError(Io v) : v_(std::move(v)) {}

    static KError invalid(std::string msg) { return InvalidParams{std::move(msg)}; }
    static KError io(std::string msg) { return Io{std::move(msg)}; }

    const Variant& variant() const { return v_; }
    // User-facing text, e.g. "invalid parameter: dt must be positive".
    std::string display() const;
    // Debugging form, e.g. InvalidParams("dt must be positive") or
    // DimensionMismatch { expected: 4, got: 3 }.
    std::string debug() const;

    friend bool operator==(const KError&, const KError&) = default;

private:
    Variant v_;
};

inline bool operator==(const DimensionMismatch& a, const DimensionMismatch& b) { return a.expected == b.expected && a.got == b.got; }
inline bool operator==(const ConvergenceFailure& a, const ConvergenceFailure& b) { return a.iters == b.iters && a.residual == b.residual; }
inline bool operator==(const InvalidParams& a, const InvalidParams& b) { return a.message == b.message; }
inline bool operator==(const Io& a, const Io& b) { return a.message == b.message; }

template <class T>
using KResult = std::expected<T, KError>;
using KStatus = std::expected<void, KError>;

// Hydrodynamic screening option of the 2D parameter record: none, or a
// screening length.
struct Screening {
    bool has_length = false;
    double length = 0.0;
    static Screening none() { return {}; }
    static Screening with_length(double l) { return {true, l}; }
    std::string debug() const;
};

}  // namespace kestrin
