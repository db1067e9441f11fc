// A small least-squares minimiser in pKa for the tests: Levenberg-Marquardt on the
// full-resolution residuals, with the diagnostics' own Jacobian.
#pragma once

#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::testing {

struct Refined {
  analysis::KaSet ka{};
  double rss = 0;  // absorbance²
  int iterations = 0;
  bool converged = false;
};

// Minimises the residual sum of squares over the pKa of `slots` from `start` (others held);
// pKa are kept within [-2, 16].
Refined refine_pka(const DataSet& data, const analysis::KaSet& start, const std::vector<int>& slots,
                   int max_iterations = 50);

}  // namespace ferolan::testing
