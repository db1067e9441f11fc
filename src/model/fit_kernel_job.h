// What the fit hands to a grid kernel. Plain pointers and numbers only: the kernels are
// compiled with their own instruction sets and must not share inline code with the rest.
#pragma once

#include <cstdint>

namespace ferolan::fit_grid {

constexpr int kJobForms = 6;

struct GridJob {
  const float* absorbance = nullptr;  // point w, spectrum s at absorbance[w * row_pitch + s]
  int row_pitch = 0;
  const int16_t* used = nullptr;  // spectrum of each included spectrum u
  int nu = 0;
  const double* conc = nullptr;  // conc[u * kJobForms + j]
  // The normal matrix after elimination and the steps that eliminated it (0-based).
  double m[kJobForms][kJobForms] = {};
  double factor[kJobForms][kJobForms] = {};   // per (column, row)
  uint8_t active[kJobForms][kJobForms] = {};  // 0 = row skipped in that column's pass
  int ng = 0;                                 // grid points g = 0..ng-1 at w = 1 + g * step
  int step = 1;
  // Scratch of `pitch` doubles per row, rows 64-byte aligned, pitch a multiple of 8, at least
  // ng rounded up to a multiple of 8.
  double* at = nullptr;   // absorbance of included spectrum u at grid point g: at[u * pitch + g]
  double* rhs = nullptr;  // right-hand sides rhs[k * pitch + g]
  double* eps = nullptr;  // clamped spectra eps[j * pitch + g]
  int pitch = 0;
  float* eps_forms = nullptr;  // point w, form j (1-based) at eps_forms[w * eps_pitch + j]
  int eps_pitch = 0;
  // The solver variables of the last grid point: right-hand side after elimination, solution.
  double last_rhs[kJobForms] = {};
  double last_sol[kJobForms] = {};
};

// Fits every grid point and returns the sum of the squared residuals.
using GridKernel = double (*)(GridJob& job);

// Null when the kernel was not built (another processor family).
GridKernel grid_kernel_sse2();
GridKernel grid_kernel_avx2();
GridKernel grid_kernel_avx512();

// The kernel chosen by FEROLAN_KERNEL or select_fit_kernel.
GridKernel current_grid_kernel();

}  // namespace ferolan::fit_grid
