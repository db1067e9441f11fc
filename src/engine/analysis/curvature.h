// Standard errors of the fitted pKa from the curvature of the least-squares surface.
#pragma once

#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::analysis {

// Central-difference step in pKa units; see curvature.cpp for the choice.
constexpr double kPkStep = 2e-3;

struct Jacobian {
  std::vector<double> r;  // residuals at ka (absorbance), ordered as residual_vector
  std::vector<double> d;  // d[c * rows + i] = ∂r_i/∂pKa of slot slots[c] (absorbance/pKa)
  int rows = 0;
  std::vector<int> slots;
};

// Jacobian of the full-resolution residuals with respect to the pKa of the given slots, the
// forms' spectra re-fitted at every perturbed set, by central differences of step h (pKa).
// Held and removed constants keep their values in ka. Needs at least one included spectrum.
Jacobian residual_jacobian(const DataSet& data, const KaSet& ka, const std::vector<int>& slots,
                           double h = kPkStep);

struct StandardErrors {
  bool ok = false;                  // false: dof <= 0, no slot, or JᵀJ singular
  std::vector<int> slots;           // fitted slots, as given
  std::vector<double> pk;           // pKa at the result, -log10 ka
  std::vector<double> se;           // standard error of each pKa (pKa units)
  std::vector<double> covariance;   // k × k row-major (pKa²)
  std::vector<double> correlation;  // k × k row-major, 1 on the diagonal
  double rss = 0;                   // residual sum of squares (absorbance²)
  long observations = 0;            // points × included spectra
  int forms = 0;                    // forms present
  long parameters = 0;              // points × forms + fitted constants
  long dof = 0;                     // observations - parameters
  double s_a = 0;                   // sqrt(rss / dof), absorbance
  double step = 0;                  // h used (pKa)
  double step_check = 0;            // max relative change of se when h is halved
};

// Covariance s² (JᵀJ)⁻¹, s² = RSS/dof, at the result ka for the fitted slots.
StandardErrors standard_errors(const DataSet& data, const KaSet& ka, const std::vector<int>& slots,
                               double h = kPkStep);

}  // namespace ferolan::analysis
