// The spectrum selection: the boxes, select all and deselect all, and the plots that follow.
#include "window/ui/selection.h"

#include <gtest/gtest.h>

#include "engine/import/import.h"
#include "support/test_module.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"
#include "window/view/plots.h"

namespace ferolan::testing {
namespace {

struct Selection : ::testing::Test {
  TestModule t;
  Selection() {
    std::string text = "0.001";
    for (int s = 1; s <= 12; ++s) (text += '\t') += std::to_string(s);
    text += "\r\n";
    for (int w = 0; w < 3; ++w) {
      text += std::to_string(400 + w);
      for (int s = 1; s <= 12; ++s) (text += "\t0.") += std::to_string(s + w);
      text += "\r\n";
    }
    t.pf.clipboard = text;
    EXPECT_TRUE(Command5_Click(*t));
    t.pict_e.ops.push_back({DrawOp::Point, 1, 1, 0});  // stands for the forms' curves
  }
  int drawn_spectra() const {
    int n = 0;
    for (const DrawOp& op : t.spectrs.ops) n += op.kind == DrawOp::Point;
    return n;
  }
};

TEST_F(Selection, DeselectAllTouchesOnlyTheLoadedSpectra) {
  const int clears = t.pict_e.clears;
  on_click(*t, t->ui.Command8);
  for (int s = 1; s <= 12; ++s) {
    EXPECT_EQ(0, t->state.data.spectrum_used[s]) << s;
    EXPECT_FALSE(t->ui.Check3[s].checked) << s;
    EXPECT_TRUE(t->ui.Check3[s].enabled) << s;
  }
  for (int s = 13; s <= 50; ++s) {
    EXPECT_EQ(0, t->state.data.spectrum_used[s]) << s;
    EXPECT_FALSE(t->ui.Check3[s].checked || t->ui.Check3[s].enabled) << s;
    EXPECT_EQ("", t->ui.Check3[s].text) << s;
  }
  EXPECT_EQ(clears + 1, t.pict_e.clears);
  EXPECT_TRUE(t.pict_e.ops.empty());
  EXPECT_EQ(0, drawn_spectra());
}

TEST_F(Selection, SelectAllAfterDeselectAllRestoresEverySpectrum) {
  on_click(*t, t->ui.Command8);
  const int clears = t.spectrs.clears;
  on_click(*t, t->ui.Command7);
  EXPECT_EQ(clears + 1, t.spectrs.clears);  // drawn once, not per box
  for (int s = 1; s <= 12; ++s) {
    EXPECT_EQ(1, t->state.data.spectrum_used[s]) << s;
    EXPECT_TRUE(t->ui.Check3[s].checked) << s;
  }
  EXPECT_EQ(0, t->state.data.spectrum_used[13]);
  EXPECT_FALSE(t->ui.Check3[13].checked);
  EXPECT_EQ(12, drawn_spectra());
}

TEST_F(Selection, ABoxClickIsShownAtOnce) {
  on_user_check(*t, t->ui.Check3[3], false);
  EXPECT_EQ(0, t->state.data.spectrum_used[3]);
  EXPECT_TRUE(t.pict_e.ops.empty());
  EXPECT_EQ(11, drawn_spectra());  // the plot follows the state after the click
  on_user_check(*t, t->ui.Check3[3], true);
  EXPECT_EQ(1, t->state.data.spectrum_used[3]);
  EXPECT_EQ(12, drawn_spectra());
}

TEST_F(Selection, RedCurvesDisappearUntilTheNextSearch) {
  for (int w = 1; w <= 3; ++w) t->state.calc.eps_forms[w][1] = 1000;
  for (int s = 1; s <= 12; ++s) t->state.calc.form_conc[s][1] = 1e-4f;
  vyvid_rozrahovanyh_spectriv(t->state.data, t->view, t->state.calc, t.spectrs);
  auto red = [&] {
    int n = 0;
    for (const DrawOp& op : t.spectrs.ops) n += op.colour == kLightRed;
    return n;
  };
  ASSERT_EQ(12 * 3, red());
  on_user_check(*t, t->ui.Check3[4], false);
  EXPECT_EQ(0, red());
  EXPECT_EQ(11, drawn_spectra());
}

TEST_F(Selection, ChangesFromCodeKeepTheFlagsInStep) {
  t->ui.set_checked(t->ui.Check3[5], false);
  EXPECT_EQ(0, t->state.data.spectrum_used[5]);
  t->ui.set_checked(t->ui.Check3[5], true);
  EXPECT_EQ(1, t->state.data.spectrum_used[5]);
}

TEST_F(Selection, DisabledBoxesAndButtonsIgnoreTheUser) {
  on_user_check(*t, t->ui.Check3[20], true);
  EXPECT_EQ(0, t->state.data.spectrum_used[20]);
  EXPECT_FALSE(t->ui.Check3[20].checked);
  t->ui.set_enabled(t->ui.Command8, false);
  on_click(*t, t->ui.Command8);
  EXPECT_EQ(1, t->state.data.spectrum_used[1]);
}

TEST_F(Selection, TheSelectionNeitherFitsNorTouchesResults) {
  t->state.calc.eps_forms[1][1] = 7;
  t->state.calc.ka[1] = 1e-3;
  t->ui.set_text(t->ui.Label4, "0.002");
  on_click(*t, t->ui.Command8);
  on_user_check(*t, t->ui.Check3[1], true);
  EXPECT_EQ(7, t->state.calc.eps_forms[1][1]);
  EXPECT_EQ(1e-3, t->state.calc.ka[1]);
  EXPECT_EQ("0.002", t->ui.Label4.text);
}

}  // namespace
}  // namespace ferolan::testing
