// Everything one window owns: the state, the control model, and what the desktop lends it.
#pragma once

#include "window/layer.h"

#include <functional>
#include <memory>

#include "engine/data/state.h"
#include "engine/search/workspace.h"
#include "window/platform/canvas.h"
#include "window/platform/platform.h"
#include "window/ui/controls.h"
#include "window/view/plots.h"

namespace ferolan {

struct Module : CheckHandler {
  Module(Platform& platform, Canvas& spectrs, Canvas& pict_e, Canvas& picture1);
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // Runs the click handler of a box whose value changed (by the user or from code).
  void check_changed(Control& c) override;

  char decimal() const { return platform.decimal_separator(); }

  State state;
  Controls ui;
  Platform& platform;
  Canvas& spectrs;
  Canvas& pict_e;
  Canvas& picture1;
  // Told of every scored trial (not display or uncertainty fits), with the trial's pKa set.
  std::function<void(const TrialScore& trial)> on_trial;
  // The fit a search's new best was found with, as drawn; made once, since a fit state is
  // large and a fresh one costs a millisecond of page faults.
  std::unique_ptr<CalcState> shown_fit;
  // The stop button was pressed and the running search has not yet been told (at its next
  // yield).
  bool stop_request = false;
  PlotView view;
  bool running = false;      // a search is between its run lock and its end
  float run_start_time = 0;  // seconds since midnight
};

}  // namespace ferolan
