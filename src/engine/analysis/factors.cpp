#include "engine/analysis/factors.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/analysis/fit_access.h"
#include "engine/analysis/linalg.h"

namespace ferolan::analysis {

FactorAnalysis factor_analysis(const DataSet& data, const FactorOptions& options) {
  FactorAnalysis fa;
  const std::vector<int> used = included_spectra(data);
  const int m = data.n_wavelengths;
  const int n = static_cast<int>(used.size());
  fa.points = m;
  fa.spectra = n;
  fa.factor = options.factor;
  if (m < 1 || n < 1) return fa;

  std::vector<double> a(static_cast<size_t>(m) * n);
  for (int w = 1; w <= m; ++w)
    for (int c = 0; c < n; ++c) a[static_cast<size_t>(w - 1) * n + c] = data.absorbance[w][used[c]];
  fa.singular = singular_values(a, m, n);
  const int r = static_cast<int>(fa.singular.size());

  // A rank-k approximation leaves (m-k)(n-k) degrees of freedom, so this is the noise σ that
  // the discarded singular values imply if the first k carry all the signal. The tail is
  // summed from the smallest value up: "total minus the leading ones" cancels to nothing.
  std::vector<double> tail(r + 1, 0.0);
  for (int k = r - 1; k >= 0; --k) tail[k] = tail[k + 1] + fa.singular[k] * fa.singular[k];
  for (int k = 0; k < r; ++k)
    fa.residual_rms.push_back(std::sqrt(tail[k] / (double(m - k) * (n - k))));
  const double total = tail[0];
  for (double s : fa.singular) fa.share.push_back(total > 0 ? s * s / total : 0);

  // The decomposition is exact for the data plus an error of 2-norm up to about
  // ε·s_1·max(m, n); spread over the m·n absorbances (Frobenius <= √min(m, n) × 2-norm) that
  // is an RMS of at most ε·s_1·√max(m, n). Noise below it cannot be told from rounding.
  fa.noise_floor =
      std::numeric_limits<double>::epsilon() * fa.singular[0] * std::sqrt(double(std::max(m, n)));

  // The model has at most six forms, so whatever lies beyond the sixth singular value is taken
  // as noise (slightly low: the truncation keeps the largest noise directions).
  fa.noise_given = options.noise > 0;
  fa.noise_from = std::min(kForms, r - 1);
  const double estimate = r >= 2 ? fa.residual_rms[fa.noise_from] : 0;
  fa.noise = fa.noise_given ? options.noise : std::max(estimate, fa.noise_floor);
  fa.noise_singular_value = fa.noise * (std::sqrt(double(m)) + std::sqrt(double(n)));
  for (double s : fa.singular)
    fa.sv_to_noise.push_back(fa.noise > 0 ? s / fa.noise_singular_value : INFINITY);

  // Past the true rank the ratio stays near 1 (within ~15% for the truncation bias and the
  // scatter of a few hundred degrees of freedom). A form left out adds s_(k+1)²/((m-k)(n-k))
  // to its square, so 1.5 only misses a form whose own RMS share of the absorbances,
  // s/sqrt(mn), is below about 1.1 σ: one that the noise hides anyway.
  const int kmax = std::min(kForms, r);
  fa.suggested_forms = 0;
  for (int k = 0; k < r; ++k) {
    fa.rms_to_noise.push_back(fa.noise > 0 ? fa.residual_rms[k] / fa.noise : INFINITY);
    if (k >= 1 && k <= kmax && fa.suggested_forms == 0 && fa.rms_to_noise[k] <= fa.factor)
      fa.suggested_forms = k;
  }
  if (fa.singular[0] == 0) {  // nothing absorbs: not even one form
    fa.suggested_forms = 0;
    return fa;
  }
  if (fa.suggested_forms == 0) {
    fa.suggested_forms = kmax;
    fa.reached_noise = false;
  }
  if (fa.suggested_forms < r) fa.residual_noise = fa.residual_rms[fa.suggested_forms];
  return fa;
}

std::string factor_summary(const FactorAnalysis& fa) {
  const int forms = fa.suggested_forms;
  const int constants = std::max(forms - 1, 0);
  return "data support " + std::to_string(forms) + (forms == 1 ? " form" : " forms") + ", i.e. " +
         std::to_string(constants) + (constants == 1 ? " constant" : " constants");
}

}  // namespace ferolan::analysis
