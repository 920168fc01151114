#pragma once
// Seeded Gaussian noise: xoshiro256++ seeded by SplitMix64, Box-Muller pairs.
#include <array>
#include <cstdint>
#include <span>

namespace kestrin {

// SplitMix64 finaliser of one 64-bit word.
std::uint64_t splitmix64_mix(std::uint64_t z);

class LangevinNoise {
public:
    // State words s_k = mix(x + k*0x9E3779B97F4A7C15), k = 1..4.
    static LangevinNoise from_seed(std::uint64_t x);
    // Seed base ^ (a * 0x5851F42D4C957F2D) ^ (b * 0x14057B7EF767814F).
    static LangevinNoise per_run_seed(std::uint64_t a, std::uint64_t b, std::uint64_t base);
    // Seed a ^ b.
    static LangevinNoise per_step_seed(std::uint64_t a, std::uint64_t b);

    std::uint64_t next_u64();
    // Uniform in [0, 1): (next >> 11) * 2^-53.
    double next_uniform();
    // One Box-Muller pair (cosine, sine) of standard normals.
    std::array<double, 2> gaussian_pair();
    // Gaussian numbers of standard deviation amp*sqrt(dt), written in pairs;
    // an odd last element is left untouched and len < 2 draws nothing.
    void fill_pairs(std::span<double> out, double amp, double dt);
    // Five independent standard normals from three pairs (the last sine dropped).
    std::array<double, 5> fill5();

    const std::array<std::uint64_t, 4>& state() const { return s_; }

private:
    std::array<std::uint64_t, 4> s_{};
};

}  // namespace kestrin
