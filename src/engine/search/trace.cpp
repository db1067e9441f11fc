#include "engine/search/trace.h"

#include <cstdio>

namespace ferolan {

std::string trace_line(const TrialScore& trial) {
  char buf[64];
  std::string line = std::to_string(trial.trial_no);
  for (int k = 1; k <= kSlots; ++k) {
    if (trial.ka[k] == 0) {
      line += "\t-";
      continue;
    }
    std::snprintf(buf, sizeof buf, "\t%.9g", static_cast<double>(trial.pk[k]));
    line += buf;
  }
  std::snprintf(buf, sizeof buf, "\t%.17g\t%d\n", trial.s_a_sq, static_cast<int>(trial.fit_step));
  line += buf;
  return line;
}

}  // namespace ferolan
