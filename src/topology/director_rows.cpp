// The kernels pass vectors of doubles by value only to helpers that are
// inlined into them, so the calling convention this warning is about never
// applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "topology/director_rows.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>

#include "core/simd_lanes.hpp"
#include "topology/frames.hpp"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace kestrin {
namespace {

using simd::load;
using simd::load_pairs;
using simd::store;
using simd::Vec2;
using simd::Vec4;
using simd::Vec8;

// fabs and copysign lane by lane, on the sign bit as the scalar functions do.
template <class V>
using MaskOf = decltype(V{} < V{});

template <class V>
[[gnu::always_inline]] inline V abs_lanes(const V& v) {
    using M = MaskOf<V>;
    return (V)((M)v & ~(M{} + INT64_MIN));
}

template <class V>
[[gnu::always_inline]] inline V copysign_lanes(const V& magnitude, const V& sign) {
    using M = MaskOf<V>;
    const M bit = M{} + INT64_MIN;
    return (V)(((M)magnitude & ~bit) | ((M)sign & bit));
}

#if defined(__x86_64__)
// Per instruction set: the correctly rounded square root of every lane, the
// bit mask of the lanes where a < b (false for NaN), and that of the lanes
// outside [lo, hi] (true for NaN).
struct IsaSse2 {
    static constexpr std::size_t lanes = 2;
    using V = Vec2;
    [[gnu::always_inline]] static V sqrt(V x) { return _mm_sqrt_pd(x); }
    [[gnu::always_inline]] static unsigned less(V a, V b) {
        return static_cast<unsigned>(_mm_movemask_pd(_mm_cmplt_pd(a, b)));
    }
    [[gnu::always_inline]] static unsigned outside(V x, double lo, double hi) {
        return static_cast<unsigned>(
            _mm_movemask_pd(_mm_or_pd(_mm_cmpnge_pd(x, _mm_set1_pd(lo)), _mm_cmpnle_pd(x, _mm_set1_pd(hi)))));
    }
};

struct IsaAvx2 {
    static constexpr std::size_t lanes = 4;
    using V = Vec4;
    [[gnu::target("avx2")]] static V sqrt(V x) { return _mm256_sqrt_pd(x); }
    [[gnu::target("avx2")]] static unsigned less(V a, V b) {
        return static_cast<unsigned>(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_LT_OQ)));
    }
    [[gnu::target("avx2")]] static unsigned outside(V x, double lo, double hi) {
        return static_cast<unsigned>(_mm256_movemask_pd(_mm256_or_pd(
            _mm256_cmp_pd(x, _mm256_set1_pd(lo), _CMP_NGE_UQ), _mm256_cmp_pd(x, _mm256_set1_pd(hi), _CMP_NLE_UQ))));
    }
};

struct IsaAvx512 {
    static constexpr std::size_t lanes = 8;
    using V = Vec8;
    [[gnu::target("avx512f")]] static V sqrt(V x) { return _mm512_mask_sqrt_pd(x, 0xFF, x); }
    [[gnu::target("avx512f")]] static unsigned less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    [[gnu::target("avx512f")]] static unsigned outside(V x, double lo, double hi) {
        return _mm512_cmp_pd_mask(x, _mm512_set1_pd(lo), _CMP_NGE_UQ) |
               _mm512_cmp_pd_mask(x, _mm512_set1_pd(hi), _CMP_NLE_UQ);
    }
};
#endif

// Scalar stand-in where no vector set is known: everything runs in the tails.
struct IsaScalar {
    static constexpr std::size_t lanes = 1;
};

constexpr double kNormLo = 1e-150, kNormHi = 1e150;
constexpr double kNearTie = 4e-12;

