// "Автоперебір 1/5": the automatic grid, then the optimisation from its best set.
#include <string>

#include "engine/model/fit.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan {

void Command9_Click(Module& m) {
  SearchState& s = m.state.search;
  CalcState& c = m.state.calc;
  chy_dostatno_spektriv(m.state.data, slot_modes(m.ui), c);
  if (c.used_spectra_count == 0) return show_message(m, Msg::TooFewSpectra);

  run_lock(m);
  s.step_factor = 1.5f;
  c.used_spectra_count = static_cast<int16_t>(count_used_spectra(m.state.data));
  m.run_start_time = static_cast<float>(m.platform.clock_seconds());
  std::string record;
  for (int k = 1; k <= kSlots; ++k) record += m.ui.txt_pK[k].text + " ";
  m.ui.set_text(m.ui.Label3, record);
  const ModelSetup setup = read_setup(m, SearchKind::AutoGrid);
  WindowObserver obs(m);
  const SearchResult r = auto_grid(workspace(m), setup, obs);
  if (r.outcome == Outcome::Refused && r.refusal.msg == Msg::StartValues) {
    // The final stage found no start values: the finish block without it.
    show_message(m, r.refusal);
    obs.flush();
    return finish_block(m);
  }
  obs.flush();
  if (r.outcome == Outcome::Refused) {
    if (unscorable(r.refusal)) return refuse_unscorable(m, r.refusal);
    show_message(m, r.refusal);
    return run_unlock(m);
  }
  vyvid_pohybky(r, m.ui, m.decimal());
  finish_block(m);
}

}  // namespace ferolan
