// Slot set-ups for the search tests, made through the boxes as the user would.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/acid_spectra.h"
#include "support/test_module.h"
#include "window/state/module.h"

namespace ferolan::testing {

// One slot: 'f' fitted, 'h' held, 'z' zeroed; pk is the text of its pKa box.
struct SlotSetup {
  char state = 'f';
  std::string pk;
};

// Applies states and texts slot by slot; slots not given are zeroed.
inline void set_slots(Module& m, const std::vector<SlotSetup>& slots) {
  Controls& ui = m.ui;
  for (int k = 1; k <= kSlots; ++k) {
    const SlotSetup s = k <= static_cast<int>(slots.size()) ? slots[k - 1] : SlotSetup{'z', ""};
    if (s.state == 'z') {
      ui.set_checked(ui.Check2[k], true);
      continue;
    }
    ui.set_checked(ui.Check2[k], false);
    ui.set_checked(ui.Check1[k], s.state == 'f');
  }
  for (int k = 1; k <= kSlots; ++k)
    if (k <= static_cast<int>(slots.size()) && slots[k - 1].state != 'z')
      ui.set_text(ui.txt_pK[k], slots[k - 1].pk);
}

// Range boxes of the manual grid for slot k.
inline void set_range(Module& m, int k, std::string start, std::string end, std::string step) {
  m.ui.set_text(m.ui.txt_poch[k], std::move(start));
  m.ui.set_text(m.ui.txt_kin[k], std::move(end));
  m.ui.set_text(m.ui.txt_krok[k], std::move(step));
}

// After a run: the window is unlocked for the next one.
// The first n constants of recipe found within tolerance and shown with their uncertainty,
// and s(A) at the level of the recipe's noise.
inline void expect_recovered(TestModule& t, const AcidRecipe& recipe, int n,
                             double tolerance = kRecoveryTolerance) {
  for (int k = 1; k <= n; ++k) {
    EXPECT_NEAR(t->state.search.pk_best[k], recipe.pka[k - 1], tolerance) << k;
    EXPECT_NE(t->ui.txt_pK[k].text.find(" ± "), std::string::npos) << t->ui.txt_pK[k].text;
  }
  const double s_a = std::sqrt(t->state.calc.s_a_sq);
  EXPECT_GT(s_a, 0.7 * recipe.noise);
  EXPECT_LT(s_a, 1.1 * recipe.noise);
}

inline void expect_unlocked(TestModule& t) {
  EXPECT_FALSE(t->running);
  EXPECT_FALSE(t->ui.Command1.enabled);
  EXPECT_TRUE(t->ui.Command2.enabled && t->ui.Command6.enabled && t->ui.Command9.enabled);
  for (int k = 1; k <= kSlots; ++k) EXPECT_TRUE(t->ui.Check1[k].enabled);
  for (int s = 1; s <= kWindowSpectra; ++s)
    EXPECT_EQ(t->ui.Check3[s].enabled, s <= t->state.data.n_spectra) << s;
}

// After the finish block of the optimisation and the automatic grid.
inline void expect_finished(TestModule& t) {
  expect_unlocked(t);
  EXPECT_EQ(t->ui.Label5.text, "  ");
  EXPECT_EQ(t->ui.Label9.text, " РОЗРАХУНОК ЗАВЕРШЕНО !!!");
  EXPECT_EQ(t->ui.focused, &t->ui.Command2);
}

}  // namespace ferolan::testing
