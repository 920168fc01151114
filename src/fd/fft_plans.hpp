#pragma once
// Real-to-complex FFTs of periodic 2D grids for the spectral solvers.
//
// Plans are made once per grid shape with the estimating planner (no timing
// runs, so the same shape always gets the same algorithm and every run is
// bit-identical) and cached for the life of the process; planning is
// serialised by a mutex because the FFT library's planner is not
// thread-safe, while executing a plan on caller arrays is. A real nx by ny
// array (j fast) transforms into its half spectrum of nx by (ny/2 + 1)
// complex modes: mode (i, c) holds the x frequency of index i and the y
// frequency c; the modes with c > ny/2 follow from Hermitian symmetry,
// F(-k) = conj F(k).
//
// Transforms are unnormalised in both directions: inverse(forward(f)) is
// nx*ny times f.
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

struct fftw_plan_s;

namespace kestrin {

namespace detail {
void* fft_alloc(std::size_t bytes);
void fft_free(void* p) noexcept;
}  // namespace detail

// Owning array allocated with the FFT library's allocator, so that it has
// the alignment its SIMD kernels were planned for. Every array handed to
// RealFft2D comes from one of these. Zero-initialised; move-only.
template <class T>
class FftBuffer {
public:
    FftBuffer() = default;
    explicit FftBuffer(std::size_t n) : data_(n ? static_cast<T*>(detail::fft_alloc(n * sizeof(T))) : nullptr), size_(n) {
        for (std::size_t i = 0; i < n; ++i) data_[i] = T{};
    }
    FftBuffer(FftBuffer&& o) noexcept : data_(std::exchange(o.data_, nullptr)), size_(std::exchange(o.size_, 0)) {}
    FftBuffer& operator=(FftBuffer&& o) noexcept {
        if (this != &o) {
            detail::fft_free(data_);
            data_ = std::exchange(o.data_, nullptr);
            size_ = std::exchange(o.size_, 0);
        }
        return *this;
    }
    FftBuffer(const FftBuffer&) = delete;
    FftBuffer& operator=(const FftBuffer&) = delete;
    ~FftBuffer() { detail::fft_free(data_); }

    T* data() { return data_; }
    const T* data() const { return data_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    std::span<T> span() { return {data_, size_}; }
    std::span<const T> span() const { return {data_, size_}; }

private:
    T* data_ = nullptr;
    std::size_t size_ = 0;
};

// Handle on the cached forward and inverse plans of one grid shape; cheap to
// copy. A default-constructed handle belongs to the empty grid and must not
// be executed.
class RealFft2D {
public:
    RealFft2D() = default;
    // Plans for an nx by ny grid (both at least 1 and at most INT_MAX),
    // made on the first request for that shape.
    RealFft2D(std::uint64_t nx, std::uint64_t ny);

    std::uint64_t nx() const { return nx_; }
    std::uint64_t ny() const { return ny_; }
    std::size_t real_size() const { return static_cast<std::size_t>(nx_ * ny_); }
    std::size_t spectrum_cols() const { return static_cast<std::size_t>(ny_ / 2 + 1); }
    std::size_t spectrum_size() const { return static_cast<std::size_t>(nx_) * spectrum_cols(); }

    // F(kx, ky) = sum_x f(x) exp(-i k.x) over the grid, into the half
    // spectrum. `in` (real_size values) is not modified.
    void forward(const double* in, std::complex<double>* out) const;
    // f(x) = sum_k F(k) exp(+i k.x) over the Hermitian extension of the half
    // spectrum. `in` (spectrum_size values) is overwritten. The columns
    // c = 0 and, for even ny, c = ny/2 hold both k and -k; they must be
    // Hermitian (see hermitian_part_of_self_mirror_columns).
    void inverse(std::complex<double>* in, double* out) const;

private:
    std::uint64_t nx_ = 0, ny_ = 0;
    fftw_plan_s* forward_ = nullptr;
    fftw_plan_s* inverse_ = nullptr;
};

}  // namespace kestrin
