#include "engine/analysis/speciation.h"

#include <algorithm>
#include <cmath>

namespace ferolan::analysis {

Speciation speciation(const KaSet& ka, double ph_lo, double ph_hi, int n_points) {
  Speciation sp;
  const int forms = present_forms(ka);
  for (int j = 1; j <= forms; ++j) sp.forms.push_back(j);
  if (n_points < 1) return sp;
  // In logarithms, so that strong or weak constants at extreme pH never under- or overflow:
  // log t_(j-1) = -(6-j)·pH + sum_{k<j} log Ka_k, the same terms as the fit's C·t/D.
  std::vector<double> log_t(forms);
  for (int p = 0; p < n_points; ++p) {
    const double ph = n_points == 1 ? ph_lo : ph_lo + (ph_hi - ph_lo) * p / (n_points - 1);
    sp.ph.push_back(ph);
    double log_ka_sum = 0;
    for (int j = 1; j <= forms; ++j) {
      if (j > 1) log_ka_sum += std::log10(ka[j - 1]);
      log_t[j - 1] = -(kForms - j) * ph + log_ka_sum;
    }
    const double top = *std::max_element(log_t.begin(), log_t.end());
    double sum = 0;
    for (double& v : log_t) sum += (v = std::pow(10.0, v - top));
    for (double v : log_t) sp.fraction.push_back(v / sum);
  }
  return sp;
}

Speciation speciation(const DataSet& data, const KaSet& ka, int n_points) {
  double lo = INFINITY, hi = -INFINITY;
  for (int s : included_spectra(data)) {
    lo = std::min(lo, static_cast<double>(data.ph_values[s]));
    hi = std::max(hi, static_cast<double>(data.ph_values[s]));
  }
  if (lo > hi) return speciation(ka, 0, 0, 0);
  return speciation(ka, lo, hi, n_points);
}

}  // namespace ferolan::analysis
