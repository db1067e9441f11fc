// Resampling intervals of refined constants: refits of data sets rebuilt from the fit and its
// own residuals (or of titrations drawn with replacement), seeded, on several threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/analysis/refine.h"
#include "engine/search/cancel.h"

namespace ferolan::analysis {

struct BootstrapOptions {
  int replicates = 200;
  uint64_t seed = 1;
  int threads = 0;          // 0: one per core; the result is the same for every count
  bool titrations = false;  // draw whole titrations instead of residuals (needs two or more)
  // Ends the resampling early from any thread: no replicate starts once it is cancelled, and
  // the result is not ok (stopped), for percentiles of the replicates that happened to finish
  // first would be no interval.
  const CancelToken* cancel = nullptr;
};

struct BootstrapResult {
  bool ok = false;
  bool stopped = false;  // by the cancel token
  std::string message;   // why not ok
  std::string method;    // "residuals" or "titrations"
  // Refits made (when stopped, those finished); those without a result (not counted below).
  int replicates = 0, failed = 0;
  uint64_t seed = 0;
  int threads = 0;                  // used
  Arr1<double, kSlots> lo{}, hi{};  // 2.5 and 97.5 percentiles of each fitted pKa (NaN others)
  Arr1<double, kSlots> sd{};        // standard deviation of the refitted pKa
  double elapsed_s = 0;
};

// Residual bootstrap: each replicate adds to the fitted absorbances residuals drawn with
// replacement from the same titration's, scaled by √(observations / dof) for the parameters
// the fit used up, and refines from the fit's constants. Replicate b draws from its own
// generator seeded by (seed, b), so neither the thread count nor the order matters. The
// titrations must be on one wavelength grid (see common_points) and fit must be their
// refine_joint result with the same modes and options.
BootstrapResult bootstrap(const std::vector<Titration>& titrations, const SlotModes& modes,
                          const RefineResult& fit, const JointOptions& options,
                          const BootstrapOptions& boot);

// The q-quantile (0..1) of the values by linear interpolation between order statistics.
double percentile(std::vector<double> values, double q);

}  // namespace ferolan::analysis
