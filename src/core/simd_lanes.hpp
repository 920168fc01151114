#pragma once
// Vectors of doubles for the finite-difference kernels, and the instruction
// sets the kernels are compiled for (one entry point per set, chosen once at
// run time). A kernel that includes this header must silence -Wpsabi before
// its includes: the helpers return wide vectors by value, and since all of
// them are always inlined into the vectorised entry point, the calling
// convention that warning is about never applies.
//
// Every helper here only moves values (loads, stores, lane shuffles) or
// applies a correctly rounded IEEE operation lane by lane, so a kernel that
// evaluates a formula on vectors rounds exactly as the same formula on
// scalars.
#include <cmath>
#include <cstddef>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

// The entry points for the wider instruction sets rely on gnu::flatten to
// inline every helper into them (a wide vector crossing a call between
// functions compiled for different sets would be passed inconsistently),
// which only happens when optimising; unoptimised builds use the baseline.
#if defined(__x86_64__) && defined(__OPTIMIZE__)
#define KESTRIN_SIMD_WIDE 1
#else
#define KESTRIN_SIMD_WIDE 0
#endif

namespace kestrin::simd {

using Vec2 = double __attribute__((vector_size(16)));
using Vec4 = double __attribute__((vector_size(32)));
using Vec8 = double __attribute__((vector_size(64)));

template <class T>
[[gnu::always_inline]] inline T load(const double* p) {
    T v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
[[gnu::always_inline]] inline void store(double* p, const T& v) {
    __builtin_memcpy(p, &v, sizeof v);
}

// Lane counts as index sequences, for the shuffles below.
template <class V>
inline constexpr std::size_t lanes_of = sizeof(V) / sizeof(double);
template <class V>
using Lanes = std::make_index_sequence<lanes_of<V>>;

// (a0, b0, a1, b1, ...) stored at out: two component vectors written in the
// interleaved (q1, q2) layout of the fields.
template <class V, std::size_t... I>
[[gnu::always_inline]] inline void store_pairs(double* out, const V& a, const V& b, std::index_sequence<I...>) {
    constexpr std::size_t n = sizeof...(I);
    store(out, __builtin_shufflevector(a, b, (I % 2 ? n + I / 2 : I / 2)...));
    store(out + n, __builtin_shufflevector(a, b, (I % 2 ? n + (n + I) / 2 : (n + I) / 2)...));
}

// The even and the odd values of 2n interleaved ones.
template <class V, std::size_t... I>
[[gnu::always_inline]] inline void load_pairs(const double* in, V& a, V& b, std::index_sequence<I...>) {
    constexpr std::size_t n = sizeof...(I);
    const V lo = load<V>(in), hi = load<V>(in + n);
    a = __builtin_shufflevector(lo, hi, (2 * I)...);
    b = __builtin_shufflevector(lo, hi, (2 * I + 1)...);
}

// Shuffles within the (even, odd) lane pairs of a vector holding interleaved
// (q1, q2) pairs: swap the two, repeat one of them, or take even lanes from
// one vector and odd lanes from another.
template <class V, std::size_t... I>
[[gnu::always_inline]] inline V swap_pairs(const V& x, std::index_sequence<I...>) {
    return __builtin_shufflevector(x, x, (I ^ 1)...);
}

template <class V, std::size_t... I>
[[gnu::always_inline]] inline V dup_even(const V& x, std::index_sequence<I...>) {
    return __builtin_shufflevector(x, x, (I & ~std::size_t{1})...);
}

template <class V, std::size_t... I>
[[gnu::always_inline]] inline V dup_odd(const V& x, std::index_sequence<I...>) {
    return __builtin_shufflevector(x, x, (I | 1)...);
}

template <class V, std::size_t... I>
[[gnu::always_inline]] inline V even_odd(const V& even, const V& odd, std::index_sequence<I...>) {
    return __builtin_shufflevector(even, odd, (I % 2 ? sizeof...(I) + I : I)...);
}

// The vector of one instruction set and its lane-wise square root (the
// correctly rounded IEEE square root in every form).
struct IsaPortable {
    static constexpr std::size_t lanes = 2;
    using V = Vec2;
    [[gnu::always_inline]] static V sqrt(V x) { return V{std::sqrt(x[0]), std::sqrt(x[1])}; }
};

#if defined(__x86_64__)
struct IsaSse2 {
    static constexpr std::size_t lanes = 2;
    using V = Vec2;
    [[gnu::always_inline]] static V sqrt(V x) { return _mm_sqrt_pd(x); }
};
using IsaBaseline = IsaSse2;
#else
using IsaBaseline = IsaPortable;
#endif

#if KESTRIN_SIMD_WIDE
// These two are compiled for their own instruction set; the entry points of
// that set inline them (gnu::flatten).
struct IsaAvx2 {
    static constexpr std::size_t lanes = 4;
    using V = Vec4;
    [[gnu::target("avx2")]] static V sqrt(V x) { return _mm256_sqrt_pd(x); }
};

struct IsaAvx512 {
    static constexpr std::size_t lanes = 8;
    using V = Vec8;
    [[gnu::target("avx512f")]] static V sqrt(V x) { return _mm512_mask_sqrt_pd(x, 0xFF, x); }
};

enum class Level { Baseline, Avx2, Avx512 };

// The widest instruction set of this processor among those above.
inline Level best_level() {
    static const Level level = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return Level::Avx512;
        if (__builtin_cpu_supports("avx2")) return Level::Avx2;
        return Level::Baseline;
    }();
    return level;
}
#endif

}  // namespace kestrin::simd
