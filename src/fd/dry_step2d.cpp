// The vector helpers (core/simd_lanes.hpp and the templated formulas) return
// wide vectors by value; all of them are inlined into the sweep, so the
// calling convention this warning is about never applies.
#pragma GCC diagnostic ignored "-Wpsabi"

#include "fd/dry_step2d.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "core/grid2d.hpp"
#include "core/internal_fault.hpp"
#include "fd/beris_edwards2d_point.hpp"
#include "core/simd_lanes.hpp"

// One Runge-Kutta step as a single pipelined sweep over the rows.
//
// Every stage is a five-point stencil of the previous stage's argument, so
// stage s at row r needs the argument of stage s at rows r-1, r, r+1 only.
// The sweep walks a time index t and at each t evaluates
//   stage 1 at row t, stage 2 at row t-1, stage 3 at row t-2, stage 4 at row t-3,
// keeping the stage arguments a2 = q + (h/2) k1, a3 = q + (h/2) k2,
// a4 = q + h k3 in rings of three rows and the partial sums
// ((k1 + 2 k2) + 2 k3) in a ring of four. The state is read and written once
// per step while every intermediate row stays in cache; evaluating the stages
// as separate field-wide passes moves several full fields through memory per
// stage instead.
//
// Rows in the rings are stored component by component (all q1 of the row,
// then all q2), each component block framed by one halo value on either side
// (c[-1] = c[ny-1], c[ny] = c[0]), so the periodic wrap in y needs no special
// column and a whole row is evaluated a vector of vertices at a time with
// unit-stride loads; the lanes past the last column fall into padding and are
// never used. The state rows are de-interleaved into a ring of five as they
// enter the sweep, and stage 4 interleaves the new state again as it writes it.
//
// Periodic wrap in x: rows are indexed by a "virtual" row v = -3 .. nx+2
// mapped to v mod nx, and stages 1 to 3 are also evaluated on the rows
// outside 0 .. nx-1 (a few redundant rows per step), so that the rings
// already hold the wrapped neighbours when stage 4 reaches rows 0 and nx-1.
// Stage 4 writes row r in place at t = r + 3; later reads of a written row
// come only from virtual rows v >= nx, i.e. rows 0..3, whose original values
// are saved before the sweep. Copies of one row under different virtual
// indices are computed from identical inputs, so grids with fewer than four
// rows need no special case.
//
// Bit-identity with the field-wide composition (molecular_field, scale, add):
// every value goes through exactly the same operations in the same order, on
// vector lanes or scalars alike; no multiply-add is contracted; the mean order
// parameter adds its terms in vertex order. The Laplacian's division by dx^2
// becomes a multiplication by 1/dx^2 only when dx^2 is a power of two whose
// reciprocal is a normal number, where both are the correctly rounded value
// of the same real number.

