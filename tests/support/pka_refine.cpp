#include "pka_refine.h"

#include <algorithm>
#include <cmath>

#include "engine/analysis/curvature.h"
#include "engine/analysis/linalg.h"

namespace ferolan::testing {

using analysis::KaSet;

namespace {

double rss_at(const DataSet& data, const KaSet& ka) {
  return analysis::residual_sum_of_squares(
      analysis::residual_vector(data, *analysis::fit_full(data, ka)));
}

}  // namespace

Refined refine_pka(const DataSet& data, const KaSet& start, const std::vector<int>& slots,
                   int max_iterations) {
  Refined out;
  out.ka = start;
  const int k = static_cast<int>(slots.size());
  double lambda = 1e-3;
  analysis::Jacobian j = analysis::residual_jacobian(data, out.ka, slots);
  out.rss = analysis::residual_sum_of_squares(j.r);
  for (out.iterations = 0; out.iterations < max_iterations; ++out.iterations) {
    std::vector<double> n(static_cast<size_t>(k) * k), g(k);
    for (int a = 0; a < k; ++a) {
      for (int i = 0; i < j.rows; ++i) g[a] += j.d[a * j.rows + i] * j.r[i];
      for (int b = 0; b < k; ++b)
        for (int i = 0; i < j.rows; ++i) n[a * k + b] += j.d[a * j.rows + i] * j.d[b * j.rows + i];
    }
    bool stepped = false;
    double largest = 0;
    while (lambda < 1e12) {
      std::vector<double> m = n;
      for (int a = 0; a < k; ++a) m[a * k + a] *= 1 + lambda;
      if (!analysis::invert(m, k)) {
        lambda *= 10;
        continue;
      }
      KaSet trial = out.ka;
      largest = 0;
      for (int a = 0; a < k; ++a) {
        double delta = 0;
        for (int b = 0; b < k; ++b) delta -= m[a * k + b] * g[b];
        const double pk = std::clamp(-std::log10(out.ka[slots[a]]) + delta, -2.0, 16.0);
        largest = std::max(largest, std::abs(pk + std::log10(out.ka[slots[a]])));
        trial[slots[a]] = std::pow(10.0, -pk);
      }
      const double rss = rss_at(data, trial);
      if (rss < out.rss) {
        out.ka = trial;
        out.rss = rss;
        lambda = std::max(lambda / 10, 1e-9);
        stepped = true;
        break;
      }
      lambda *= 10;
    }
    if (!stepped || largest < 1e-7) {
      out.converged = true;
      break;
    }
    j = analysis::residual_jacobian(data, out.ka, slots);
  }
  return out;
}

}  // namespace ferolan::testing