// The half-angle directions of a row and its `below` bits (zeroed by the
// caller); true when some vertex is outside the range where they are computed
// this way (see director_row). Vector chunks start at multiples of the lane
// count, which divides 64, so a chunk's bits never straddle two words.
template <class Isa>
[[gnu::always_inline]] inline bool director_row_lanes(const double* q, std::size_t n, double* x, double* y,
                                                      std::uint64_t* below) {
    constexpr std::size_t L = Isa::lanes;
    unsigned outside = 0;
    std::size_t j = 0;
    if constexpr (L > 1) {
        using V = typename Isa::V;
        using M = MaskOf<V>;
        for (; j + L <= n; j += L) {
            V q1, q2;
            load_pairs(q + 2 * j, q1, q2, std::make_index_sequence<L>{});
            const V norm = Isa::sqrt(q1 * q1 + q2 * q2);
            const M right = q1 >= 0.0;
            const V dy = right ? q2 : copysign_lanes(norm - q1, q2);
            store(x + j, right ? norm + q1 : abs_lanes(q2));
            store(y + j, dy);
            below[j / 64] |= static_cast<std::uint64_t>(Isa::less(dy, V{})) << (j % 64);
            outside |= Isa::outside(norm, kNormLo, kNormHi);
        }
    }
    for (; j < n; ++j) {
        const double q1 = q[2 * j], q2 = q[2 * j + 1];
        const double norm = std::sqrt(q1 * q1 + q2 * q2);
        const bool right = q1 >= 0.0;
        x[j] = right ? norm + q1 : std::fabs(q2);
        y[j] = right ? q2 : std::copysign(norm - q1, q2);
        below[j / 64] |= static_cast<std::uint64_t>(y[j] < 0.0) << (j % 64);
        outside |= !(norm >= kNormLo && norm <= kNormHi);
    }
    return outside != 0;
}

template <class Isa>
[[gnu::always_inline]] inline void edge_row_lanes(const double* xa, const double* ya, const double* xb,
                                                  const double* yb, std::size_t n, std::uint64_t* flipped,
                                                  std::uint64_t* near_tie) {
    constexpr std::size_t L = Isa::lanes;
    for (std::size_t w = 0; w < bit_words(n); ++w) {
        const std::size_t base = 64 * w, end = std::min(n, base + 64);
        std::uint64_t flip = 0, near = 0;
        std::size_t j = base;
        if constexpr (L > 1) {
            using V = typename Isa::V;
            for (; j + L <= end; j += L) {
                const V ax = load<V>(xa + j), ay = load<V>(ya + j), bx = load<V>(xb + j), by = load<V>(yb + j);
                const V dot = ax * bx + ay * by;
                const V scale = (abs_lanes(ax) + abs_lanes(ay)) * (abs_lanes(bx) + abs_lanes(by));
                flip |= static_cast<std::uint64_t>(Isa::less(dot, V{})) << (j - base);
                near |= static_cast<std::uint64_t>(Isa::less(abs_lanes(dot), kNearTie * scale)) << (j - base);
            }
        }
        for (; j < end; ++j) {
            const double dot = xa[j] * xb[j] + ya[j] * yb[j];
            const double scale = (std::fabs(xa[j]) + std::fabs(ya[j])) * (std::fabs(xb[j]) + std::fabs(yb[j]));
            flip |= static_cast<std::uint64_t>(dot < 0.0) << (j - base);
            near |= static_cast<std::uint64_t>(std::fabs(dot) < kNearTie * scale) << (j - base);
        }
        flipped[w] = flip;
        near_tie[w] = near;
    }
}

// One entry point per instruction set with everything inlined into it. No
// multiply-add is contracted, so each lane rounds exactly as the scalar tail.
using RowFn = bool (*)(const double*, std::size_t, double*, double*, std::uint64_t*);
using EdgeFn = void (*)(const double*, const double*, const double*, const double*, std::size_t, std::uint64_t*,
                        std::uint64_t*);

