#pragma once
// Periodic 2D grid helpers shared by the fields and the finite-difference
// kernels. Vertex (i, j) lives at flat index i*ny + j (x slow, y fast).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace kestrin {

// nx*ny*components, refusing grids whose storage cannot be addressed
// (a product that wraps past 2^64 would otherwise make a tiny buffer
// that every stencil then overruns).
inline std::size_t checked_storage(std::uint64_t nx, std::uint64_t ny, std::uint64_t comps) {
    constexpr std::uint64_t limit = std::numeric_limits<std::size_t>::max() / sizeof(double) / 8;
    if (nx != 0 && ny > limit / nx) throw std::length_error("grid too large");
    const std::uint64_t n = nx * ny;
    if (n > limit / comps) throw std::length_error("grid too large");
    return static_cast<std::size_t>(n * comps);
}

// Numerator of the five-point Laplacian, ((((ip + im) + jp) + jm) - 4c). The
// order of the additions is fixed so that every implementation of the
// stencil rounds identically. T is double or a vector of doubles whose lanes
// are independent vertices; the calling convention of a wide vector depends
// on the instruction set a function is compiled for, so the helpers that take
// one are always inlined into their (vectorised) caller.
template <class T>
[[gnu::always_inline]] inline T lap5_sum(const T& c, const T& ip, const T& im, const T& jp, const T& jm) {
    return ip + im + jp + jm - 4.0 * c;
}

// Five-point Laplacian at one vertex.
inline double lap5(double c, double ip, double im, double jp, double jm, double dx2) {
    return lap5_sum(c, ip, im, jp, jm) / dx2;
}

// Calls f(k, kip, kim, kjp, kjm) for every vertex in flat order with the flat
// indices of the vertex and of its periodic neighbours (i+1, j), (i-1, j),
// (i, j+1), (i, j-1). Only the first and last row and column wrap; the
// interior needs no modulo. Grids of one row or column are their own
// neighbours.
template <class F>
inline void for_each_periodic_vertex(std::uint64_t nx, std::uint64_t ny, F&& f) {
    if (nx == 0 || ny == 0) return;
    for (std::uint64_t i = 0; i < nx; ++i) {
        const std::size_t row = i * ny;
        const std::size_t rp = (i + 1 == nx ? 0 : i + 1) * ny;
        const std::size_t rm = (i == 0 ? nx - 1 : i - 1) * ny;
        f(row, rp, rm, row + (ny > 1 ? 1 : 0), row + ny - 1);
        for (std::size_t j = 1; j + 1 < ny; ++j) f(row + j, rp + j, rm + j, row + j + 1, row + j - 1);
        if (ny > 1) f(row + ny - 1, rp + ny - 1, rm + ny - 1, row, row + ny - 2);
    }
}

// Division by a fixed spacing (dx, 2 dx or dx^2). Where the reciprocal of the
// divisor is exact (a power of two with a normal reciprocal), x * (1/d) and
// x / d are the correctly rounded value of the same real number, so a kernel
// may multiply instead of dividing without changing a bit. T is double or a
// vector of doubles (always inlined, as lap5_sum).
struct DivideBy {
    double d;
    template <class T>
    [[gnu::always_inline]] T operator()(const T& x) const {
        return x / d;
    }
};

struct MultiplyByReciprocal {
    double r;
    template <class T>
    [[gnu::always_inline]] T operator()(const T& x) const {
        return x * r;
    }
};

inline bool reciprocal_is_exact(double d) {
    int e = 0;
    return std::isnormal(d) && std::frexp(d, &e) == 0.5 && std::isnormal(1.0 / d);
}

// First-order upwind (u . grad) f at one vertex; over_dx divides by the
// spacing (DivideBy{dx} or an exact MultiplyByReciprocal). T is double or a
// vector of doubles (the choice is then made lane by lane).
template <class T, class OverDx>
[[gnu::always_inline]] inline T upwind_with(const T& ux, const T& uy, const T& c, const T& ip, const T& im,
                                            const T& jp, const T& jm, OverDx over_dx) {
    const T ddx = ux >= 0.0 ? c - im : ip - c;
    const T ddy = uy >= 0.0 ? c - jm : jp - c;
    return ux * over_dx(ddx) + uy * over_dx(ddy);
}

inline double upwind(double ux, double uy, double c, double ip, double im, double jp, double jm, double dx) {
    return upwind_with<double>(ux, uy, c, ip, im, jp, jm, DivideBy{dx});
}

}  // namespace kestrin
