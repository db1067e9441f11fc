#include "engine/model/fit_kernels.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "engine/model/fit_kernel_job.h"

namespace ferolan {

namespace {

struct Entry {
  const char* name;
  fit_grid::FitKernelFn (*get)();
};

// In the order of FitKernel.
constexpr Entry kEntries[] = {
    {"portable", fit_grid::fit_kernel_portable},
    {"sse2", fit_grid::fit_kernel_sse2},
    {"avx2", fit_grid::fit_kernel_avx2},
    {"avx512", fit_grid::fit_kernel_avx512},
};

const Entry& entry(FitKernel k) {
  return kEntries[static_cast<int>(k)];
}

// The processor's answer, which the CPU check also gives only when the operating system
// saves the wide registers.
bool processor_offers(FitKernel k) {
  if (k == FitKernel::portable) return true;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  switch (k) {
    case FitKernel::portable:
    case FitKernel::sse2:
      return true;
    case FitKernel::avx2:
      return __builtin_cpu_supports("avx2");
    case FitKernel::avx512:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f");
  }
#endif
  return false;
}

FitKernel from_name(const char* name) {
  if (name != nullptr)
    for (FitKernel k : kFitKernels)
      if (std::strcmp(name, entry(k).name) == 0) return k;
  return best_fit_kernel();
}

// Several threads may fit at once, each on its own state; the choice is shared.
std::atomic<int> g_kernel{-1};
std::atomic<fit_grid::FitKernelFn> g_grid{nullptr};

FitKernel use(FitKernel k) {
  if (!fit_kernel_supported(k)) k = best_fit_kernel();
  g_grid.store(entry(k).get(), std::memory_order_relaxed);
  g_kernel.store(static_cast<int>(k), std::memory_order_relaxed);
  return k;
}

FitKernel requested_by_env() {
  return from_name(std::getenv("FEROLAN_KERNEL"));
}

void ensure_chosen() {
  static const bool chosen = (use(requested_by_env()), true);
  (void)chosen;
}

}  // namespace

const char* fit_kernel_name(FitKernel k) {
  return entry(k).name;
}

FitKernel fit_kernel() {
  ensure_chosen();
  return static_cast<FitKernel>(g_kernel.load(std::memory_order_relaxed));
}

const char* fit_kernel_name() {
  return fit_kernel_name(fit_kernel());
}

bool fit_kernel_supported(FitKernel k) {
  return entry(k).get() != nullptr && processor_offers(k);
}

FitKernel best_fit_kernel() {
  FitKernel best = FitKernel::portable;
  for (FitKernel k : kFitKernels)
    if (fit_kernel_supported(k)) best = k;
  return best;
}

FitKernel select_fit_kernel(FitKernel k) {
  ensure_chosen();
  return use(k);
}

FitKernel select_fit_kernel_from_env() {
  ensure_chosen();
  return use(requested_by_env());
}

namespace fit_grid {

FitKernelFn current_fit_kernel() {
  ensure_chosen();
  return g_grid.load(std::memory_order_relaxed);
}

void use_fit_kernel_fn(FitKernelFn fn) {
  ensure_chosen();
  g_grid.store(fn, std::memory_order_relaxed);
}

}  // namespace fit_grid

}  // namespace ferolan
