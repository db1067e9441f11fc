// "Ручн. перебір": the manual grid over the ranges typed into the range boxes.
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan {

namespace {

constexpr const char* kNoTrialText = " Жодної комбінації рКа не розраховано: перевірте діапазони.";
constexpr const char* kStoppedText = " Розрахунок зупинено до першої комбінації рКа.";

// Reads the slot boxes in slot order, stopping at the first problem with its message.
bool read_slots(Module& m, ModelSetup& setup) {
  Controls& ui = m.ui;
  int16_t ok = 0;
  auto fail = [&](Msg msg, int k) {
    show_message(m, msg, k);
    return false;
  };
  for (int k = 1; k <= kSlots; ++k) {
    SlotSetup& slot = setup.slot[k];
    if (ui.Check2[k].checked) {
      m.state.calc.ka[k] = 0;
      continue;
    }
    m.state.calc.ka[k] = 1;
    if (!ui.Check1[k].checked) {
      slot.value = parse_number(ui.txt_pK[k].text, ok);
      if (ok == -1 || !start_value_ok(slot.value)) return fail(Msg::HeldValue, k);
      continue;
    }
    slot.start = parse_number(ui.txt_poch[k].text, ok);
    if (ok == -1 || !range_start_ok(slot.start)) return fail(Msg::RangeStart, k);
    slot.end = parse_number(ui.txt_kin[k].text, ok);
    if (ok == -1 || !range_end_ok(slot.end)) return fail(Msg::RangeEnd, k);
    if (slot.end <= slot.start) return fail(Msg::RangeOrder, k);
    slot.step = parse_number(ui.txt_krok[k].text, ok);
    if (ok == -1 || !range_step_ok(slot.start, slot.end, slot.step)) return fail(Msg::Step, k);
  }
  return true;
}

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
  ModelSetup setup = window_setup(m);
  if (!read_slots(m, setup)) return run_unlock(m);
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
