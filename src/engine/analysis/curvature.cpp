#include "engine/analysis/curvature.h"

#include <algorithm>
#include <cmath>

#include "engine/analysis/linalg.h"

namespace ferolan::analysis {

namespace {

double pk_of(double ka) {
  return -std::log10(ka);
}

std::vector<double> residuals_at(const DataSet& data, const KaSet& ka) {
  return residual_vector(data, *fit_full(data, ka));
}

// (JᵀJ)⁻¹ from the Jacobian; empty when singular.
std::vector<double> inverse_normal(const Jacobian& j) {
  const int k = static_cast<int>(j.slots.size());
  std::vector<double> n(static_cast<size_t>(k) * k, 0.0);
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b) {
      double sum = 0;
      for (int i = 0; i < j.rows; ++i)
        sum += j.d[static_cast<size_t>(a) * j.rows + i] * j.d[static_cast<size_t>(b) * j.rows + i];
      n[static_cast<size_t>(a) * k + b] = sum;
    }
  if (!invert(n, k)) n.clear();
  return n;
}

}  // namespace

// Step: 10^-pKa enters the concentrations rationally, so the central difference errs by
// h²/6·r‴ ~ 1e-5·|A| at h = 2e-3. The fit stores form_conc and eps_forms as float, adding
// ~1e-7·|A| of rounding to each residual, i.e. ~3e-5·|A| to a derivative at this step; both
// are near the optimum (3·1e-7/12)^(1/3) ≈ 3e-3 and far below a derivative (~0.3·|A|). What
// does limit agreement is the clamp of eps_forms at 0 in the bands' noisy tails, which makes
// the residuals only piecewise smooth: on generated data the standard errors moved by < 1%
// over h = 1e-4 … 3e-2. standard_errors reports the change on halving h as a check.
Jacobian residual_jacobian(const DataSet& data, const KaSet& ka, const std::vector<int>& slots,
                           double h) {
  Jacobian j;
  j.slots = slots;
  j.r = residuals_at(data, ka);
  j.rows = static_cast<int>(j.r.size());
  j.d.resize(static_cast<size_t>(j.rows) * slots.size());
  for (size_t c = 0; c < slots.size(); ++c) {
    const int k = slots[c];
    KaSet up = ka, down = ka;
    up[k] = std::pow(10.0, -(pk_of(ka[k]) + h));
    down[k] = std::pow(10.0, -(pk_of(ka[k]) - h));
    const std::vector<double> rp = residuals_at(data, up);
    const std::vector<double> rm = residuals_at(data, down);
    for (int i = 0; i < j.rows; ++i) j.d[c * j.rows + i] = (rp[i] - rm[i]) / (2 * h);
  }
  return j;
}

StandardErrors standard_errors(const DataSet& data, const KaSet& ka, const std::vector<int>& slots,
                               double h) {
  StandardErrors se;
  se.slots = slots;
  se.step = h;
  for (int k : slots) {
    if (k < 1 || k > kSlots || !(ka[k] > 0)) return se;  // only a present constant has a pKa
    se.pk.push_back(pk_of(ka[k]));
  }
  const int n = static_cast<int>(included_spectra(data).size());
  if (slots.empty() || n < 1 || data.n_wavelengths < 1) return se;

  const Jacobian j = residual_jacobian(data, ka, slots, h);
  const Jacobian j_half = residual_jacobian(data, ka, slots, h / 2);
  se.rss = residual_sum_of_squares(j.r);
  se.observations = j.rows;
  se.forms = present_forms(ka);
  const int k = static_cast<int>(slots.size());
  se.parameters = static_cast<long>(data.n_wavelengths) * se.forms + k;
  se.dof = se.observations - se.parameters;
  if (se.dof <= 0) return se;
  const double s2 = se.rss / se.dof;
  se.s_a = std::sqrt(s2);

  const std::vector<double> inv = inverse_normal(j);
  const std::vector<double> inv_half = inverse_normal(j_half);
  if (inv.empty() || inv_half.empty()) return se;
  se.covariance.resize(inv.size());
  for (size_t i = 0; i < inv.size(); ++i) se.covariance[i] = s2 * inv[i];
  for (int a = 0; a < k; ++a) {
    const double v = se.covariance[static_cast<size_t>(a) * k + a];
    const double v_half = s2 * inv_half[static_cast<size_t>(a) * k + a];
    if (!(v > 0) || !(v_half > 0)) return se;
    se.se.push_back(std::sqrt(v));
    se.step_check = std::max(se.step_check, std::abs(std::sqrt(v_half) / std::sqrt(v) - 1));
  }
  se.correlation.resize(inv.size());
  for (int a = 0; a < k; ++a)
    for (int b = 0; b < k; ++b)
      se.correlation[static_cast<size_t>(a) * k + b] =
          se.covariance[static_cast<size_t>(a) * k + b] / (se.se[a] * se.se[b]);
  se.ok = true;
  return se;
}

}  // namespace ferolan::analysis
