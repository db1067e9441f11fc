// The manual grid: every combination over the ranges and steps that the user typed.
#include <cmath>
#include <cstdint>
#include <limits>

#include "import/number.h"
#include "model/fit.h"
#include "model/uncertainty.h"
#include "search/grid_scan.h"
#include "search/run_control.h"
#include "search/searches.h"
#include "view/constants.h"
#include "view/format.h"

namespace ferolan {

namespace {

constexpr const char* kNoTrialText = " Жодної комбінації рКа не розраховано: перевірте діапазони.";

struct ManualGrid : GridScan {
  using GridScan::GridScan;
  bool have_best = false;
  int32_t planned = 0;
  long done = 0;

  bool read_slots();
  bool plan();
  void trial() override;
};

// A float loop p += step must move at every value up to end, or it would never finish.
bool step_advances(float end, float step) {
  return std::nextafter(end, std::numeric_limits<float>::infinity()) - end <= step;
}

bool ManualGrid::read_slots() {
  Controls& ui = m.ui;
  int16_t& ok = m.st.settings.parse_ok;
  auto fail = [&](Msg msg, int k) {
    show_message(m, msg, k);
    return false;
  };
  for (int k = 1; k <= kSlots; ++k) {
    if (ui.Check2[k].checked) {
      m.st.calc.ka[k] = 0;
      start[k] = end[k] = step[k] = 1;
      continue;
    }
    m.st.calc.ka[k] = 1;
    if (!ui.Check1[k].checked) {
      const float v = parse_number(ui.txt_pK[k].text, ok);
      if (ok == -1 || v == 0 || !ka_fits(v)) return fail(Msg::HeldValue, k);
      start[k] = end[k] = v;
      step[k] = 1;
      continue;
    }
    start[k] = parse_number(ui.txt_poch[k].text, ok);
    if (ok == -1 || start[k] < 0 || start[k] > 14) return fail(Msg::RangeStart, k);
    end[k] = parse_number(ui.txt_kin[k].text, ok);
    if (ok == -1 || end[k] < 1 || end[k] > 14) return fail(Msg::RangeEnd, k);
    if (end[k] <= start[k]) return fail(Msg::RangeOrder, k);
    step[k] = parse_number(ui.txt_krok[k].text, ok);
    if (ok == -1 || step[k] <= 0 || step[k] > end[k] - start[k] || !step_advances(end[k], step[k]))
      return fail(Msg::Step, k);
  }
  return true;
}

// The number of planned combinations; a grid beyond a 32-bit count is refused.
bool ManualGrid::plan() {
  double n = 1;
  for (int k = 1; k <= kSlots; ++k) {
    n *= std::floor((end[k] - start[k]) / step[k]) + 1;
    if (n > std::numeric_limits<int32_t>::max()) {
      show_message(m, Msg::Step, k);
      return false;
    }
  }
  planned = static_cast<int32_t>(n);
  return true;
}

void ManualGrid::trial() {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  if (stop_requested(s)) {
    stopped = true;
    return;
  }
  s.pk = p;
  vyvid_K(s, c, m.ui, m.dec());
  ++done;
  const int len = static_cast<int>(std::floor(28.0 * done / planned));
  if (len > progress_len) {
    progress_len = len;
    set_progress(m.ui, len);
    m.pf.yield();
  }
  rozrah(m.st.data, c);
  note_trial(m, p);
  if (accept_trial(c)) {
    best = p;
    have_best = true;
    show_s_a(m);
    full_fit(m);
    draw_fit(m);
  }
}

}  // namespace

void Command6_Click(Module& m) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  chy_dostatno_spektriv(m.st.data, m.ui, c);
  if (c.used_spectra_count == 0) {
    show_message(m, Msg::TooFewSpectra);
    return run_unlock(m);
  }
  run_lock(m);
  ManualGrid g{m};
  s.step_factor = 1.5f;
  s.run_start_time = static_cast<float>(m.pf.clock_seconds());
  const Arr1<double, kSlots> ka_before = c.ka;
  if (!g.read_slots() || !g.plan()) return run_unlock(m);
  c.s_a_sq_best = 1e20f;
  g.slot(1);
  if (!g.stopped) show_elapsed(m);

  if (!g.have_best) {
    // Nothing was scored: the previous results stay as they are shown.
    c.ka = ka_before;
    m.ui.set_text(m.ui.Label5, "  ");
    m.ui.set_text(m.ui.Label9, kNoTrialText);
    return run_unlock(m);
  }
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) c.ka[k] = ka_of(g.best[k]);
  full_fit(m);
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) m.ui.set_text(m.ui.txt_pK[k], format_single(g.best[k], "0.00", m.dec()));
  s.pk_best = g.best;
  pohybka(m.st.data, c, s, m.ui, m.dec());
  m.ui.set_text(m.ui.Label5, "  ");
  m.ui.set_text(m.ui.Label9, kDoneText);
  run_unlock(m);
}

}  // namespace ferolan
