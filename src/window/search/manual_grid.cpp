// "Ручн. перебір": the manual grid over the ranges typed into the range boxes.
#include "engine/model/fit.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan {

namespace {

constexpr const char* kNoTrialText = " Жодної комбінації рКа не розраховано: перевірте діапазони.";
constexpr const char* kStoppedText = " Розрахунок зупинено до першої комбінації рКа.";

}  // namespace

void Command6_Click(Module& m) {
  SearchState& s = m.state.search;
  CalcState& c = m.state.calc;
  chy_dostatno_spektriv(m.state.data, slot_modes(m.ui), c);
  if (c.used_spectra_count == 0) {
    show_message(m, Msg::TooFewSpectra);
    return run_unlock(m);
  }
  run_lock(m);
  s.step_factor = 1.5f;
  m.run_start_time = static_cast<float>(m.platform.clock_seconds());
  const Arr1<double, kSlots> ka_before = c.ka;
  const ModelSetup setup = read_setup(m, SearchKind::ManualGrid);
  WindowObserver obs(m);
  const SearchResult r = manual_grid(workspace(m), setup, obs);
  obs.flush();
  if (r.outcome == Outcome::Refused) {
    if (!unscorable(r.refusal)) {
      show_message(m, r.refusal);
      return run_unlock(m);
    }
    // The previous results stay as they are shown.
    c.ka = ka_before;
    return refuse_unscorable(m, r.refusal);
  }
  if (r.outcome == Outcome::NothingScored) {
    // Nothing was scored: the previous results stay as they are shown.
    c.ka = ka_before;
    m.ui.set_text(m.ui.Label5, "  ");
    m.ui.set_text(m.ui.Label9, stop_requested(s) ? kStoppedText : kNoTrialText);
    return run_unlock(m);
  }
  vyvid_pohybky(r, m.ui, m.decimal());
  m.ui.set_text(m.ui.Label5, "  ");
  m.ui.set_text(m.ui.Label9, kDoneText);
  run_unlock(m);
}

}  // namespace ferolan
