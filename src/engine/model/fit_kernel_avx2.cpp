// Four grid points per vector. Built with -mavx2 -mno-fma: a fused multiply-add rounds once
// where the per-point algorithm rounds twice.
#include "engine/model/fit_kernel_job.h"

#if defined(__AVX2__) && !defined(__FMA__)
#include <immintrin.h>

#include "engine/model/fit_kernel_body.h"

namespace ferolan::fit_grid {

namespace {

// Four points × four spectra, transposed in registers.
struct Block4 {
  static constexpr int kPoints = 4, kSpectra = 4;
  [[gnu::always_inline]] static void block(const float* const* rows, int s0, double* out,
                                           int pitch) {
    __m128 r0 = _mm_loadu_ps(rows[0] + s0), r1 = _mm_loadu_ps(rows[1] + s0);
    __m128 r2 = _mm_loadu_ps(rows[2] + s0), r3 = _mm_loadu_ps(rows[3] + s0);
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    _mm256_storeu_pd(out, _mm256_cvtps_pd(r0));
    _mm256_storeu_pd(out + pitch, _mm256_cvtps_pd(r1));
    _mm256_storeu_pd(out + 2 * pitch, _mm256_cvtps_pd(r2));
    _mm256_storeu_pd(out + 3 * pitch, _mm256_cvtps_pd(r3));
  }
};

void run(FitJob* jobs, int n) {
  run_jobs<4, Block4>(jobs, n);
}

}  // namespace

FitKernelFn fit_kernel_avx2() {
  return run;
}

}  // namespace ferolan::fit_grid

#else

ferolan::fit_grid::FitKernelFn ferolan::fit_grid::fit_kernel_avx2() {
  return nullptr;
}

#endif
