#include "topology/defect_scan2d.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <utility>

#include "core/internal_fault.hpp"
#include "topology/director_rows.hpp"
#include "topology/holonomy.hpp"

namespace kestrin {
namespace {

// Why the scan needs no 3x3 algebra. Every vertex of a 2D field lifts to the
// block tensor [[q1, q2, 0], [q2, -q1, 0], [0, 0, 0]], whose frame is
// F(t) = [(-s, c, 0), (0, 0, 1), (c, s, 0)] with (c, s) = (cos t, sin t)
// (planar_q_frame). Between two such frames
//   F(a)^T F(b) = rotation by D = b - a about the frame's second (z) axis,
// so the column overlaps are d0 = d2 = cos D, d1 = 1, and d2_gauge_fix scores
// 1 + 2 cos D for the identity, 1 - 2 cos D for (-1, +1, -1) and -1 for the
// other two patterns: it keeps b when cos D >= 0 and otherwise applies
// diag(-1, 1, -1), itself a half turn about z. Every transition round a
// plaquette is therefore a turn about the same axis, by D_e or D_e + pi; the
// turns add, and the D_e telescope to zero round a closed loop. The holonomy
// is a turn by pi times the number m of edges whose gauge fix flipped,
//   H = identity (m even)  or  diag(-1, 1, -1) (m odd),
// which the 3x3 products reproduce up to rounding. An edge flips when cos D,
// the dot product of the two director directions up to a positive factor, is
// negative; the decision is symmetric in the two ends, so each edge is
// decided once for the two plaquettes that share it, and a row of plaquettes
// is a few word operations on bit rows.
//
// The charge sign comes from the same decisions. Along a flipped edge a -> b
// the step of theta = t exceeds pi/2 in size, so t_a and t_b lie on opposite
// sides of zero, and wrapping the step into (-pi/2, pi/2] subtracts pi times
// the sign of t_b. The raw steps telescope to zero as well, so the director
// winds by pi * w round the plaquette, w the sum over its flipped edges of +1
// (far end below zero) or -1 (far end above).

// Word k of a bit row shifted down by one place: bit j of the result is bit
// j+1 of the row, the edge or vertex on the far side of plaquette j.
inline std::uint64_t next_bits(const std::vector<std::uint64_t>& row, std::size_t k) {
    return (row[k] >> 1) | (k + 1 < row.size() ? row[k + 1] << 63 : 0);
}

inline int bit(std::uint64_t word, int b) { return static_cast<int>((word >> b) & 1); }

// Plaquettes of one row pair with a non-finite corner, as a bit row.
std::uint64_t undefined_bits(const DirectorRow& lo, const DirectorRow& hi, std::size_t base, std::size_t end) {
    std::uint64_t bits = 0;
    for (std::size_t j = base; j < end; ++j) {
        const bool bad =
            std::isnan(lo.x[j]) || std::isnan(lo.x[j + 1]) || std::isnan(hi.x[j]) || std::isnan(hi.x[j + 1]);
        bits |= static_cast<std::uint64_t>(bad) << (j - base);
    }
    return bits;
}

// Verdicts on 64 plaquettes of a row, one bit each.
struct Marks {
    std::uint64_t reported = 0, odd = 0, negative = 0;
};

// The edges round the plaquettes between rows i (lo) and i+1 (hi): along
// edge j of a row joins columns j and j+1, across edge j joins lo and hi in
// column j.
struct RowPair {
    const DirectorRow& lo;
    const DirectorRow& hi;
    const EdgeRow& along_lo;
    const EdgeRow& along_hi;
    const EdgeRow& across;
};

// Marks of plaquettes (i, j), j < ny-1, into marks[0 .. bit_words(ny-1));
// returns the number reported. `want_odd` and `want_even` are all ones when
// that holonomy's angle exceeds the threshold, else zero.
std::size_t mark_row(const QField2D& q, std::uint64_t i, const RowPair& r, std::uint64_t want_odd,
                     std::uint64_t want_even, Marks* marks) {
    const std::size_t n_plaq = q.ny - 1;
    const bool any_nan = r.lo.has_nan || r.hi.has_nan;
    std::size_t n_reported = 0;
    for (std::size_t k = 0; k < bit_words(n_plaq); ++k) {
        const std::size_t base = 64 * k, end = std::min(n_plaq, base + 64);
        // The loop (i,j) -> (i+1,j) -> (i+1,j+1) -> (i,j+1) -> (i,j) walks
        // across edge j, along edge j of hi, across edge j+1 backwards and
        // along edge j of lo backwards.
        const std::uint64_t e0 = r.across.flipped[k], e1 = r.along_hi.flipped[k];
        const std::uint64_t e2 = next_bits(r.across.flipped, k), e3 = r.along_lo.flipped[k];
        Marks& m = marks[k];
        m.odd = e0 ^ e1 ^ e2 ^ e3;
        const std::uint64_t in_row = end - base == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (end - base)) - 1;
        m.reported = ((m.odd & want_odd) | (~m.odd & want_even)) & in_row;
        if (any_nan && m.reported) m.reported &= ~undefined_bits(r.lo, r.hi, base, end);
        if (!m.reported) continue;
        n_reported += static_cast<std::size_t>(std::popcount(m.reported));

        // Far ends of the four steps: hi j, hi j+1, lo j+1, lo j.
        const std::uint64_t f0 = r.hi.below[k], f1 = next_bits(r.hi.below, k);
        const std::uint64_t f2 = next_bits(r.lo.below, k), f3 = r.lo.below[k];
        const std::uint64_t near = r.across.near_tie[k] | r.along_hi.near_tie[k] |
                                   next_bits(r.across.near_tie, k) | r.along_lo.near_tie[k];
        for (std::uint64_t rest = m.reported; rest; rest &= rest - 1) {
            const int b = std::countr_zero(rest);
            const int w = bit(e0, b) * (2 * bit(f0, b) - 1) + bit(e1, b) * (2 * bit(f1, b) - 1) +
                          bit(e2, b) * (2 * bit(f2, b) - 1) + bit(e3, b) * (2 * bit(f3, b) - 1);
            // Near a quarter turn the wrap of the summed angles may decide an
            // edge otherwise, and a zero winding has the sign of the rounding
            // of that sum: both are left to the sum itself.
            const bool negative = (w == 0 || bit(near, b)) ? plaquette_charge_sign(q, i, base + b) < 0 : w < 0;
            m.negative |= static_cast<std::uint64_t>(negative) << b;
        }
    }
    return n_reported;
}

}  // namespace

