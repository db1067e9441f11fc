// What the batch tool checks around a search so that a wrong answer is never reported as
// good: data no model can determine constants from, and results a chemist should look at
// again before publishing them.
#pragma once

#include "cli/layer.h"

#include <optional>
#include <string>
#include <vector>

#include "engine/analysis/factors.h"
#include "engine/data/state.h"

namespace ferolan::cli {

struct Problem {
  std::string code, message;
};

// The largest absorbance (in magnitude) below which the fit's score loses its precision as a
// Single: squared residuals of a millionth of it must stay normal numbers.
constexpr double kSmallestAbsorbance = 1e-10;
// Included spectra must span at least this many pH units for any constant to be determined.
constexpr double kNarrowestPhRange = 1.0;
// A fit whose s(A) exceeds this many times the factor analysis' noise does not fit.
constexpr double kLackOfFit = 3.0;

// Included spectra without any signal, with absorbances too small for the score, or with a
// pH at which the forms' concentrations lose precision.
std::optional<Problem> data_refusal(const DataSet& d);

// Included spectra whose pH values span too little to determine a constant.
std::optional<Problem> ph_range_refusal(const DataSet& d);

struct FitFacts {
  double s_a = 0;  // at the result, every point
  const analysis::FactorAnalysis* fa = nullptr;
  int constants = 0;              // fitted and held
  bool constants_forced = false;  // by --constants, --pk or --zero, not the factor analysis
  std::vector<int> fitted;        // slot numbers
  Arr1<float, kSlots> pk{}, u{};  // of every slot
};

// What a chemist should know of a result: a lack of fit, more constants than the factor
// analysis finds forms for, a constant outside the measured pH range, a negative uncertainty.
std::vector<Problem> fit_warnings(const DataSet& d, const FitFacts& f);

}  // namespace ferolan::cli
