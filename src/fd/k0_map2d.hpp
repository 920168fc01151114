#pragma once
// The K0 transfer map from the rotor order tensor to the lipid order tensor:
// a direct, truncated real-space convolution with the screened kernel
//
//   q_lip(x) = dx^2 / (2 pi xi^2) sum_{offsets d != 0} K0(|d| / xi) q_rot(x + d),
//
// K0 the modified Bessel function of the second kind of order zero. The
// kernel K0(r/xi) / (2 pi xi^2) integrates to one over the plane, so a
// uniform field maps to nearly itself (the sum misses the centre cell and
// is cut at the radius R).
//
// Offsets (di, dj) run over -R..R-1 on each axis (one more on the negative
// side), R = min(ceil(6 xi / dx), nx/2, ny/2), and wrap periodically. Each
// output value is summed in the fixed order di outer, dj inner, starting
// from zero; the kernel depends only on the offset and is evaluated once per
// offset, not per vertex, which changes no rounding.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"
#include "fd/k0_spectral2d.hpp"

namespace kestrin {

// K0(x) by the polynomial approximations of Abramowitz and Stegun: 9.8.5
// (with I0 from 9.8.1) for 0 < x <= 2, 9.8.6 for x > 2 (absolute error below
// about 1e-8 and relative error below about 2e-7, respectively). +infinity
// for x <= 0; NaN for NaN.
double bessel_k0(double x);

// Cut-off radius in grid points: ceil(6 xi / dx) converted to an integer
// (NaN gives 0, out-of-range values saturate), then capped at nx/2 and ny/2.
// A radius <= 0 means an empty sum.
std::int64_t k0_radius(double xi, double dx, std::uint64_t nx, std::uint64_t ny);

// Kernel table and scratch rows for one grid, reused from step to step. The
// table is rebuilt only when xi, dx or the radius change.
// How the map is evaluated: the direct sum in its fixed order, the
// equivalent FFT correlation, or whichever is cheaper for the radius.
enum class K0Method { automatic, direct, spectral };

class K0MapWorkspace2D {
public:
    K0MapWorkspace2D(std::uint64_t nx, std::uint64_t ny);

    std::uint64_t nx() const { return nx_; }
    std::uint64_t ny() const { return ny_; }

    // q_lip of q_rot (on this workspace's grid) into `out`. Small radii use
    // the direct sum; once the (2R)^2 taps per vertex cost more than a few
    // FFTs of the grid, the same correlation is evaluated spectrally (equal
    // to the direct sum up to rounding).
    // q_lip of q_rot (on this workspace's grid) into `out`, which takes
    // q_rot's nx, ny and dx and may be q_rot itself.
    void apply(const QField2D& q_rot, const ActiveNematicParams& p, QField2D& out,
               K0Method method = K0Method::automatic);

private:
    void build_kernel(double xi, double dx, std::int64_t radius);

    std::uint64_t nx_, ny_;
    // Kernel of the current (xi, dx, radius): for each di = -R..R-1, the taps
    // [tap_begin_[di + R], tap_begin_[di + R + 1]) list the dj that are not
    // skipped, in increasing order, with their weight K0(r / xi).
    bool have_kernel_ = false;
    double xi_ = 0, dx_ = 0;
    std::int64_t radius_ = 0;
    std::vector<std::size_t> tap_begin_;
    std::vector<std::int64_t> tap_dj_;
    std::vector<double> tap_w_;
    // q_rot with every row extended by R wrapped vertices on each side, so
    // that a shift by dj reads one contiguous run.
    std::vector<double> padded_;
    std::vector<double> acc_;
    std::optional<K0SpectralWorkspace2D> spectral_;  // one output row, both components
};

QField2D k0_convolution(const QField2D& q_rot, const ActiveNematicParams& p, K0Method method = K0Method::automatic);

}  // namespace kestrin
