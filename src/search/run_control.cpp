#include "search/run_control.h"

#include <cmath>

#include "model/fit.h"
#include "view/format.h"
#include "view/plots.h"

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
  m.st.search.step_factor = 1.0f;
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

void Option1_Click(SearchState& search, int n) {
  static constexpr float kSteps[] = {1.0f, 1.0f, 0.5f, 0.25f};
  if (n >= 1 && n <= 3) search.opt_exponent_step = kSteps[n];
}

void Option2_Click(Settings& settings, int n) {
  if (n == 1 || n == 2 || n == 3 || n == 5) settings.path_len = static_cast<float>(n);
}

void run_lock(Module& m) {
  shovaty(m.ui);
  for (int s = 1; s <= kMaxSpectra; ++s) m.ui.set_enabled(m.ui.Check3[s], false);
  m.st.search.running = true;
  m.st.search.trials = 0;
}

void run_unlock(Module& m) {
  pokazaty(m.ui);
  for (int s = 1; s <= kMaxSpectra; ++s) m.ui.set_enabled(m.ui.Check3[s], s <= m.st.data.n_spectra);
  m.st.search.running = false;
}

bool accept_trial(CalcState& calc) {
  const float s = static_cast<float>(calc.s_a_sq);
  if (!(s < calc.s_a_sq_best)) return false;
  calc.s_a_sq_best = s;
  return true;
}

void note_trial(Module& m, const Arr1<float, kSlots>& pk) {
  ++m.st.search.trials;
  if (m.on_trial) m.on_trial(pk, m.st.calc);
}

double ka_of(float pk) {
  return std::pow(10.0, -static_cast<double>(pk));
}

bool ka_fits(float pk) {
  const double ka = ka_of(pk);
  return std::isfinite(pk) && std::isfinite(ka) && ka > 0;
}

double elapsed_seconds(double now, float run_start) {
  double t = now - static_cast<double>(run_start);
  if (t < 0) t += 86400.0;  // the clock restarts at midnight
  return t;
}

void show_elapsed(Module& m) {
  const double t = elapsed_seconds(m.pf.clock_seconds(), m.st.search.run_start_time);
  m.ui.set_text(m.ui.Lab_chas, format_mask(t, "0#.0", m.dec()));
}

void show_s_a(Module& m) {
  m.ui.set_text(m.ui.Label4, format_mask(std::sqrt(m.st.calc.s_a_sq), "0.00e+00", m.dec()));
}

void set_progress(Controls& ui, int n) {
  ui.set_text(ui.Label5, std::string(n, ' '));
}

void full_fit(Module& m) {
  m.st.calc.fit_step = 1;
  rozrah(m.st.data, m.st.calc);
  m.st.calc.fit_step = 10;
}

void draw_fit(Module& m) {
  vyvid_spectriv_form(m.st.data, m.st.settings, m.st.calc, m.spectrs, m.pict_e);
  vyvid_rozrahovanyh_spectriv(m.st.data, m.st.settings, m.st.calc, m.spectrs);
}

void finish_block(Module& m) {
  run_unlock(m);
  show_elapsed(m);
  m.ui.set_text(m.ui.Label5, "  ");
  m.ui.set_text(m.ui.Label9, kDoneText);
  m.ui.set_focus(m.ui.Command2);
}

std::string message_text(Msg msg, int n) {
  const std::string k = std::to_string(n);
  switch (msg) {
    case Msg::TooFewSpectra:
      return "Надто мало спектрів для розрахунку!!!";
    case Msg::StartValues:
      return "Вкажіть початкові значення всіх шуканих рКа!!!";
    case Msg::HeldValue:
      return "Вкажіть значення рКа №" + k;
    case Msg::HeldValueAuto:
      return "Вкажіть значення рКа №" + k + "  у форматі #.##";
    case Msg::RangeStart:
      return "Некоректне початкове значення діапазону рКа №" + k + " (має бути від 0 до 14) !";
    case Msg::RangeEnd:
      return "Некоректне кінцеве значення діапазону рКа №" + k + " (має бути від 1 до 14) !";
    case Msg::RangeOrder:
      return "Кінцеве значення діапазону рКа №" + k + " має бути більшим за початкове !";
    case Msg::Step:
      return "Некоректне значення кроку перебору значення рКа №" + k + " !";
  }
  return {};
}

const char* message_title(Msg msg) {
  switch (msg) {
    case Msg::TooFewSpectra:
    case Msg::StartValues:
    case Msg::HeldValue:
    case Msg::HeldValueAuto:
      return "Недостатньо даних!";
    default:
      return "Некоректні дані!";
  }
}

void show_message(Module& m, Msg msg, int n) {
  m.pf.message_box(message_text(msg, n), message_title(msg));
}

}  // namespace ferolan