#if defined(__x86_64__)
[[gnu::target("avx512f"), gnu::optimize("fp-contract=off"), gnu::flatten]] bool row_avx512(
    const double* q, std::size_t n, double* x, double* y, std::uint64_t* below) {
    return director_row_lanes<IsaAvx512>(q, n, x, y, below);
}
[[gnu::target("avx512f"), gnu::optimize("fp-contract=off"), gnu::flatten]] void edges_avx512(
    const double* xa, const double* ya, const double* xb, const double* yb, std::size_t n, std::uint64_t* flipped,
    std::uint64_t* near_tie) {
    edge_row_lanes<IsaAvx512>(xa, ya, xb, yb, n, flipped, near_tie);
}
[[gnu::target("avx2"), gnu::optimize("fp-contract=off"), gnu::flatten]] bool row_avx2(
    const double* q, std::size_t n, double* x, double* y, std::uint64_t* below) {
    return director_row_lanes<IsaAvx2>(q, n, x, y, below);
}
[[gnu::target("avx2"), gnu::optimize("fp-contract=off"), gnu::flatten]] void edges_avx2(
    const double* xa, const double* ya, const double* xb, const double* yb, std::size_t n, std::uint64_t* flipped,
    std::uint64_t* near_tie) {
    edge_row_lanes<IsaAvx2>(xa, ya, xb, yb, n, flipped, near_tie);
}
[[gnu::optimize("fp-contract=off"), gnu::flatten]] bool row_sse2(const double* q, std::size_t n, double* x,
                                                                  double* y, std::uint64_t* below) {
    return director_row_lanes<IsaSse2>(q, n, x, y, below);
}
[[gnu::optimize("fp-contract=off"), gnu::flatten]] void edges_sse2(const double* xa, const double* ya,
                                                                    const double* xb, const double* yb,
                                                                    std::size_t n, std::uint64_t* flipped,
                                                                    std::uint64_t* near_tie) {
    edge_row_lanes<IsaSse2>(xa, ya, xb, yb, n, flipped, near_tie);
}

std::pair<RowFn, EdgeFn> pick_kernels() {
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f")) return {row_avx512, edges_avx512};
    if (__builtin_cpu_supports("avx2")) return {row_avx2, edges_avx2};
    return {row_sse2, edges_sse2};
}
#else
[[gnu::optimize("fp-contract=off"), gnu::flatten]] bool row_scalar(const double* q, std::size_t n, double* x,
                                                                    double* y, std::uint64_t* below) {
    return director_row_lanes<IsaScalar>(q, n, x, y, below);
}
[[gnu::optimize("fp-contract=off"), gnu::flatten]] void edges_scalar(const double* xa, const double* ya,
                                                                      const double* xb, const double* yb,
                                                                      std::size_t n, std::uint64_t* flipped,
                                                                      std::uint64_t* near_tie) {
    edge_row_lanes<IsaScalar>(xa, ya, xb, yb, n, flipped, near_tie);
}

std::pair<RowFn, EdgeFn> pick_kernels() { return {row_scalar, edges_scalar}; }
#endif

const std::pair<RowFn, EdgeFn>& kernels() {
    static const std::pair<RowFn, EdgeFn> k = pick_kernels();
    return k;
}

}  // namespace

void director_row(const double* q, std::size_t n, DirectorRow& out) {
    out.x.resize(n);
    out.y.resize(n);
    out.below.assign(bit_words(n), 0);
    out.has_nan = false;
    if (!kernels().first(q, n, out.x.data(), out.y.data(), out.below.data())) return;
    std::fill(out.below.begin(), out.below.end(), 0);
    for (std::size_t j = 0; j < n; ++j) {
        const auto [x, y] = director_direction(q[2 * j], q[2 * j + 1]);
        out.x[j] = x;
        out.y[j] = y;
        out.below[j / 64] |= static_cast<std::uint64_t>(y < 0.0) << (j % 64);
        out.has_nan |= std::isnan(x);
    }
}

void edge_row(const double* xa, const double* ya, const double* xb, const double* yb, std::size_t n,
              EdgeRow& out) {
    out.flipped.resize(bit_words(n));
    out.near_tie.resize(bit_words(n));
    kernels().second(xa, ya, xb, yb, n, out.flipped.data(), out.near_tie.data());
}

}  // namespace kestrin
