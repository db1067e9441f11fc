// The automatic grid: passes over 1..13 in steps of 3, each narrowed around the best point
// with half the step, then the optimisation sweep polishes the result.
#include <cstdint>

#include "import/number.h"
#include "model/fit.h"
#include "model/uncertainty.h"
#include "search/grid_scan.h"
#include "search/optimisation.h"
#include "search/run_control.h"
#include "search/searches.h"
#include "view/constants.h"
#include "view/format.h"

namespace ferolan {

namespace {

constexpr float kNotScanned = 10;  // step of a held or zeroed slot
constexpr float kStopMark = 0.0001f;
constexpr int kLongestBar = 32766;

struct AutoGrid : GridScan {
  using GridScan::GridScan;

  bool prepare();
  void show_ranges();
  void pass();
  void trial() override;
  void end_of_pass();
  bool finished() const;
  void narrow();
  void grow_bar();
};

bool AutoGrid::prepare() {
  Controls& ui = m.ui;
  for (int k = 1; k <= kSlots; ++k) {
    const bool zeroed = ui.Check2[k].checked;
    m.st.calc.ka[k] = zeroed ? 0 : 1;
    if (!zeroed && !ui.Check1[k].checked) {
      const float v = parse_number(ui.txt_pK[k].text, m.st.settings.parse_ok);
      if (m.st.settings.parse_ok == -1 || v == 0 || !ka_fits(v)) {
        show_message(m, Msg::HeldValueAuto, k);
        return false;
      }
      start[k] = end[k] = v;
      step[k] = kNotScanned;
    } else {
      start[k] = 1;
      end[k] = 13;
      step[k] = 3;
    }
    if (zeroed) {
      step[k] = kNotScanned;
      start[k] = end[k] = 10;
    }
  }
  return true;
}

void AutoGrid::show_ranges() {
  Controls& ui = m.ui;
  const char dec = m.dec();
  for (int k = 1; k <= kSlots; ++k) {
    const bool scanned = step[k] < kNotScanned;
    ui.set_text(ui.txt_poch[k], scanned ? format_single(start[k], "#0.00", dec) : "");
    ui.set_text(ui.txt_kin[k], scanned ? format_single(end[k], "#0.00", dec) : "");
    ui.set_text(ui.txt_krok[k], scanned ? format_single(step[k], "#0.000", dec) : "");
  }
}

void AutoGrid::grow_bar() {
  if (progress_len < kLongestBar) progress_len += 2;
  set_progress(m.ui, progress_len);
}

void AutoGrid::pass() {
  stopped = false;
  slot(1);
  if (!stopped) show_elapsed(m);
}

void AutoGrid::trial() {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  if (stop_requested(s)) {
    step[1] = kStopMark;
    stopped = true;
    return;
  }
  rozrah(m.st.data, c);
  note_trial(m, p);
  if (accept_trial(c)) {
    best = p;
    s.pk = p;
    show_s_a(m);
    full_fit(m);
    vyvid_K(s, c, m.ui, m.dec());
    draw_fit(m);
  }
}

void AutoGrid::end_of_pass() {
  CalcState& c = m.st.calc;
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) c.ka[k] = ka_of(best[k]);
  full_fit(m);
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) m.ui.set_text(m.ui.txt_pK[k], format_single(best[k], "0.00", m.dec()));
  grow_bar();
  m.pf.yield();
}

bool AutoGrid::finished() const {
  for (int k = 1; k <= kSlots; ++k)
    if (step[k] < 0.002f) return true;
  return false;
}

void AutoGrid::narrow() {
  for (int k = 1; k <= kSlots; ++k) {
    if (!(step[k] < kNotScanned)) continue;
    start[k] = best[k] - step[k];
    end[k] = best[k] + step[k];
    step[k] = step[k] / 2;
  }
  show_ranges();
}

}  // namespace

void Command9_Click(Module& m) {
  SearchState& s = m.st.search;
  CalcState& c = m.st.calc;
  chy_dostatno_spektriv(m.st.data, m.ui, c);
  if (c.used_spectra_count == 0) return show_message(m, Msg::TooFewSpectra);

  AutoGrid g{m};
  run_lock(m);
  s.step_factor = 1.5f;
  int used = 0;
  for (int i = 1; i <= kMaxSpectra; ++i) used += m.st.data.spectrum_used[i];
  c.used_spectra_count = static_cast<int16_t>(used);
  s.run_start_time = static_cast<float>(m.pf.clock_seconds());
  std::string record;
  for (int k = 1; k <= kSlots; ++k) record += m.ui.txt_pK[k].text + " ";
  m.ui.set_text(m.ui.Label3, record);
  if (!g.prepare()) return run_unlock(m);
  g.show_ranges();
  c.s_a_sq_best = 1e20f;
  g.grow_bar();
  m.pf.yield();

  for (;;) {
    g.pass();
    g.end_of_pass();
    if (g.finished()) break;
    g.narrow();
  }

  s.pk_best = g.best;
  m.ui.set_text(m.ui.Label5, "   ");
  if (!read_start_values(m)) return finish_block(m);
  Arr1<float, kSlots> base_pk = s.pk;
  rozrah(m.st.data, c);
  s.step_factor = 1.1f;
  c.s_a_sq_best = static_cast<float>(c.s_a_sq);
  full_fit(m);
  draw_fit(m);
  vyvid_K(s, c, m.ui, m.dec());
  optimisation_sweeps(m, base_pk, 1.0f);
  s.pk_best = base_pk;
  pohybka(m.st.data, c, s, m.ui, m.dec());
  finish_block(m);
}

}  // namespace ferolan
