#include "engine/search/grid_scan.h"

#include "engine/model/fit.h"
#include "engine/search/run.h"

namespace ferolan {

void GridScan::slot(int k) {
  CalcState& c = w.calc;
  for (p[k] = start[k]; p[k] <= end[k]; p[k] += step[k]) {
    bool skip = false;
    if (k == 1) {
      c.ka[1] = ka_of(p[1]);
    } else {
      if (c.ka[k] > 0) c.ka[k] = ka_of(p[k]);
      skip = c.ka[k] > c.ka[k - 1];
    }
    if (!skip) {
      if (k < kSlots)
        slot(k + 1);
      else
        trial();
      if (stopped) return;
    }
    if (k == kSlots) yield_to(w, obs);
  }
  if (k == 3) obs.elapsed();
}

bool GridScan::score() {
  const bool first = w.search.trials == 0;
  score_trial(w, obs, p);
  if (first && (unfit = score_problem(w.data, w.calc))) {
    stopped = true;
    return false;
  }
  return true;
}

}  // namespace ferolan