namespace kestrin {
namespace {

using simd::load;
using simd::store;

// ---- row storage -------------------------------------------------------------

// A row stored by component: c1[j] = q1 and c2[j] = q2 of column j, with the
// halo c[-1] = c[ny-1] and c[ny] = c[0].
struct SoaRow {
    double* c1;
    double* c2;
};

// Values per component block: 8 in front (the halo at the end of them keeps
// the columns 64-byte aligned), the columns rounded up to whole vectors, 8
// behind for the halo and the last vector's overrun. A block size that is a
// multiple of 4 KiB is moved off it, so that a store to one block does not
// stall the next load at the same offset of another (a false store-to-load
// dependence on the low address bits).
inline std::size_t block_size(std::size_t ny) {
    std::size_t b = 8 + (ny + 7) / 8 * 8 + 8;
    return b % 256 == 0 ? b + 8 : b;
}

// Rings of rows: stage arguments, partial sums, state rows entering the
// sweep, the saved first rows, one row of noise in both layouts and one of
// |q|^2 for the mean order parameter.
constexpr std::size_t kRingArg = 3, kRingAcc = 4, kRingState = 5, kSaved = 4;
constexpr std::size_t kRowA2 = 0, kRowA3 = kRowA2 + kRingArg, kRowA4 = kRowA3 + kRingArg,
                      kRowAcc = kRowA4 + kRingArg, kRowState = kRowAcc + kRingAcc, kRowSaved = kRowState + kRingState,
                      kRowNoise = kRowSaved + kSaved, kRowNoiseSoa = kRowNoise + 1, kRowNsq = kRowNoiseSoa + 1,
                      kRowsTotal = kRowNsq + 1;
constexpr std::size_t kAlign = 8;  // doubles per 64 bytes

inline void set_halo(SoaRow r, std::size_t ny) {
    r.c1[-1] = r.c1[ny - 1];
    r.c1[ny] = r.c1[0];
    r.c2[-1] = r.c2[ny - 1];
    r.c2[ny] = r.c2[0];
}

template <class Isa>
[[gnu::always_inline]] inline void deinterleave(const double* src, SoaRow dst, std::size_t ny) {
    using V = typename Isa::V;
    std::size_t j = 0;
    for (; j + Isa::lanes <= ny; j += Isa::lanes) {
        V a, b;
        simd::load_pairs(src + 2 * j, a, b, simd::Lanes<V>{});
        store(dst.c1 + j, a);
        store(dst.c2 + j, b);
    }
    for (; j < ny; ++j) {
        dst.c1[j] = src[2 * j];
        dst.c2[j] = src[2 * j + 1];
    }
}

// ---- one stage on one row ----------------------------------------------------

struct Rk4Coeffs {
    LandauCoeffs landau;
    double gamma, half_h, h, sixth_h;
};

enum class Stage { First, Middle, Last };

// The mean order parameter of the new state is a sum of 2 |q| in vertex
// order: a chain of dependent additions behind one square root per vertex,
// and the square root is slow (a few cycles per value at any vector width).
// Stage 4 only stores |q|^2 of its row; the stages of the next rows take the
// square roots one vector at a time, alongside their own independent
// arithmetic, and write 2 |q| back over |q|^2. The additions trail one vector
// behind and read from memory, so neither waits for a fresh square root.
struct MeanFeed {
    double* row = nullptr;  // |q|^2, or 2 |q| below `converted`; null: nothing pending
    std::size_t converted = 0;
    std::size_t added = 0;
    double sum = 0.0;

    template <class Isa>
    [[gnu::always_inline]] void advance(std::size_t end) {
        if (!row) return;
        for (; added < converted; ++added) sum += row[added];
        if (converted + Isa::lanes <= end) {
            store(row + converted, 2.0 * Isa::sqrt(load<typename Isa::V>(row + converted)));
            converted += Isa::lanes;
        }
    }

    [[gnu::always_inline]] void finish(std::size_t end) {
        if (!row) return;
        for (; added < converted; ++added) sum += row[added];
        for (; added < end; ++added) sum += 2.0 * std::sqrt(row[added]);
        converted = added;
    }
};

// `up`, `mid`, `dn` hold the stage argument at rows i-1, i, i+1 and `q0` the
// state of row i at the start of the step.
//   First:  next = q0 + coef k;  acc = k
//   Middle: next = q0 + coef k;  acc = acc + 2 k
//   Last:   out = (q0 + (h/6)(acc + k)) [+ noise], written interleaved, and
//           |out|^2 of every vertex into nsq_out
// with k = Gamma_r H of the argument. `feed`, when given, advances the mean up
// to column feed_end.
//
// Everything is held by value: run() works on a local copy, so the compiler
// can keep pointers, coefficients and the running sum in registers across the
// stores of the loop instead of reloading them for fear of aliasing.
template <Stage S, bool Noisy, class Isa, class Lap>
struct StageRow {
    SoaRow up, mid, dn, q0, acc, next, noise;
    double* out;
    double* nsq_out;
    MeanFeed* feed;
    std::size_t feed_end;
    Rk4Coeffs c;
    double coef;
    Lap lap;

