// The vector kernels of the fit's wavelength grid. One portable binary carries all of them
// and uses the widest the processor offers; every kernel gives the same bits.
#pragma once

namespace ferolan {

// From the slowest to the fastest; portable runs on every processor.
enum class FitKernel { portable, sse2, avx2, avx512 };
constexpr FitKernel kFitKernels[] = {FitKernel::portable, FitKernel::sse2, FitKernel::avx2,
                                     FitKernel::avx512};

const char* fit_kernel_name(FitKernel k);
// The kernel that rozrah uses now.
FitKernel fit_kernel();
const char* fit_kernel_name();
// Built into this program and offered by this processor (and its operating system).
bool fit_kernel_supported(FitKernel k);
FitKernel best_fit_kernel();

// Uses kernel k from now on, or the best supported one when k cannot run here; returns the
// kernel in use.
FitKernel select_fit_kernel(FitKernel k);
// Chooses as at start-up: FEROLAN_KERNEL=portable|sse2|avx2|avx512 forces a kernel; unset, an
// unknown name or a kernel this processor lacks gives the best supported one. Returns the kernel.
FitKernel select_fit_kernel_from_env();

}  // namespace ferolan
