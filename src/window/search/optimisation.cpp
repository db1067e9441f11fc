// "Оптимізація": the optimisation started from the pKa boxes.
#include "engine/model/fit.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan {

void Command2_Click(Module& m) {
  run_lock(m);
  m.run_start_time = static_cast<float>(m.platform.clock_seconds());
  const ModelSetup setup = read_setup(m, SearchKind::Optimisation);
  WindowObserver obs(m);
  const SearchResult r = optimise(workspace(m), setup, obs);
  obs.flush();
  if (r.outcome == Outcome::Refused) {
    if (unscorable(r.refusal)) return refuse_unscorable(m, r.refusal);
    show_message(m, r.refusal);
    return finish_block(m);
  }
  vyvid_pohybky(r, m.ui, m.decimal());
  finish_block(m);
}

}  // namespace ferolan