    template <class T>
    [[gnu::always_inline]] void at(std::size_t j) const {
        const T q1 = load<T>(mid.c1 + j), q2 = load<T>(mid.c2 + j);
        const T nsq = norm_sq(q1, q2);
        const T l1 = lap(lap5_sum(q1, load<T>(dn.c1 + j), load<T>(up.c1 + j), load<T>(mid.c1 + j + 1),
                                  load<T>(mid.c1 + j - 1)));
        const T l2 = lap(lap5_sum(q2, load<T>(dn.c2 + j), load<T>(up.c2 + j), load<T>(mid.c2 + j + 1),
                                  load<T>(mid.c2 + j - 1)));
        const T k1 = c.gamma * molecular_component(c.landau, l1, q1, nsq);
        const T k2 = c.gamma * molecular_component(c.landau, l2, q2, nsq);
        if constexpr (S == Stage::First) {
            store(next.c1 + j, load<T>(q0.c1 + j) + coef * k1);
            store(next.c2 + j, load<T>(q0.c2 + j) + coef * k2);
            store(acc.c1 + j, k1);
            store(acc.c2 + j, k2);
        } else if constexpr (S == Stage::Middle) {
            store(next.c1 + j, load<T>(q0.c1 + j) + coef * k1);
            store(next.c2 + j, load<T>(q0.c2 + j) + coef * k2);
            store(acc.c1 + j, load<T>(acc.c1 + j) + k1 * 2.0);
            store(acc.c2 + j, load<T>(acc.c2 + j) + k2 * 2.0);
        } else {
            T n1 = load<T>(q0.c1 + j) + c.sixth_h * (load<T>(acc.c1 + j) + k1);
            T n2 = load<T>(q0.c2 + j) + c.sixth_h * (load<T>(acc.c2 + j) + k2);
            if constexpr (Noisy) {
                n1 = n1 + load<T>(noise.c1 + j);
                n2 = n2 + load<T>(noise.c2 + j);
            }
            if constexpr (sizeof(T) == sizeof(double)) {
                out[2 * j] = n1;
                out[2 * j + 1] = n2;
            } else {
                simd::store_pairs(out + 2 * j, n1, n2, simd::Lanes<T>{});
            }
            store(nsq_out + j, norm_sq(n1, n2));
        }
    }