std::vector<DefectInfo> scan_defects(const QField2D& q, double threshold) {
    require_vertex_count(q.len(), q.nx, q.ny);
    std::vector<DefectInfo> out;
    const std::uint64_t nx = q.nx, ny = q.ny;
    if (nx < 2 || ny < 2) return out;

    // The two possible holonomies and their angles, through the same angle
    // formula as every other holonomy. A plaquette with a non-finite corner
    // has a NaN holonomy, which exceeds no threshold.
    const Eigen::Matrix3d half_turn = Eigen::Vector3d(-1.0, 1.0, -1.0).asDiagonal();
    const std::array<double, 2> angle_of{holonomy_angle(Eigen::Matrix3d::Identity()), holonomy_angle(half_turn)};
    const std::uint64_t want_even = angle_of[0] > threshold ? ~std::uint64_t{0} : 0;
    const std::uint64_t want_odd = angle_of[1] > threshold ? ~std::uint64_t{0} : 0;
    if (!want_even && !want_odd) return out;

    // Two rows of directions and of along-row edges are live at a time. The
    // verdicts are kept as bit rows, so that the records are then written
    // once into a vector of the right size.
    const std::size_t n_plaq = ny - 1, words = bit_words(n_plaq);
    std::vector<Marks> marks((nx - 1) * words);
    DirectorRow lo, hi;
    EdgeRow along_lo, along_hi, across;
    director_row(q.data.data(), ny, lo);
    edge_row(lo.x.data(), lo.y.data(), lo.x.data() + 1, lo.y.data() + 1, n_plaq, along_lo);
    std::size_t n_reported = 0;
    for (std::uint64_t i = 0; i + 1 < nx; ++i) {
        director_row(q.data.data() + 2 * (i + 1) * ny, ny, hi);
        edge_row(hi.x.data(), hi.y.data(), hi.x.data() + 1, hi.y.data() + 1, n_plaq, along_hi);
        edge_row(lo.x.data(), lo.y.data(), hi.x.data(), hi.y.data(), ny, across);
        n_reported += mark_row(q, i, RowPair{lo, hi, along_lo, along_hi, across}, want_odd, want_even,
                               marks.data() + i * words);
        std::swap(lo, hi);
        std::swap(along_lo, along_hi);
    }

    out.reserve(n_reported);
    for (std::uint64_t i = 0; i + 1 < nx; ++i) {
        for (std::size_t k = 0; k < words; ++k) {
            const Marks& m = marks[i * words + k];
            for (std::uint64_t rest = m.reported; rest; rest &= rest - 1) {
                const int b = std::countr_zero(rest);
                out.push_back(DefectInfo{i, 64 * k + static_cast<std::uint64_t>(b),
                                         angle_of[static_cast<std::size_t>(bit(m.odd, b))],
                                         bit(m.negative, b) ? std::int8_t{-1} : std::int8_t{1}});
            }
        }
    }
    return out;
}

std::int8_t plaquette_charge_sign(const QField2D& q, std::uint64_t i, std::uint64_t j) {
    require_vertex_count(q.len(), q.nx, q.ny);
    require(i + 1 < q.nx && j + 1 < q.ny, "plaquette outside the grid");
    const std::uint64_t ny = q.ny;
    const std::array<std::size_t, 4> loop{i * ny + j, (i + 1) * ny + j, (i + 1) * ny + j + 1, i * ny + j + 1};
    std::array<double, 4> theta{};
    for (std::size_t m = 0; m < 4; ++m) theta[m] = std::atan2(q.q2(loop[m]), q.q1(loop[m])) / 2.0;

    // The director is a headless line, so each step of its angle is taken
    // modulo pi, as the smaller turn; the sum is the winding (pi for +1/2,
    // -pi for -1/2). Steps lie in [-pi, pi], so one shift by pi suffices.
    constexpr double pi = std::numbers::pi, half_pi = std::numbers::pi / 2.0;
    double winding = 0.0;
    for (std::size_t m = 0; m < 4; ++m) {
        double step = theta[(m + 1) % 4] - theta[m];
        if (step > half_pi) {
            step -= pi;
        } else if (step <= -half_pi) {
            step += pi;
        }
        winding += step;
    }
    return winding < 0.0 ? std::int8_t{-1} : std::int8_t{1};
}

}  // namespace kestrin
