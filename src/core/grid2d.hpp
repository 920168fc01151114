#pragma once
// Periodic 2D grid helpers shared by the fields and the finite-difference
// kernels. Vertex (i, j) lives at flat index i*ny + j (x slow, y fast).
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

// Five-point Laplacian at one vertex; the order of the additions is fixed so
// that every implementation of the stencil rounds identically.
inline double lap5(double c, double ip, double im, double jp, double jm, double dx2) {
    return (ip + im + jp + jm - 4.0 * c) / dx2;
}

// First-order upwind (u . grad) f at one vertex.
inline double upwind(double ux, double uy, double c, double ip, double im, double jp, double jm, double dx) {
    const double ddx = ux >= 0 ? c - im : ip - c;
    const double ddy = uy >= 0 ? c - jm : jp - c;
    return ux * (ddx / dx) + uy * (ddy / dx);
}

}  // namespace kestrin
