#include "core/noise.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kestrin {
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// xoshiro256++ step on local copies of the state words.
inline std::uint64_t xoshiro_next(std::uint64_t& s0, std::uint64_t& s1, std::uint64_t& s2, std::uint64_t& s3) {
    const std::uint64_t result = rotl(s0 + s3, 23) + s0;
    const std::uint64_t t = s1 << 17;
    s2 ^= s0;
    s3 ^= s1;
    s1 ^= s2;
    s0 ^= s3;
    s2 ^= t;
    s3 = rotl(s3, 45);
    return result;
}

inline double to_unit(std::uint64_t x) { return static_cast<double>(x >> 11) * 0x1.0p-53; }

// Box-Muller: r = sqrt(-2 ln u1) (u1 floored at the smallest normal double so
// that ln never sees 0), angle 2 pi u2; the pair is (r cos, r sin).
inline void box_muller(double u1, double u2, double& c, double& s) {
    const double r = std::sqrt(-2.0 * std::log(std::max(u1, 0x1.0p-1022)));
    const double theta = 2.0 * std::numbers::pi * u2;
    c = r * std::cos(theta);
    s = r * std::sin(theta);
}

}  // namespace

std::uint64_t splitmix64_mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

LangevinNoise LangevinNoise::from_seed(std::uint64_t x) {
    LangevinNoise n;
    for (int k = 0; k < 4; ++k) n.s_[k] = splitmix64_mix(x + static_cast<std::uint64_t>(k + 1) * kGolden);
    return n;
}

LangevinNoise LangevinNoise::per_run_seed(std::uint64_t a, std::uint64_t b, std::uint64_t base) {
    return from_seed(base ^ (a * 0x5851F42D4C957F2DULL) ^ (b * 0x14057B7EF767814FULL));
}

LangevinNoise LangevinNoise::per_step_seed(std::uint64_t a, std::uint64_t b) { return from_seed(a ^ b); }

std::uint64_t LangevinNoise::next_u64() { return xoshiro_next(s_[0], s_[1], s_[2], s_[3]); }

double LangevinNoise::next_uniform() { return to_unit(next_u64()); }

std::array<double, 2> LangevinNoise::gaussian_pair() {
    const double u1 = next_uniform();
    const double u2 = next_uniform();
    std::array<double, 2> p{};
    box_muller(u1, u2, p[0], p[1]);
    return p;
}

void LangevinNoise::fill_pairs(std::span<double> out, double amp, double dt) {
    const std::size_t len = out.size();
    if (len < 2) return;
    const double sigma = amp * std::sqrt(dt);
    std::uint64_t s0 = s_[0], s1 = s_[1], s2 = s_[2], s3 = s_[3];
    for (std::size_t k = 0; 2 * k + 1 < len; ++k) {
        const double u1 = to_unit(xoshiro_next(s0, s1, s2, s3));
        const double u2 = to_unit(xoshiro_next(s0, s1, s2, s3));
        double c, s;
        box_muller(u1, u2, c, s);
        out[2 * k] = sigma * c;
        out[2 * k + 1] = sigma * s;
    }
    s_ = {s0, s1, s2, s3};
}

std::array<double, 5> LangevinNoise::fill5() {
    const auto a = gaussian_pair();
    const auto b = gaussian_pair();
    const auto c = gaussian_pair();
    return {a[0], a[1], b[0], b[1], c[0]};
}

}  // namespace kestrin
