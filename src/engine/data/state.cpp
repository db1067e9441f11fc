#include "engine/data/state.h"

namespace ferolan {

void set_start_values(State& st) {
  st.search.opt_factor_min = 1.0001f;
  st.search.step_factor_start = 1.5f;
  st.calc.fit_step = 10;
  st.settings.path_len = 1;
}

}  // namespace ferolan
