// The numbers behind a Report: evaluation, cost, and the diagnostics at the result.
#pragma once

#include "cli/layer.h"

#include <iosfwd>
#include <optional>
#include <vector>

#include "cli/json.h"
#include "engine/analysis/curvature.h"
#include "engine/analysis/factors.h"
#include "engine/analysis/model_choice.h"
#include "engine/analysis/ph_scale.h"
#include "engine/analysis/residual_map.h"
#include "engine/analysis/speciation.h"
#include "engine/data/state.h"

namespace ferolan::cli {

// One fitted model of --compare.
struct ComparedModel {
  int constants = 0;
  Arr1<std::string, kSlots> texts;  // the pKa boxes after the search
  double s_a = 0;
};

struct Diagnostics {
  bool evaluated = false, searched = false;
  double s_full = 0, s_thinned = 0;
  std::optional<double> s_a_full;  // at the result, every point
  long fits = 0;
  double seconds = 0;

  std::optional<analysis::FactorAnalysis> fa;
  std::optional<analysis::StandardErrors> se;
  std::optional<analysis::Speciation> species;
  std::optional<analysis::ResidualDiagnostics> residuals;
  std::vector<analysis::ScaleConversion> scale;  // per slot 1..5 (index 0 unused)
  std::vector<ComparedModel> compared;
  std::optional<analysis::ModelChoice> choice;

  void print_factors(std::ostream& out) const;
  void print_slot(std::ostream& out, int k) const;
  void print_diagnostics(std::ostream& out) const;
  void json_factors(Json& j) const;
  void json_diagnostics(Json& j) const;
  // Index of slot k among the standard errors' slots, or -1.
  int se_index(int k) const;
};

}  // namespace ferolan::cli
