#include "engine/analysis/model_choice.h"

#include <cmath>

namespace ferolan::analysis {

ModelCandidate candidate_at(const DataSet& data, const KaSet& ka, int fitted) {
  ModelCandidate c;
  c.constants = fitted;
  c.rss = residual_sum_of_squares(residual_vector(data, *fit_full(data, ka)));
  c.observations = static_cast<long>(data.n_wavelengths) * included_spectra(data).size();
  c.parameters = model_parameters(data.n_wavelengths, present_forms(ka), fitted);
  return c;
}

long model_parameters(int points, int forms, int constants) {
  return static_cast<long>(points) * forms + constants;
}

// BIC decides. Every extra constant brings a whole extra forms' spectrum, hundreds of linear
// parameters that can soak up noise; AIC's fixed 2 per parameter does not grow with the
// thousands of observations and so leans towards a spurious form, while BIC's ln(n) is
// consistent: it settles on the true number of forms as the data grow. AIC is reported beside
// it so that a reader can see when the two disagree. Ties go to the model listed first.
ModelChoice compare_models(const std::vector<ModelCandidate>& candidates) {
  ModelChoice choice;
  for (size_t i = 0; i < candidates.size(); ++i) {
    const ModelCandidate& c = candidates[i];
    ModelScore s{c, INFINITY, INFINITY};
    if (c.rss > 0 && c.observations > 0) {
      const double n = static_cast<double>(c.observations);
      const double fit = n * std::log(c.rss / n);
      s.aic = fit + 2.0 * c.parameters;
      s.bic = fit + c.parameters * std::log(n);
    }
    choice.scores.push_back(s);
    const int idx = static_cast<int>(i);
    if (std::isfinite(s.bic) &&
        (choice.preferred < 0 || s.bic < choice.scores[choice.preferred].bic))
      choice.preferred = idx;
    if (std::isfinite(s.aic) &&
        (choice.preferred_aic < 0 || s.aic < choice.scores[choice.preferred_aic].aic))
      choice.preferred_aic = idx;
  }
  return choice;
}

}  // namespace ferolan::analysis
