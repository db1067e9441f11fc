#include "window/search/run_control.h"

#include <cmath>
#include <limits>
#include <utility>

#include "engine/format/format.h"
#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "window/view/constants.h"
#include "window/view/plots.h"

namespace ferolan {

void shovaty(Controls& ui) {
  ui.set_enabled(ui.Command1, true);
  for (Control* c : {&ui.Command2, &ui.Command4, &ui.Command5, &ui.Command6, &ui.Command9,
                     &ui.Command7, &ui.Command8})
    ui.set_enabled(*c, false);
  for (int k = 1; k <= kSlots; ++k) ui.set_enabled(ui.Check1[k], false);
  for (int k = 1; k <= kSlots; ++k) ui.set_enabled(ui.Check2[k], false);
  ui.set_enabled(ui.load, false);
  ui.set_enabled(ui.Frame1, false);
  ui.set_text(ui.Label5, "  ");
}

void pokazaty(Controls& ui) {
  ui.set_enabled(ui.Command1, false);
  for (Control* c : {&ui.Command2, &ui.Command4, &ui.Command5, &ui.Command6, &ui.Command9,
                     &ui.Command7, &ui.Command8})
    ui.set_enabled(*c, true);
  for (int k = 1; k <= kSlots; ++k) ui.set_enabled(ui.Check1[k], true);
  for (int k = 1; k <= kSlots; ++k) ui.set_enabled(ui.Check2[k], true);
  ui.set_enabled(ui.load, true);
  ui.set_enabled(ui.Frame1, true);
}

void Command1_Click(Module& m) {
  m.stop_request = true;
  m.ui.set_enabled(m.ui.Command1, false);
  m.ui.set_enabled(m.ui.Command2, true);
}

void Check1_Click(Controls& ui, int n) {
  const bool on = ui.Check1[n].checked;
  if (on) ui.set_checked(ui.Check2[n], false);
  ui.set_enabled(ui.txt_poch[n], on);
  ui.set_enabled(ui.txt_kin[n], on);
  ui.set_enabled(ui.txt_krok[n], on);
}

void Check2_Click(Controls& ui, int n) {
  // Changing a box from here runs its handler again, so the cascades nest.
  if (ui.Check2[n].checked) {
    for (int i = n; i <= kSlots; ++i) {
      ui.set_checked(ui.Check1[i], false);
      ui.set_checked(ui.Check2[i], true);
      ui.set_text(ui.txt_pK[i], "");
      ui.set_text(ui.Lab_K[i], "0");
    }
  }
  if (!ui.Check2[n].checked) {
    for (int i = n; i >= 2; --i) {
      ui.set_checked(ui.Check2[i], false);
      ui.set_text(ui.Lab_K[i], "");
    }
  }
}

void Option2_Click(Settings& settings, int n) {
  if (n == 1 || n == 2 || n == 3 || n == 5) settings.path_len = static_cast<float>(n);
}

void run_lock(Module& m) {
  shovaty(m.ui);
  for (int s = 1; s <= kWindowSpectra; ++s) m.ui.set_enabled(m.ui.Check3[s], false);
  m.running = true;
  m.state.search.trials = 0;
  m.stop_request = false;
}

void run_unlock(Module& m) {
  pokazaty(m.ui);
  for (int s = 1; s <= kWindowSpectra; ++s)
    m.ui.set_enabled(m.ui.Check3[s], s <= m.state.data.n_spectra);
  m.running = false;
}

double elapsed_seconds(double now, float run_start) {
  double t = now - static_cast<double>(run_start);
  // The clock restarts at midnight. A start read into a float can lie a few milliseconds
  // after the real clock: that small negative difference is no day.
  if (t < -43200.0) t += 86400.0;
  return t < 0 ? 0.0 : t;
}

void show_elapsed(Module& m) {
  const double t = elapsed_seconds(m.platform.clock_seconds(), m.run_start_time);
  m.ui.set_text(m.ui.Lab_chas, format_mask(t, "0#.0", m.decimal()));
}

void show_s_a(Module& m, double s_a_sq) {
  m.ui.set_text(m.ui.Label4, format_mask(std::sqrt(s_a_sq), "0.00e+00", m.decimal()));
}

void set_progress(Controls& ui, int n) {
  ui.set_text(ui.Label5, std::string(n, ' '));
}

void draw_fit(Module& m) {
  vyvid_spectriv_form(m.state.data, m.view, m.state.calc, m.spectrs, m.pict_e);
  vyvid_rozrahovanyh_spectriv(m.state.data, m.view, m.state.calc, m.spectrs);
}

void finish_block(Module& m) {
  run_unlock(m);
  show_elapsed(m);
  m.ui.set_text(m.ui.Label5, "  ");
  m.ui.set_text(m.ui.Label9, kDoneText);
  m.ui.set_focus(m.ui.Command2);
}

void show_message(Module& m, Msg msg, int n) {
  m.platform.message_box(message_text(msg, n), message_title(msg));
}

void show_message(Module& m, const Refusal& r) {
  show_message(m, r.msg, r.slot);
}

bool unscorable(const Refusal& r) {
  return r.msg == Msg::PhOutOfRange || r.msg == Msg::AbsorbanceTooLarge;
}

void refuse_unscorable(Module& m, const Refusal& r) {
  show_message(m, r);
  m.ui.set_text(m.ui.Label5, "  ");
  run_unlock(m);
}

SlotModes slot_modes(const Controls& ui) {
  SlotModes modes{};
  for (int k = 1; k <= kSlots; ++k)
    modes[k] = ui.Check2[k].checked   ? SlotMode::Removed
               : ui.Check1[k].checked ? SlotMode::Fitted
                                      : SlotMode::Held;
  return modes;
}

ModelSetup window_setup(Module& m) {
  ModelSetup setup;
  const SlotModes modes = slot_modes(m.ui);
  for (int k = 1; k <= kSlots; ++k) setup.slot[k].mode = modes[k];
  for (int n = 1; n <= 3; ++n)
    if (m.ui.Option1[n].checked) setup.level = n;
  return setup;
}

ModelSetup read_setup(Module& m, SearchKind kind) {
  const Controls& ui = m.ui;
  ModelSetup setup = window_setup(m);
  // A text the strict reader rejects stands for a value that fails the same test.
  auto strict = [](const std::string& text, float rejected) {
    int16_t ok = 0;
    const float v = parse_number(text, ok);
    return ok == -1 ? rejected : v;
  };
  for (int k = 1; k <= kSlots; ++k) {
    SlotSetup& slot = setup.slot[k];
    const std::string& pk = ui.txt_pK[k].text;
    if (slot.mode == SlotMode::Removed) continue;
    if (kind == SearchKind::Optimisation) {
      slot.value = pk.empty() ? std::numeric_limits<float>::quiet_NaN() : start_value_of(pk);
    } else if (slot.mode == SlotMode::Held) {
      slot.value = strict(pk, 0);
    } else if (kind == SearchKind::ManualGrid) {
      slot.start = strict(ui.txt_poch[k].text, -1);
      slot.end = strict(ui.txt_kin[k].text, 0);
      slot.step = strict(ui.txt_krok[k].text, 0);
    }
  }
  return setup;
}

float start_value_of(const std::string& text) {
  return static_cast<float>(leading_number(text));
}

Workspace workspace(Module& m) {
  return Workspace{m.state.data, m.state.calc, m.state.search};
}

void WindowObserver::yield() {
  if (draw_pending_ && m.platform.frame_due()) flush();
  m.platform.yield();
}

bool WindowObserver::stop_delivered() {
  return std::exchange(m.stop_request, false);
}

void WindowObserver::draw_best(const CalcState& fit) {
  if (!m.shown_fit) m.shown_fit = std::make_unique<CalcState>();
  m.shown_fit->eps_forms = fit.eps_forms;
  m.shown_fit->form_conc = fit.form_conc;
  draw_pending_ = true;
}

void WindowObserver::flush() {
  if (!draw_pending_) return;
  draw_pending_ = false;
  State& st = m.state;
  vyvid_spectriv_form(st.data, m.view, *m.shown_fit, m.spectrs, m.pict_e);
  vyvid_rozrahovanyh_spectriv(st.data, m.view, *m.shown_fit, m.spectrs);
}

void WindowObserver::scored(const TrialScore& trial) {
  if (m.on_trial) m.on_trial(trial);
}

void WindowObserver::trying(const Shown& at) {
  vyvid_K(at.pk, at.ka, m.ui, m.decimal());
}

void WindowObserver::best(BestKind kind, double s_a_sq_thinned, const Shown& at) {
  switch (kind) {
    case BestKind::OptimisationStart:
    case BestKind::Optimisation:
      show_s_a(m, s_a_sq_thinned);
      draw_best(at.fit);
      vyvid_K(at.pk, at.ka, m.ui, m.decimal());
      break;
    case BestKind::ManualGrid:
      show_s_a(m, s_a_sq_thinned);
      draw_best(at.fit);
      break;
    case BestKind::AutoGrid:
      show_s_a(m, s_a_sq_thinned);
      vyvid_K(at.pk, at.ka, m.ui, m.decimal());
      draw_best(at.fit);
      break;
    case BestKind::AutoFinalStart:
      draw_best(at.fit);
      vyvid_K(at.pk, at.ka, m.ui, m.decimal());
      break;
  }
}

void WindowObserver::progress(int length) {
  set_progress(m.ui, length);
}

void WindowObserver::elapsed() {
  show_elapsed(m);
}

void WindowObserver::grid_ranges(const Arr1<float, kSlots>& start, const Arr1<float, kSlots>& end,
                                 const Arr1<float, kSlots>& step) {
  Controls& ui = m.ui;
  const char dec = m.decimal();
  for (int k = 1; k <= kSlots; ++k) {
    const bool scanned = step[k] < 10;
    ui.set_text(ui.txt_poch[k], scanned ? format_single(start[k], "#0.00", dec) : "");
    ui.set_text(ui.txt_kin[k], scanned ? format_single(end[k], "#0.00", dec) : "");
    ui.set_text(ui.txt_krok[k], scanned ? format_single(step[k], "#0.000", dec) : "");
  }
}

void WindowObserver::grid_best_fitted(const Shown& at) {
  for (int k = 1; k <= kSlots; ++k)
    if (at.ka[k] > 0) m.ui.set_text(m.ui.txt_pK[k], format_single(at.pk[k], "0.00", m.decimal()));
}

Arr1<float, kSlots> WindowObserver::final_start_values(const Arr1<float, kSlots>& best,
                                                       const Arr1<float, kSlots>& start) {
  // The boxes hold the best set as grid_best_fitted wrote it, in the locale's notation, and
  // stand for start; a box the user changed since is read as typed start values are.
  Arr1<float, kSlots> from = start;
  for (int k = 1; k <= kSlots; ++k) {
    if (m.ui.Check2[k].checked) continue;
    const std::string& text = m.ui.txt_pK[k].text;
    if (text != format_single(best[k], "0.00", m.decimal())) from[k] = start_value_of(text);
  }
  return from;
}

void vyvid_pohybky(const SearchResult& r, Controls& ui, char dec) {
  static constexpr const char* kPlusMinus = " \xC2\xB1 ";  // " ± "
  for (int j = 1; j <= kSlots; ++j) {
    if (r.modes[j] != SlotMode::Fitted) continue;
    const float u = r.u[j];
    std::string text = format_single(r.pk_best[j], "#0.00", dec) + kPlusMinus;
    text += std::isfinite(u) ? format_single(u, "#0.00", dec) : std::string("?");
    ui.set_text(ui.txt_pK[j], std::move(text));
  }
}

}  // namespace ferolan
