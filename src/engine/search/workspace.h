// The searches on states the caller owns and sizes, for a front end whose states outlive a
// search (the window shows them afterwards), and the pieces the searches share. Internal to
// the engine and its front ends.
#pragma once

#include <optional>

#include "engine/data/state.h"
#include "engine/search/search.h"

namespace ferolan {

// The data the searches work on; the included spectra are the data set's spectrum_used.
// cancel, when given, ends the search from any thread.
struct Workspace {
  Workspace(const DataSet& d, CalcState& c, SearchState& s, const CancelToken* token = nullptr)
      : data(d), calc(c), search(s), cancel(token) {}
  const DataSet& data;
  CalcState& calc;
  SearchState& search;
  const CancelToken* cancel;
};

// The arrays of a full-resolution fit held in fit.
FitArrays fit_arrays(const DataSet& data, const CalcState& fit);

// The one judge of a setup, for every client: checks it as the given search reads it and
// writes the trial state it implies (ka, pk, pk_free); the first problem in slot order is
// returned. A start value that is NaN (none given) is refused before its slot is touched.
enum class SearchKind { Optimisation, ManualGrid, AutoGrid };
std::optional<Refusal> check_setup(SearchKind kind, const ModelSetup& setup, CalcState& calc,
                                   SearchState& search);

// Each search sizes the workspace's states for its data when it starts (grown only: no trial
// allocates). The states outlive the search for a caller that shows them (the window).
SearchResult optimise(Workspace w, const ModelSetup& setup, SearchObserver& obs);
SearchResult manual_grid(Workspace w, const ModelSetup& setup, SearchObserver& obs);
SearchResult auto_grid(Workspace w, const ModelSetup& setup, SearchObserver& obs);

// The scratch of a run: the fit's state and the search's, owned by the engine.
struct RunContext {
  CalcState calc;
  SearchState search;
};

// The optimisation's sweeps around base_pk (step_factor set by the caller, s_a_sq_best the
// score at the centre), exponent step h, the progress bar starting at progress_len. Returns
// true when a stop ended them. On return base_pk is the best set.
bool optimisation_sweeps(Workspace w, SearchObserver& obs, Arr1<float, kSlots>& base_pk, float h,
                         int progress_len);

// Trial bookkeeping shared by the searches.
// A stop delivered at a yield: step_factor is exactly 1.
inline bool stop_requested(const SearchState& search) {
  return search.step_factor == 1.0f;
}
// The stop test before a trial: a stop delivered at a yield, or the workspace's token.
inline bool stop_requested(const Workspace& w) {
  return stop_requested(w.search) || (w.cancel && w.cancel->cancelled());
}
// obs.yield(), and a stop it delivered as step_factor 1.
void yield_to(Workspace w, SearchObserver& obs);
// A trial becomes the best when its score, rounded to a float, is finite and strictly lower.
bool accept_trial(CalcState& calc);
bool accept_score(CalcState& calc, double s_a_sq);
// A full-resolution fit of the current constants, leaving fit_step at the searches' 10.
void full_fit(const DataSet& data, CalcState& calc);

}  // namespace ferolan
