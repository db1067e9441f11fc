#include "engine/search/trace.h"

#include <cstdio>

namespace ferolan {

std::string trace_line(long trial_no, const Arr1<float, kSlots>& pk, const CalcState& calc) {
  char buf[64];
  std::string line = std::to_string(trial_no);
  for (int k = 1; k <= kSlots; ++k) {
    if (calc.ka[k] == 0) {
      line += "\t-";
      continue;
    }
    std::snprintf(buf, sizeof buf, "\t%.9g", static_cast<double>(pk[k]));
    line += buf;
  }
  std::snprintf(buf, sizeof buf, "\t%.17g\t%d\n", calc.s_a_sq, static_cast<int>(calc.fit_step));
  line += buf;
  return line;
}

}  // namespace ferolan
