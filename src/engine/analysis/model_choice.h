// Information criteria for choosing the number of constants.
#pragma once

#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::analysis {

struct ModelCandidate {
  int constants = 0;      // fitted model: number of constants k
  double rss = 0;         // residual sum of squares at its best fit (absorbance²), > 0
  long observations = 0;  // n: points × included spectra
  long parameters = 0;    // p: points × forms + fitted constants
};

struct ModelScore {
  ModelCandidate model;
  double aic = 0;  // n·ln(RSS/n) + 2p (dimensionless)
  double bic = 0;  // n·ln(RSS/n) + p·ln(n)
};

struct ModelChoice {
  std::vector<ModelScore> scores;  // in the order given
  int preferred = -1;              // index of the least BIC (the model to report)
  int preferred_aic = -1;          // index of the least AIC, for comparison
};

// Parameters of a model with `forms` forms and `constants` fitted constants on `points` points.
long model_parameters(int points, int forms, int constants);

// The candidate of a searched result: full-resolution RSS of ka, points × included spectra
// observations, points × present forms + `fitted` parameters.
ModelCandidate candidate_at(const DataSet& data, const KaSet& ka, int fitted);

// Scores every candidate; a candidate with rss <= 0 or n <= 0 is scored +inf and never chosen.
ModelChoice compare_models(const std::vector<ModelCandidate>& candidates);

}  // namespace ferolan::analysis
