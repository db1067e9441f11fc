#include "search/run_control.h"

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

}  // namespace ferolan
