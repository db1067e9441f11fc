// Eight grid points per vector. Built with -mavx512f -mno-fma: a fused multiply-add rounds
// once where the per-point algorithm rounds twice.
#include "engine/model/fit_kernel_job.h"

#if defined(__AVX512F__) && !defined(__FMA__)
#include <immintrin.h>

#include "engine/model/fit_kernel_body.h"

namespace ferolan::fit_grid {

namespace {

// Eight points × eight spectra, transposed in registers.
struct Block8 {
  static constexpr int kPoints = 8, kSpectra = 8;
  [[gnu::always_inline]] static void block(const float* const* rows, int s0, double* out,
                                           int pitch) {
    __m256 r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm256_loadu_ps(rows[i] + s0);
    __m256 t[8], q[8];
    for (int i = 0; i < 8; i += 2) {
      t[i] = _mm256_unpacklo_ps(r[i], r[i + 1]);
      t[i + 1] = _mm256_unpackhi_ps(r[i], r[i + 1]);
    }
    for (int i = 0; i < 8; i += 4) {
      q[i] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(1, 0, 1, 0));
      q[i + 1] = _mm256_shuffle_ps(t[i], t[i + 2], _MM_SHUFFLE(3, 2, 3, 2));
      q[i + 2] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(1, 0, 1, 0));
      q[i + 3] = _mm256_shuffle_ps(t[i + 1], t[i + 3], _MM_SHUFFLE(3, 2, 3, 2));
    }
    // (The unmasked conversion trips a false uninitialised warning in GCC 12.)
    const __mmask8 all = 0xFF;
    for (int s = 0; s < 4; ++s) {
      _mm512_storeu_pd(out + s * pitch,
                       _mm512_maskz_cvtps_pd(all, _mm256_permute2f128_ps(q[s], q[s + 4], 0x20)));
      _mm512_storeu_pd(out + (s + 4) * pitch,
                       _mm512_maskz_cvtps_pd(all, _mm256_permute2f128_ps(q[s], q[s + 4], 0x31)));
    }
  }
};

void run(FitJob* jobs, int n) {
  run_jobs<8, Block8>(jobs, n);
}

}  // namespace

FitKernelFn fit_kernel_avx512() {
  return run;
}

}  // namespace ferolan::fit_grid

#else

ferolan::fit_grid::FitKernelFn ferolan::fit_grid::fit_kernel_avx512() {
  return nullptr;
}

#endif
