// What every search does around its trials: the clock, the counts, the checks of the data
// before the first score, and the result.
#pragma once

#include <chrono>
#include <optional>

#include "engine/search/workspace.h"

namespace ferolan {

class RunRecord {
 public:
  explicit RunRecord(Workspace w);
  SearchResult refused(Refusal r) const;
  SearchResult nothing_scored() const;
  // The result at pk_best after the uncertainty estimate (calc holds its full fit).
  SearchResult finished(bool stopped, const SlotModes& modes) const;

 private:
  SearchResult base(Outcome outcome) const;
  Workspace w_;
  std::chrono::steady_clock::time_point t0_;
  long fits0_;
};

// How both grids start: the included spectra counted against the constants (too few refuse
// the search) and the step factor at 1.5.
std::optional<Refusal> start_grid(Workspace w, const SlotModes& modes);

// Scores one trial: the fit on the thinned grid, counted and told to the observer.
void score_trial(Workspace w, SearchObserver& obs, const Arr1<float, kSlots>& pk);

// Data a fit cannot score: a pH or an absorbance of an included spectrum that is no finite
// float, or a pH whose hydrogen-ion power overflows.
std::optional<Refusal> data_problem(const DataSet& data);
// A score that is not finite as a float, with its cause.
std::optional<Refusal> score_problem(const DataSet& data, const CalcState& calc);

}  // namespace ferolan
