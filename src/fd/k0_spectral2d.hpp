#pragma once
// The K0 transfer map as a circular convolution evaluated with FFTs.
//
// The direct sum out(x) = sum_d w(d) q(x + d) over the offsets d in
// [-R, R)^2 (centre skipped) is a periodic correlation with the truncated
// kernel, because 2R never exceeds the grid: each offset lands on its own
// residue. Placing w(d) at index -d (mod n) turns it into a convolution,
// out = IFFT(FFT(q) FFT(w')) / (nx ny). The kernel spectrum depends only on
// (xi, dx, R, grid) and is kept between calls. The cost is a few FFTs
// instead of (2R)^2 multiply-adds per vertex; the result equals the direct
// sum up to rounding.
#include <complex>
#include <cstdint>

#include "core/fields2d.hpp"
#include "core/params2d.hpp"
#include "fd/fft_plans.hpp"

namespace kestrin {

class K0SpectralWorkspace2D {
public:
    K0SpectralWorkspace2D(std::uint64_t nx, std::uint64_t ny);
    std::uint64_t nx() const { return nx_; }
    std::uint64_t ny() const { return ny_; }

    // q_lip of q_rot (on this workspace's grid) for a radius R >= 1 into
    // `out`, which takes q_rot's nx, ny and dx and may be q_rot itself.
    void apply(const QField2D& q_rot, double xi, std::int64_t radius, QField2D& out);

private:
    void build_kernel(double xi, double dx, std::int64_t radius);

    std::uint64_t nx_, ny_;
    RealFft2D fft_;
    bool have_kernel_ = false;
    double xi_ = 0, dx_ = 0;
    std::int64_t radius_ = 0;
    FftBuffer<std::complex<double>> kernel_hat_;
    FftBuffer<double> real_;
    FftBuffer<std::complex<double>> spec_;
};

}  // namespace kestrin
