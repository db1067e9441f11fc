// Two grid points per vector in the compiler's generic vectors, for processors without the
// x86 kernels; on x86 it can be forced (FEROLAN_KERNEL=portable) and gives the same bits.
#include "engine/model/fit_kernel_body.h"

namespace ferolan::fit_grid {

namespace {

// Four points × four spectra, one value at a time.
struct BlockScalar {
  static constexpr int kPoints = 4, kSpectra = 4;
  static void block(const float* const* rows, int s0, double* out, int pitch) {
    for (int s = 0; s < kSpectra; ++s, out += pitch)
      for (int p = 0; p < kPoints; ++p) out[p] = static_cast<double>(rows[p][s0 + s]);
  }
};

void run(FitJob* jobs, int n) {
  run_jobs<2, BlockScalar>(jobs, n);
}

}  // namespace

FitKernelFn fit_kernel_portable() {
  return run;
}

}  // namespace ferolan::fit_grid
