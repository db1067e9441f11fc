#include "search/grid_scan.h"

#include "search/run_control.h"

namespace ferolan {

void GridScan::slot(int k) {
  CalcState& c = m.st.calc;
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
    if (k == kSlots) m.pf.yield();
  }
  if (k == 3) show_elapsed(m);
}

}  // namespace ferolan
