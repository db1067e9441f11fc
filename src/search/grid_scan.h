// The nested loops that both grid searches share.
#pragma once

#include "state/module.h"

namespace ferolan {

// Slot 1 outermost: each slot's value runs from start by repeated float addition of step
// while it stays <= end; a present constant larger than the one before it (a falling pKa)
// skips that value and all nested under it; every step of slot 5 ends with a yield, and each
// finished scan of slot 3 refreshes the elapsed time.
struct GridScan {
  explicit GridScan(Module& module) : m(module) {}
  virtual ~GridScan() = default;

  Module& m;
  Arr1<float, kSlots> start{}, end{}, step{}, p{}, best{};
  bool stopped = false;  // set by trial() to leave every loop at once
  int progress_len = 2;

  void slot(int k);
  virtual void trial() = 0;
};

}  // namespace ferolan
