#pragma once
// Row kernels of the 2D holonomy scan: the director directions of one grid
// row, and the gauge-fix decisions of a row of edges as bit rows (bit j of a
// row is bit j % 64 of word j / 64). Both run a vector of vertices at a time
// on the widest instruction set the processor has; every lane performs the
// operations of the scalar tail in the same order, without fused
// multiply-adds, so the results do not depend on the instruction set.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestrin {

// Number of 64-bit words holding n bits.
constexpr std::size_t bit_words(std::size_t n) { return (n + 63) / 64; }

// One row of vertices as director directions: positive multiples of
// (cos t, sin t), t = atan2(q2, q1)/2 in [-pi/2, pi/2], of any length; only
// the signs of their dot products are used.
struct DirectorRow {
    std::vector<double> x, y;
    std::vector<std::uint64_t> below;  // bit j: y[j] < 0 (t < 0)
    bool has_nan = false;              // a vertex has a non-finite component (NaN direction)
};

// Directions of the n vertices stored as (q1, q2) pairs at q. With
// n = |(q1, q2)| the half-angle identities
//   (n + q1, q2)             = 2n cos t (cos t, sin t)    for q1 >= 0,
//   (|q2|, sgn(q2)(n - q1))  = 2n |sin t| (cos t, sin t)  for q1 < 0
// cost one square root and subtract no nearly equal numbers. A row with a
// vertex whose n lies outside [1e-150, 1e150] (zero, under- or overflowing
// squares, non-finite) takes director_direction for every vertex instead.
void director_row(const double* q, std::size_t n, DirectorRow& out);

// Gauge-fix decisions of n edges a_j -> b_j, bit rows of bit_words(n) words,
// bits past n zero.
struct EdgeRow {
    // dot(a_j, b_j) < 0: the director turns by more than a quarter turn
    // along the edge and the gauge fix flips the far frame. Clear for NaN.
    std::vector<std::uint64_t> flipped;
    // |dot| < 4e-12 (|x_a| + |y_a|)(|x_b| + |y_b|), which includes every edge
    // with |cos D| < 4e-12: the turn may be within rounding of a quarter turn.
    std::vector<std::uint64_t> near_tie;
};

void edge_row(const double* xa, const double* ya, const double* xb, const double* yb, std::size_t n,
              EdgeRow& out);

}  // namespace kestrin
