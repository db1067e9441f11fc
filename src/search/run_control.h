// The frame of a running search: locking, stop, slot boxes, level, displays, finish.
#pragma once

#include <string>

#include "state/module.h"

namespace ferolan {

void shovaty(Controls& ui);      // run lock
void pokazaty(Controls& ui);     // run unlock
void Command1_Click(Module& m);  // stop request
void Check1_Click(Controls& ui, int n);
void Check2_Click(Controls& ui, int n);
void Option1_Click(SearchState& search, int n);
void Option2_Click(Settings& settings, int n);

// shovaty / pokazaty as a search uses them: besides, the spectrum boxes stay locked for the
// whole run (every trial of a run scores the same spectra) and `running` keeps a second
// search from starting inside this one. The unlock re-enables Check3(1..n_spectra) only.
void run_lock(Module& m);
void run_unlock(Module& m);

// The stop button sets the step factor to exactly 1.
inline bool stop_requested(const SearchState& search) {
  return search.step_factor == 1.0f;
}

// A trial becomes the best when its score, rounded to a float, is strictly lower.
bool accept_trial(CalcState& calc);

// Counts a scored trial and tells the module's trial listener of it.
void note_trial(Module& m, const Arr1<float, kSlots>& pk);

// 10^-pKa; ka_fits says whether it is a positive, finite double for a finite pKa.
double ka_of(float pk);
bool ka_fits(float pk);

// Seconds since run_start, read at now (both seconds since midnight); a run that crossed
// midnight gets the day back.
double elapsed_seconds(double now, float run_start);

void show_elapsed(Module& m);            // Lab_chas, "0#.0"
void show_s_a(Module& m);                // Label4 = s(A) of the last fit, "0.00e+00"
void set_progress(Controls& ui, int n);  // Label5 = n spaces
void full_fit(Module& m);                // fit_step 1, rozrah, fit_step 10
void draw_fit(Module& m);                // forms' spectra, then measured and calculated
// pokazaty, elapsed time, empty progress bar, completion text, focus to Command2.
void finish_block(Module& m);

constexpr const char* kDoneText = " РОЗРАХУНОК ЗАВЕРШЕНО !!!";

enum class Msg {
  TooFewSpectra,  // all searches
  StartValues,    // optimisation, final stage of the automatic grid
  HeldValue,      // manual grid
  HeldValueAuto,  // automatic grid
  RangeStart,
  RangeEnd,
  RangeOrder,
  Step,
};
std::string message_text(Msg msg, int n);
const char* message_title(Msg msg);
void show_message(Module& m, Msg msg, int n = 0);

}  // namespace ferolan
