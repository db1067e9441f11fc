// "Автоперебір 1/5": the automatic grid, then the optimisation from its best set.
#include <string>

#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan {

namespace {

// Held values from the pKa boxes, stopping at the first problem with its message.
bool read_held_values(Module& m, ModelSetup& setup) {
  Controls& ui = m.ui;
  for (int k = 1; k <= kSlots; ++k) {
    const bool zeroed = ui.Check2[k].checked;
    m.state.calc.ka[k] = zeroed ? 0 : 1;
    if (zeroed || ui.Check1[k].checked) continue;
    int16_t ok = 0;
    const float v = parse_number(ui.txt_pK[k].text, ok);
    if (ok == -1 || !start_value_ok(v)) {
      show_message(m, Msg::HeldValueAuto, k);
      return false;
    }
    setup.slot[k].value = v;
  }
  return true;
}

}  // namespace

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
  ModelSetup setup = window_setup(m);
  if (!read_held_values(m, setup)) return run_unlock(m);
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
