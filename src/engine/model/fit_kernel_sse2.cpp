// The baseline kernel, two grid points per vector; every x86-64 processor runs it.
#include "engine/model/fit_kernel_job.h"

#if defined(__SSE2__)
#include <emmintrin.h>

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
    const __m128 cols[4] = {r0, r1, r2, r3};
    for (int s = 0; s < 4; ++s, out += pitch) {
      _mm_storeu_pd(out, _mm_cvtps_pd(cols[s]));
      _mm_storeu_pd(out + 2, _mm_cvtps_pd(_mm_movehl_ps(cols[s], cols[s])));
    }
  }
};

void run(FitJob* jobs, int n) {
  run_jobs<2, Block4>(jobs, n);
}

}  // namespace

FitKernelFn fit_kernel_sse2() {
  return run;
}

}  // namespace ferolan::fit_grid

#else

ferolan::fit_grid::FitKernelFn ferolan::fit_grid::fit_kernel_sse2() {
  return nullptr;
}

#endif
