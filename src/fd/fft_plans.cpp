#include "fd/fft_plans.hpp"

#include <fftw3.h>

#include <climits>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "core/internal_fault.hpp"

namespace kestrin {

namespace detail {

void* fft_alloc(std::size_t bytes) {
    void* p = fftw_malloc(bytes);
    if (!p) throw std::bad_alloc();
    return p;
}

void fft_free(void* p) noexcept {
    if (p) fftw_free(p);
}

}  // namespace detail

namespace {

struct PlanPair {
    fftw_plan forward;
    fftw_plan inverse;
};

// Plans keyed by (nx, ny). The map and its plans are never freed: handles
// copied out of it stay valid until the process ends, and nothing runs at
// static destruction time.
struct PlanCache {
    std::mutex mutex;
    std::map<std::pair<std::uint64_t, std::uint64_t>, PlanPair> plans;
};

PlanCache& cache() {
    static PlanCache* c = new PlanCache;
    return *c;
}

PlanPair make_plans(int nx, int ny) {
    // The estimating planner does not touch the arrays, but it reads their
    // alignment: planning on arrays from the library's allocator makes the
    // plans valid for every FftBuffer. The inverse may destroy its input,
    // which lets it use the faster multi-dimensional algorithms.
    const std::size_t n_real = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    const std::size_t n_spec = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny / 2 + 1);
    FftBuffer<double> real(n_real);
    FftBuffer<std::complex<double>> spectrum(n_spec);
    auto* s = reinterpret_cast<fftw_complex*>(spectrum.data());
    PlanPair p{fftw_plan_dft_r2c_2d(nx, ny, real.data(), s, FFTW_ESTIMATE),
               fftw_plan_dft_c2r_2d(nx, ny, s, real.data(), FFTW_ESTIMATE | FFTW_DESTROY_INPUT)};
    require(p.forward != nullptr && p.inverse != nullptr, "FFT planner refused a 2D grid");
    return p;
}

void require_aligned(const void* p) {
    require(fftw_alignment_of(static_cast<double*>(const_cast<void*>(p))) == 0,
            "FFT array is not aligned as planned (allocate it with FftBuffer)");
}

}  // namespace

RealFft2D::RealFft2D(std::uint64_t nx, std::uint64_t ny) : nx_(nx), ny_(ny) {
    require(nx >= 1 && ny >= 1 && nx <= INT_MAX && ny <= INT_MAX, "FFT grid size out of range");
    PlanCache& c = cache();
    std::lock_guard lock(c.mutex);
    auto it = c.plans.find({nx, ny});
    if (it == c.plans.end()) it = c.plans.emplace(std::pair{nx, ny}, make_plans(static_cast<int>(nx), static_cast<int>(ny))).first;
    forward_ = it->second.forward;
    inverse_ = it->second.inverse;
}

void RealFft2D::forward(const double* in, std::complex<double>* out) const {
    require(forward_ != nullptr, "FFT of an empty grid");
    require_aligned(in);
    require_aligned(out);
    // An out-of-place real-to-complex plan preserves its input.
    fftw_execute_dft_r2c(forward_, const_cast<double*>(in), reinterpret_cast<fftw_complex*>(out));
}

void RealFft2D::inverse(std::complex<double>* in, double* out) const {
    require(inverse_ != nullptr, "FFT of an empty grid");
    require_aligned(in);
    require_aligned(out);
    fftw_execute_dft_c2r(inverse_, reinterpret_cast<fftw_complex*>(in), out);
}

}  // namespace kestrin
