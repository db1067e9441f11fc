// The nested loops that both grid searches share.
#pragma once

#include <optional>

#include "engine/search/workspace.h"

namespace ferolan {

// Slot 1 outermost: each slot's value runs from start by repeated float addition of step
// while it stays <= end; a present constant larger than the one before it (a falling pKa)
// skips that value and all nested under it; every step of slot 5 ends with a yield, and each
// finished scan of slot 3 refreshes the elapsed time.
struct GridScan {
  GridScan(Workspace work, SearchObserver& observer) : w(work), obs(observer) {}
  virtual ~GridScan() = default;

  Workspace w;
  SearchObserver& obs;
  Arr1<float, kSlots> start{}, end{}, step{}, p{}, best{};
  bool stopped = false;          // set by trial() to leave every loop at once
  std::optional<Refusal> unfit;  // the first score could not be a score
  int progress_len = 2;

  void slot(int k);
  virtual void trial() = 0;
  // Scores p; false (and the loops left) when the first score of the run is not finite.
  bool score();
};

}  // namespace ferolan
