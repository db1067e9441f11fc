// What rozrah hands to a fit kernel. Plain pointers and numbers only: the kernels are
// compiled with their own instruction sets and must not share inline code with the rest.
#pragma once

#include <cstdint>

namespace ferolan::fit_grid {

constexpr int kJobForms = 6;
constexpr int kConcPitch = 8;  // doubles per row of FitJob::conc
constexpr int kChunk = 8;
// Floats of an absorbance row the kernels may read as whole vectors at least.
constexpr int kMinRowPitch = 16;

struct FitJob {
  // The included spectra u = 0..nu-1: their spectrum numbers and their [H+].
  const int32_t* used = nullptr;
  int nu = 0;
  const double* h = nullptr;   // h[u], readable up to nu rounded up to 8
  const double* ka = nullptr;  // ka[1..5]
  double acid_conc = 0;
  const float* absorbance = nullptr;  // point w, spectrum s at absorbance[w * row_pitch + s]
  int row_pitch = 0;                  // at least kMinRowPitch
  // The floats of a row up to the last included spectrum, at least kMinRowPitch: all that a
  // change of the data can reach (a data set with room to spare has longer rows).
  int row_used = 0;
  int ng = 0;  // grid points g = 0..ng-1 at w = 1 + g * step
  int step = 1;

  // Scratch. conc[u * kConcPitch + j], readable up to row nu. The grid rows hold `pitch`
  // doubles (a multiple of 8, at least ng rounded up to 8), 64-byte aligned.
  double* conc = nullptr;
  // Absorbance of included spectrum u at grid point g, in chunks of kChunk points:
  // at[g / kChunk * at_chunk + u * kChunk + g % kChunk] with at_chunk = kChunk * nu.
  double* at = nullptr;
  int at_chunk = 0;
  double* rhs = nullptr;  // right-hand sides after elimination, rhs[k * pitch + g]
  double* sol = nullptr;  // unknowns sol[j * pitch + g]
  double* eps = nullptr;  // clamped spectra eps[j * pitch + g]
  int pitch = 0;
  // What `at` was gathered from: the absorbance rows of the grid points (row_pitch floats
  // each) and the key ng, step, nu, used[0..nu-1]; ng = 0 in the key when `at` holds nothing.
  float* at_rows = nullptr;
  int32_t* at_key = nullptr;

  // Results. Spectrum s, form j (1-based) at form_conc[s * form_pitch + j]; point w, form j
  // at eps_forms[w * eps_pitch + j].
  float* form_conc = nullptr;
  int form_pitch = 0;
  float* eps_forms = nullptr;
  int eps_pitch = 0;
  // With ng >= 1: the normal matrix after elimination (0-based), the steps that eliminated it
  // and the solver variables of the last grid point.
  double m[kJobForms][kJobForms] = {};
  double factor[kJobForms][kJobForms] = {};   // per (column, row)
  uint8_t active[kJobForms][kJobForms] = {};  // 0 = row skipped in that column's pass
  double last_rhs[kJobForms] = {};
  double last_sol[kJobForms] = {};
  double sum = 0;  // of the squared residuals (0 without grid points)
};

// Concentrations of the included spectra, then, with ng >= 1, the forms' spectra at every
// grid point and the sum of the squared residuals, for n = 1 or 2 jobs. Two jobs share the
// spectra and the grid (the second uses the first's absorbances, `at` and its key) and differ
// in their constants: their fits run side by side.
using FitKernelFn = void (*)(FitJob* jobs, int n);

// Null when the kernel was not built (another processor family).
FitKernelFn fit_kernel_portable();
FitKernelFn fit_kernel_sse2();
FitKernelFn fit_kernel_avx2();
FitKernelFn fit_kernel_avx512();

// The kernel chosen by FEROLAN_KERNEL or select_fit_kernel.
FitKernelFn current_fit_kernel();
// Runs fn as the kernel from now on, until the next select_fit_kernel: the tests run the
// kernels' body at widths this processor has no instructions for.
void use_fit_kernel_fn(FitKernelFn fn);

}  // namespace ferolan::fit_grid
