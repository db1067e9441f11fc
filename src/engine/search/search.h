// The three searches over the pKa set, as an API: a model setup in, an outcome and a result
// out, and an observer told of every moment at which a window would show something. Part of
// the engine's public API; the forms that run on a caller's own states are in workspace.h.
#pragma once

#include <optional>
#include <vector>

#include "engine/data/data_set.h"
#include "engine/search/cancel.h"
#include "engine/search/messages.h"

namespace ferolan {

struct CalcState;  // the fit's state (internal): what an observer is shown reads from it

// One slot of the model. value: the start value of the optimisation or the held value of
// the grids (for the optimisation a held slot starts, and stays, at value); start, end, step:
// the manual grid's range of a fitted slot.
struct SlotSetup {
  SlotMode mode = SlotMode::Fitted;
  float value = 0;
  float start = 0, end = 0, step = 0;
};

struct ModelSetup {
  Arr1<SlotSetup, kSlots> slot{};
  int level = 1;  // optimisation: 1 normal, 2 high, 3 very high
  SlotModes modes() const;
};

enum class Outcome { Finished, Stopped, Refused, NothingScored };

struct Refusal {
  Msg msg = Msg::TooFewSpectra;
  int slot = 0;  // 0 when the message names no slot
};

// The fit at a result at full resolution, as the window draws and exports it, over the
// spectra that took part: u = 0..spectra.size()-1 stands for spectrum spectra[u] of the data
// set, point index p = 0..points-1 for wavelength point p + 1, form index j - 1 for form j.
struct FitArrays {
  std::vector<int> spectra;  // included spectra, data set numbering, ascending
  int points = 0;
  std::vector<double> form_conc;     // [u * kForms + j - 1], mol/L
  std::vector<double> form_spectra;  // [p * kForms + j - 1], absorbance per mol/L (as measured)
  std::vector<double> calculated;    // [u * points + p], absorbance
  std::vector<double> residuals;     // measured - calculated, same layout
};
struct SearchResult {
  Outcome outcome = Outcome::Finished;
  Refusal refusal;                // when Refused
  SlotModes modes{};              // as the search used them
  Arr1<float, kSlots> pk_best{};  // removed slots: as the search left them
  Arr1<float, kSlots> u{};        // uncertainty of each fitted slot (NaN: undetermined)
  Arr1<double, kSlots> ka{};      // 10^-pk_best, 0 for a removed constant
  double s_a = 0;                 // s(A) at pk_best at full resolution
  double s_a_thinned = 0;         // s(A) of the last scored trial, on the thinned grid
  long trials = 0;                // trials scored
  long fits = 0;                  // calls of rozrah, display and uncertainty fits included
  double seconds = 0;             // monotonic clock
  FitArrays fit;                  // at pk_best (Finished and Stopped)
};

// One pKa set scored as a search would score it, with the checks a search makes first:
// enough included spectra for the constants, data a fit can score, a usable value for every
// slot not removed. Never needs a state from the caller.
struct Evaluation {
  std::optional<Refusal> refusal;
  Arr1<double, kSlots> ka{};  // 10^-pk, 0 for a removed constant
  double s_a = 0;             // full resolution
  double s_a_thinned = 0;     // on the searches' grid (every tenth point)
  FitArrays fit;
};
Evaluation evaluate(const DataSet& data, const Arr1<float, kSlots>& pk, const SlotModes& modes);

// One scored trial, as the trace writes it.
struct TrialScore {
  long trial_no = 0;  // from 1 in each search
  Arr1<float, kSlots> pk{};
  Arr1<double, kSlots> ka{};  // 0 for a removed constant
  double s_a_sq = 0;
  int16_t fit_step = 10;
};

// When a new best set is shown, which search found it.
enum class BestKind {
  OptimisationStart,  // the score at the start values
  Optimisation,       // the centre moved after a sweep
  ManualGrid,
  AutoGrid,
  AutoFinalStart,  // the start of the automatic grid's final optimisation
};

// What a search shows at a moment, read-only: the pKa set tried or found best, its constants
// (0 for a removed one) and the fit they were last scored with (at full resolution for a best
// set). Valid only during the call that hands it over.
struct Shown {
  const Arr1<float, kSlots>& pk;
  const Arr1<double, kSlots>& ka;
  const CalcState& fit;
};

class SearchObserver {
 public:
  virtual ~SearchObserver() = default;
  // The window's event loop may run here.
  virtual void yield() {}
  // Whether the yield just made delivered a stop request (the window's stop button), told
  // once per request: the search then sets step_factor to exactly 1, and each search reacts
  // at its next stop test as it always does to that value.
  virtual bool stop_delivered() { return false; }
  // A trial was scored (told in the order of the trial sequence).
  virtual void scored(const TrialScore& trial) { (void)trial; }
  // Whether the trials of one optimisation sweep are scored first (two at a time, on
  // sweep_threads threads) and then taken in loop order, with no yield between them: only for
  // a caller whose stop never arrives at a yield. Otherwise each trial is scored and taken in
  // turn, with a yield before it.
  virtual bool plan_sweeps() const { return sweep_threads() > 1; }
  virtual int sweep_threads() const { return 1; }
  // The manual grid is about to score at.pk (at.ka: the constants as the last trial left them).
  virtual void trying(const Shown& at) { (void)at; }
  // A new best set after its display fit at full resolution; s_a_sq_thinned is the score
  // that made it the best (for AutoFinalStart: none, 0).
  virtual void best(BestKind kind, double s_a_sq_thinned, const Shown& at) {
    (void)kind;
    (void)s_a_sq_thinned;
    (void)at;
  }
  virtual void progress(int length) { (void)length; }  // the progress bar's new length
  virtual void elapsed() {}                            // time to refresh the elapsed time
  // The automatic grid's ranges of the coming pass (steps of 10 mark slots not scanned).
  virtual void grid_ranges(const Arr1<float, kSlots>& start, const Arr1<float, kSlots>& end,
                           const Arr1<float, kSlots>& step) {
    (void)start;
    (void)end;
    (void)step;
  }
  // A grid's best set at.pk (of the whole manual grid, or of a pass of the automatic grid)
  // with its fit at full resolution.
  virtual void grid_best_fitted(const Shown& at) { (void)at; }
  // The automatic grid's final stage starts from start: the grid's best set rounded to two
  // decimals, as the pKa boxes show it. A window whose boxes the user changed meanwhile returns
  // what they hold instead (0 for a box it cannot read: the stage is then refused).
  virtual Arr1<float, kSlots> final_start_values(const Arr1<float, kSlots>& best,
                                                 const Arr1<float, kSlots>& start) {
    (void)best;
    return start;
  }
};

// v rounded to two decimals as the mask "0.00" writes it, read back as a float.
float round_to_box(float v);

// The single rules every reader of a slot uses.
bool start_value_ok(float pk);  // a value read as 0, or whose constant is no double, is not
bool range_start_ok(float v);
bool range_end_ok(float v);
bool range_step_ok(float start, float end, float step);

// The searches on a run context of their own, made and sized for data and dropped at the end:
// the caller keeps only the result. cancel, when given, ends the search from any thread.
SearchResult optimise(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                      const CancelToken* cancel = nullptr);
SearchResult manual_grid(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                         const CancelToken* cancel = nullptr);
SearchResult auto_grid(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                       const CancelToken* cancel = nullptr);

}  // namespace ferolan