    // Stages 1 to 3 run whole vectors into the padding and then refresh the
    // halo of the argument they wrote; stage 4 writes the caller's state, so
    // it stops at the last column.
    [[gnu::always_inline]] void run(std::size_t ny) const {
        using V = typename Isa::V;
        const StageRow self = *this;
        const bool feeding = feed != nullptr;
        MeanFeed f = feeding ? *feed : MeanFeed{};
        std::size_t j = 0;
        bool feed_now = true;
        for (; j + Isa::lanes <= ny; j += Isa::lanes) {
            self.at<V>(j);
            if (feeding && feed_now) f.advance<Isa>(feed_end);
            feed_now = !feed_now;
        }
        if constexpr (S == Stage::Last) {
            for (; j < ny; ++j) self.at<double>(j);
        } else {
            if (j < ny) self.at<V>(j);
            set_halo(next, ny);
        }
        if (feeding) {
            f.finish(feed_end);
            *feed = f;
        }
    }
};

// ---- the pipelined step ------------------------------------------------------

// Ring slot of virtual row v >= -5.
inline std::size_t slot(std::int64_t v, std::size_t n) { return static_cast<std::size_t>(v + 60) % n; }

inline std::int64_t wrap(std::int64_t v, std::int64_t nx) { return ((v % nx) + nx) % nx; }

struct SweepArgs {
    double* q;  // interleaved state, nx*ny vertices, updated in place
    std::int64_t nx;
    std::size_t ny;
    double dx;
    double* rows;  // kRowsTotal rows of two blocks, 64-byte aligned
    const ActiveNematicParams* p;
    LangevinNoise* noise;  // null without noise
};

// Returns the sum over vertices, in vertex order, of 2 |q| of the new state.
template <bool Noisy, class Isa, class Lap>
[[gnu::always_inline]] inline double rk4_sweep(const SweepArgs& a, Lap lap, const Rk4Coeffs& c) {
    const std::int64_t nx = a.nx;
    const std::size_t ny = a.ny, len = 2 * ny, block = block_size(ny);
    auto row = [&](std::size_t k) {
        return SoaRow{a.rows + 2 * k * block + kAlign, a.rows + (2 * k + 1) * block + kAlign};
    };
    auto load_state = [&](std::int64_t r, SoaRow dst) {
        deinterleave<Isa>(a.q + static_cast<std::size_t>(r) * len, dst, ny);
        set_halo(dst, ny);
    };

    const std::int64_t n_saved = std::min<std::int64_t>(nx, kSaved);
    for (std::int64_t r = 0; r < n_saved; ++r) load_state(r, row(kRowSaved + static_cast<std::size_t>(r)));

    // State row at virtual index v as it was at the start of the step.
    auto state = [&](std::int64_t v) {
        return v >= nx ? row(kRowSaved + static_cast<std::size_t>(wrap(v, nx))) : row(kRowState + slot(v, kRingState));
    };
    auto fetch = [&](std::int64_t v) {
        if (v < nx) load_state(wrap(v, nx), state(v));
    };
    auto arg = [&](std::size_t base, std::int64_t v) { return row(base + slot(v, kRingArg)); };
    auto acc = [&](std::int64_t v) { return row(kRowAcc + slot(v, kRingAcc)); };

    double* noise_pairs = row(kRowNoise).c1;  // 2*ny values fit in the row's two blocks
    const SoaRow noise = row(kRowNoiseSoa);
    double* nsq_row = row(kRowNsq).c1;
    // Columns of a pending row whose mean terms stage 1 adds; stage 2 the rest.
    const std::size_t feed_split = ny / (2 * Isa::lanes) * Isa::lanes;
    MeanFeed feed;
    fetch(-4);
    fetch(-3);
    for (std::int64_t t = -3; t <= nx + 2; ++t) {
        fetch(t + 1);
        {
            const std::int64_t v = t;
            StageRow<Stage::First, false, Isa, Lap>{
                state(v - 1), state(v), state(v + 1), state(v),   acc(v),     arg(kRowA2, v), {}, nullptr,
                nullptr,      &feed,    feed_split,   c,          c.half_h,   lap}
                .run(ny);
        }
        if (const std::int64_t v = t - 1; v >= -2 && v <= nx + 1)
            StageRow<Stage::Middle, false, Isa, Lap>{
                arg(kRowA2, v - 1), arg(kRowA2, v), arg(kRowA2, v + 1), state(v), acc(v), arg(kRowA3, v), {},
                nullptr,            nullptr,        &feed,              ny,       c,      c.half_h,       lap}
                .run(ny);
        if (const std::int64_t v = t - 2; v >= -1 && v <= nx)
            StageRow<Stage::Middle, false, Isa, Lap>{
                arg(kRowA3, v - 1), arg(kRowA3, v), arg(kRowA3, v + 1), state(v), acc(v), arg(kRowA4, v), {},
                nullptr,            nullptr,        nullptr,            0,        c,      c.h,            lap}
                .run(ny);
        if (const std::int64_t v = t - 3; v >= 0 && v < nx) {
            if constexpr (Noisy) {
                // Drawn row by row in vertex order: the same numbers as one
                // draw over the whole field, since every row holds whole pairs.
                a.noise->fill_pairs(std::span<double>(noise_pairs, len), a.p->noise_amp, c.h);
                deinterleave<Isa>(noise_pairs, noise, ny);
            }
            StageRow<Stage::Last, Noisy, Isa, Lap>{arg(kRowA4, v - 1),
                                                   arg(kRowA4, v),
                                                   arg(kRowA4, v + 1),
                                                   state(v),
                                                   acc(v),
                                                   {},
                                                   noise,
                                                   a.q + static_cast<std::size_t>(v) * len,
                                                   nsq_row,
                                                   nullptr,
                                                   0,
                                                   c,
                                                   0.0,
                                                   lap}
                .run(ny);
            feed.row = nsq_row;
            feed.converted = feed.added = 0;
        }
    }
    // The last row has no later stages to ride along with.
    while (feed.converted + Isa::lanes <= ny) feed.advance<Isa>(ny);
    feed.finish(ny);
    return feed.sum;
}

// One entry point per instruction set and variant (noise on or off, exact or
// general division by dx^2), everything inlined into it (gnu::flatten: the
// square roots of the wider sets may only be inlined there). Contraction into
// fused multiply-adds stays off: it would round once where the field
// operations round twice.
#if KESTRIN_SIMD_WIDE
template <bool Noisy, class Lap>
[[gnu::target("avx512f"), gnu::optimize("fp-contract=off"), gnu::flatten]] double rk4_avx512(const SweepArgs& a,
                                                                                           Lap lap,
                                                                                           const Rk4Coeffs& c) {
    return rk4_sweep<Noisy, simd::IsaAvx512>(a, lap, c);
}
template <bool Noisy, class Lap>
[[gnu::target("avx2"), gnu::optimize("fp-contract=off"), gnu::flatten]] double rk4_avx2(const SweepArgs& a, Lap lap,
                                                                                       const Rk4Coeffs& c) {
    return rk4_sweep<Noisy, simd::IsaAvx2>(a, lap, c);
}
#endif
template <bool Noisy, class Lap>
[[gnu::optimize("fp-contract=off"), gnu::flatten]] double rk4_baseline(const SweepArgs& a, Lap lap,
                                                                       const Rk4Coeffs& c) {
    return rk4_sweep<Noisy, simd::IsaBaseline>(a, lap, c);
}

template <bool Noisy, class Lap>
double rk4_variant(const SweepArgs& a, Lap lap, const Rk4Coeffs& c) {
#if KESTRIN_SIMD_WIDE
    switch (simd::best_level()) {
        case simd::Level::Avx512: return rk4_avx512<Noisy>(a, lap, c);
        case simd::Level::Avx2: return rk4_avx2<Noisy>(a, lap, c);
        case simd::Level::Baseline: break;
    }
#endif
    return rk4_baseline<Noisy>(a, lap, c);
}

template <class Lap>
double rk4_lap(const SweepArgs& a, Lap lap, const Rk4Coeffs& c) {
    return a.noise ? rk4_variant<true>(a, lap, c) : rk4_variant<false>(a, lap, c);
}

double rk4(const SweepArgs& a) {
    const ActiveNematicParams& p = *a.p;
    const double h = p.dt, dx2 = a.dx * a.dx;
    const Rk4Coeffs c{LandauCoeffs(p), p.gamma_r, h / 2.0, h, h / 6.0};
    if (reciprocal_is_exact(dx2)) return rk4_lap(a, MultiplyByReciprocal{1.0 / dx2}, c);
    return rk4_lap(a, DivideBy{dx2}, c);
}

}  // namespace

Cartesian2DDry::Cartesian2DDry(ActiveNematicParams params, const LangevinNoise& noise)
    : params_(std::move(params)), noise_enabled_(params_.noise_amp > 0), noise_(noise) {}

void Cartesian2DDry::reserve(const QField2D& q) {
    require(q.data.size() == checked_storage(q.nx, q.ny, 2), "Q field storage does not match its grid");
    if (q.nx == 0 || q.ny == 0) return;
    // One extra 64-byte line so that the rows can start on a line boundary.
    const std::size_t need = checked_storage(kRowsTotal, block_size(static_cast<std::size_t>(q.ny)), 2) + kAlign;
    if (rows_.size() < need) rows_.resize(need);
}

StepStats Cartesian2DDry::step(QField2D& q, double /*t*/) {
    reserve(q);
    if (q.nx == 0 || q.ny == 0) return StepStats::with_mean_s(q.mean_order_param());

    double* rows = rows_.data();
    rows += (kAlign - reinterpret_cast<std::uintptr_t>(rows) / sizeof(double) % kAlign) % kAlign;
    const SweepArgs a{q.data.data(), static_cast<std::int64_t>(q.nx), static_cast<std::size_t>(q.ny), q.dx, rows,
                      &params_,      noise_enabled_ ? &noise_ : nullptr};
    const double sum = rk4(a);
    return StepStats::with_mean_s(sum / static_cast<double>(q.nx * q.ny));
}

}  // namespace kestrin
