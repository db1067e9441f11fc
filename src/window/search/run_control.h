// The frame of a running search: locking, stop, slot boxes, level, displays, finish.
#pragma once

#include "window/layer.h"

#include <memory>
#include <string>

#include "engine/search/workspace.h"
#include "window/state/module.h"

namespace ferolan {

void shovaty(Controls& ui);      // run lock
void pokazaty(Controls& ui);     // run unlock
void Command1_Click(Module& m);  // stop request
void Check1_Click(Controls& ui, int n);
void Check2_Click(Controls& ui, int n);
void Option2_Click(Settings& settings, int n);

// shovaty / pokazaty as a search uses them: besides, the spectrum boxes stay locked for the
// whole run (every trial of a run scores the same spectra) and `running` keeps a second
// search from starting inside this one. The unlock re-enables Check3(1..n_spectra) only.
void run_lock(Module& m);
void run_unlock(Module& m);

// Seconds since run_start, read at now (both seconds since midnight); a run that crossed
// midnight gets the day back, a start rounded past now gives 0.
double elapsed_seconds(double now, float run_start);

void show_elapsed(Module& m);             // Lab_chas, "0#.0"
void show_s_a(Module& m, double s_a_sq);  // Label4 = s(A), "0.00e+00"
void set_progress(Controls& ui, int n);   // Label5 = n spaces
void draw_fit(Module& m);                 // forms' spectra, then measured and calculated
// pokazaty, elapsed time, empty progress bar, completion text, focus to Command2.
void finish_block(Module& m);

constexpr const char* kDoneText = " РОЗРАХУНОК ЗАВЕРШЕНО !!!";

void show_message(Module& m, Msg msg, int n = 0);
void show_message(Module& m, const Refusal& r);

// Data that no fit can score: the message, an empty progress bar and the unlock, without the
// completion text.
bool unscorable(const Refusal& r);
void refuse_unscorable(Module& m, const Refusal& r);

// The slot states as the boxes say: "Обнулити?" removes, else "Розраховувати?" fits, else held.
SlotModes slot_modes(const Controls& ui);
// A setup with the boxes' slot states and the chosen level, without values.
ModelSetup window_setup(Module& m);
// The setup as the given search reads the boxes: the pKa box of a slot that is not removed
// (the start value, or the held value of a grid) and the range boxes of a slot the manual
// grid scans. Only turns texts into values; the engine's check_setup judges them. A text the
// strict reader rejects becomes a value that fails the same test, and an empty start value
// box none at all (NaN).
ModelSetup read_setup(Module& m, SearchKind kind);
// A pKa box read as a start value is read (also one the user changed during a search).
float start_value_of(const std::string& text);
Workspace workspace(Module& m);

// The window's side of a running search: every moment the search reports becomes what the
// window shows at it.
class WindowObserver : public SearchObserver {
 public:
  explicit WindowObserver(Module& module) : m(module) {}
  void yield() override;
  bool stop_delivered() override;
  void scored(const TrialScore& trial) override;
  void trying(const Shown& at) override;
  void best(BestKind kind, double s_a_sq_thinned, const Shown& at) override;
  void progress(int length) override;
  void elapsed() override;
  void grid_ranges(const Arr1<float, kSlots>& start, const Arr1<float, kSlots>& end,
                   const Arr1<float, kSlots>& step) override;
  void grid_best_fitted(const Shown& at) override;
  Arr1<float, kSlots> final_start_values(const Arr1<float, kSlots>& best,
                                         const Arr1<float, kSlots>& start) override;

  // Draws a best set still waiting for its frame (at the end of a search).
  void flush();

  Module& m;

 private:
  // A new best is drawn when a frame is due: its forms' spectra and concentrations wait
  // in the module's shown_fit, since the next trial's fit overwrites them.
  void draw_best(const CalcState& fit);
  bool draw_pending_ = false;
};

// "value ± uncertainty" into the fitted slots' pKa boxes ("?" for an undetermined one).
void vyvid_pohybky(const SearchResult& r, Controls& ui, char dec);

}  // namespace ferolan
