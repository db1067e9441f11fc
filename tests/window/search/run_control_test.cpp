#include "window/search/run_control.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/model/fit.h"
#include "support/acid_spectra.h"
#include "support/search_probe.h"
#include "support/search_setup.h"
#include "support/test_module.h"
#include "window/search/searches.h"
#include "window/ui/events.h"

namespace ferolan::testing {
namespace {

// Slot k as the boxes show it: 'f' fitted, 'h' held, 'z' zeroed; '?' a box pair that is
// neither (zero box ticked together with the calculate box).
std::string slot_states(const Controls& ui) {
  std::string s;
  for (int k = 1; k <= kSlots; ++k) {
    const bool c1 = ui.Check1[k].checked, c2 = ui.Check2[k].checked;
    s += c2 ? (c1 ? '?' : 'z') : (c1 ? 'f' : 'h');
  }
  return s;
}

std::string range_boxes_enabled(const Controls& ui) {
  std::string s;
  for (int k = 1; k <= kSlots; ++k) {
    const bool on = ui.txt_poch[k].enabled;
    EXPECT_EQ(on, ui.txt_kin[k].enabled);
    EXPECT_EQ(on, ui.txt_krok[k].enabled);
    s += on ? '1' : '0';
  }
  return s;
}

struct SlotFixture : ::testing::Test {
  SlotFixture() {
    const char* pk[] = {"", "p1", "p2", "p3", "p4", "p5"};
    const char* ka[] = {"", "K1", "K2", "K3", "K4", "K5"};
    for (int k = 1; k <= kSlots; ++k) {
      ui().set_text(ui().txt_pK[k], pk[k]);
      ui().set_text(ui().Lab_K[k], ka[k]);
    }
  }
  Controls& ui() { return t->ui; }
  std::string pk_texts() {
    std::string s;
    for (int k = 1; k <= kSlots; ++k) s += ui().txt_pK[k].text + "|";
    return s;
  }
  std::string ka_labels() {
    std::string s;
    for (int k = 1; k <= kSlots; ++k) s += ui().Lab_K[k].text + "|";
    return s;
  }
  TestModule t;
};

TEST_F(SlotFixture, ZeroingASlotZeroesTheTailOnly) {
  ui().set_checked(ui().Check2[3], true);
  EXPECT_EQ(slot_states(ui()), "ffzzz");
  EXPECT_EQ(range_boxes_enabled(ui()), "11000");
  EXPECT_EQ(pk_texts(), "p1|p2||||");
  EXPECT_EQ(ka_labels(), "K1|K2|0|0|0|");
}

TEST_F(SlotFixture, UnzeroingGoesDownToSlotTwoAndLeavesHeldSlots) {
  ui().set_checked(ui().Check2[3], true);
  ui().set_checked(ui().Check2[4], false);
  EXPECT_EQ(slot_states(ui()), "ffhhz");
  EXPECT_EQ(range_boxes_enabled(ui()), "11000");
  EXPECT_EQ(pk_texts(), "p1|p2||||");
  EXPECT_EQ(ka_labels(), "K1||||0|");
}

TEST_F(SlotFixture, CalculateBoxOfAZeroedSlotUnzeroesDownToTwo) {
  ui().set_checked(ui().Check2[2], true);
  ui().set_checked(ui().Check1[4], true);
  EXPECT_EQ(slot_states(ui()), "fhhfz");
  EXPECT_EQ(range_boxes_enabled(ui()), "10010");
  EXPECT_EQ(ka_labels(), "K1||||0|");
}

TEST_F(SlotFixture, SlotOneZeroedStaysZeroedWhenAHigherSlotIsCleared) {
  ui().set_checked(ui().Check2[1], true);
  EXPECT_EQ(slot_states(ui()), "zzzzz");
  EXPECT_EQ(range_boxes_enabled(ui()), "00000");
  EXPECT_EQ(ka_labels(), "0|0|0|0|0|");
  ui().set_checked(ui().Check2[3], false);
  EXPECT_EQ(slot_states(ui()), "zhhzz");
  EXPECT_EQ(ka_labels(), "0|||0|0|");
}

TEST_F(SlotFixture, ClearingTheCalculateBoxOnlyDisablesTheRanges) {
  ui().set_checked(ui().Check1[2], false);
  EXPECT_EQ(slot_states(ui()), "fhfff");
  EXPECT_EQ(range_boxes_enabled(ui()), "10111");
  EXPECT_EQ(pk_texts(), "p1|p2|p3|p4|p5|");
  ui().set_checked(ui().Check1[2], true);
  EXPECT_EQ(range_boxes_enabled(ui()), "11111");
}

TEST(OptimisationLevel, TheCheckedOptionIsTheSearchLevel) {
  TestModule t;
  for (int n : {3, 2, 1, 3}) {
    t->ui.set_checked(t->ui.Option1[n], true);
    EXPECT_EQ(window_setup(*t).level, n);
    for (int o = 1; o <= 3; ++o) EXPECT_EQ(t->ui.Option1[o].checked, o == n);
  }
}

TEST(RunLock, LocksTheSpectrumBoxesAndRestoresOnlyTheHeldOnes) {
  TestModule t;
  AcidRecipe recipe;
  recipe.pka = {4};
  recipe.n_spectra = 6;
  load_data(*t, make_acid_data(recipe));
  Controls& ui = t->ui;
  ui.set_text(ui.Label5, "      ");
  run_lock(*t);
  EXPECT_TRUE(t->running);
  EXPECT_TRUE(ui.Command1.enabled);
  for (Control* c : {&ui.Command2, &ui.Command4, &ui.Command5, &ui.Command6, &ui.Command9,
                     &ui.Command7, &ui.Command8, &ui.load, &ui.Frame1})
    EXPECT_FALSE(c->enabled) << c->display_name();
  for (int k = 1; k <= kSlots; ++k) EXPECT_FALSE(ui.Check1[k].enabled || ui.Check2[k].enabled);
  for (int s = 1; s <= kWindowSpectra; ++s) EXPECT_FALSE(ui.Check3[s].enabled) << s;
  EXPECT_EQ(ui.Label5.text, "  ");

  ui.set_text(ui.Label5, "     ");
  run_unlock(*t);
  EXPECT_FALSE(t->running);
  EXPECT_FALSE(ui.Command1.enabled);
  for (Control* c : {&ui.Command2, &ui.Command4, &ui.Command5, &ui.Command6, &ui.Command9,
                     &ui.Command7, &ui.Command8, &ui.load, &ui.Frame1})
    EXPECT_TRUE(c->enabled) << c->display_name();
  for (int s = 1; s <= kWindowSpectra; ++s) EXPECT_EQ(ui.Check3[s].enabled, s <= 6) << s;
  EXPECT_EQ(ui.Label5.text, "     ");  // the unlock leaves the bar alone
}

TEST(StopRequest, IsDeliveredOnceAtTheNextYieldAsAFactorOfOne) {
  TestModule t;
  t->ui.set_enabled(t->ui.Command1, true);
  t->state.search.step_factor = 1.25f;
  Command1_Click(*t);
  EXPECT_FALSE(t->ui.Command1.enabled);
  EXPECT_TRUE(t->ui.Command2.enabled);
  // Nothing of the engine changes until the search yields.
  EXPECT_EQ(t->state.search.step_factor, 1.25f);
  WindowObserver obs(*t);
  yield_to(workspace(*t), obs);
  EXPECT_EQ(t->state.search.step_factor, 1.0f);
  EXPECT_TRUE(stop_requested(t->state.search));
  // Told once: a search that sets the factor anew (the automatic grid's final stage) runs on.
  t->state.search.step_factor = 1.1f;
  yield_to(workspace(*t), obs);
  EXPECT_EQ(t->state.search.step_factor, 1.1f);
}

TEST(TrialAcceptance, StrictlyLowerAfterRoundingToFloat) {
  struct Case {
    float best;
    double score;
    bool accepted;
  } cases[] = {
      {1e20f, 1.0, true},
      {0.5f, 0.5, false},          // a tie keeps the earlier trial
      {0.5f, 0.5 - 1e-12, false},  // lower as a double, equal as a float
      {0.5f, std::nextafter(0.5f, 0.0f), true},
      {0.5f, 0.75, false},
      {0.5f, std::numeric_limits<double>::quiet_NaN(), false},
  };
  for (const Case& c : cases) {
    CalcState calc;
    calc.s_a_sq_best = c.best;
    calc.s_a_sq = c.score;
    EXPECT_EQ(accept_trial(calc), c.accepted) << c.score;
    EXPECT_EQ(calc.s_a_sq_best, c.accepted ? static_cast<float>(c.score) : c.best);
  }
}

TEST(Constants, ValuesWhoseConstantDoesNotFitADoubleAreRefused) {
  EXPECT_TRUE(ka_fits(4.2f));
  EXPECT_TRUE(ka_fits(-300.0f));
  EXPECT_TRUE(ka_fits(300.0f));
  EXPECT_FALSE(ka_fits(-400.0f));  // 10^400 overflows
  EXPECT_FALSE(ka_fits(400.0f));   // 10^-400 underflows to 0, which would mean "removed"
  EXPECT_FALSE(ka_fits(std::numeric_limits<float>::infinity()));
  EXPECT_DOUBLE_EQ(ka_of(2.0f), 0.01);
}

TEST(ElapsedTime, ShownWithTwoIntegerDigitsAndAcrossMidnight) {
  struct Case {
    float start;
    double now;
    char dec;
    const char* shown;
  } cases[] = {
      {3600.0f, 3607.46, '.', "07.5"},
      {3600.0f, 3723.44, ',', "123,4"},
      {86399.5f, 2.0, '.', "02.5"},  // the clock restarted at midnight
      {0.0f, 0.0, '.', "00.0"},
  };
  for (const Case& c : cases) {
    TestModule t;
    t.pf.decimal = c.dec;
    t->run_start_time = c.start;
    t.pf.clock = c.now;
    show_elapsed(*t);
    EXPECT_EQ(t->ui.Lab_chas.text, c.shown);
  }
  EXPECT_DOUBLE_EQ(elapsed_seconds(10.0, 86390.0f), 20.0);
  // 70000.005 s read into a float is 70000.0078125: a short evening run is no day long.
  EXPECT_DOUBLE_EQ(elapsed_seconds(70000.005, static_cast<float>(70000.005)), 0.0);
  EXPECT_DOUBLE_EQ(elapsed_seconds(43100.0, 86399.0f), 43101.0);
  EXPECT_DOUBLE_EQ(elapsed_seconds(43300.0, 86399.0f), 0.0);
  TestModule t;
  t->run_start_time = static_cast<float>(70000.005);
  t.pf.clock = 70000.005;
  show_elapsed(*t);
  EXPECT_EQ(t->ui.Lab_chas.text, "00.0");
}

TEST(FinishBlock, UnlocksAndAnnouncesTheEnd) {
  TestModule t;
  run_lock(*t);
  t->ui.set_text(t->ui.Label5, std::string(28, ' '));
  t->run_start_time = 100.0f;
  t.pf.clock = 112.0;
  finish_block(*t);
  EXPECT_FALSE(t->running);
  EXPECT_FALSE(t->ui.Command1.enabled);
  EXPECT_EQ(t->ui.Lab_chas.text, "12.0");
  EXPECT_EQ(t->ui.Label5.text, "  ");
  EXPECT_EQ(t->ui.Label9.text, " РОЗРАХУНОК ЗАВЕРШЕНО !!!");
  EXPECT_EQ(t->ui.focused, &t->ui.Command2);
}

TEST(RunningSearch, SearchButtonsAndSpectrumBoxesWaitForTheUnlock) {
  for (Ctl button : {Ctl::Command2, Ctl::Command6, Ctl::Command9}) {
    TestModule t;
    load_data(*t, make_acid_data(recovery_acid(1)));
    set_slots(*t, {{'f', "3"}});
    set_range(*t, 1, "1", "9", "0.5");
    Control& start = *t->ui.find(button, -1);
    SearchProbe probe(t);
    long nested_trials = -1;
    probe.at_yield = [&](long n) {
      if (n != 3) return;
      on_click(*t, t->ui.Command1);  // the stop enables Command2 while the run goes on
      EXPECT_TRUE(t->ui.Command2.enabled);
      const long before = t->state.search.trials;
      for (Ctl other : {Ctl::Command2, Ctl::Command6, Ctl::Command9})
        on_click(*t, *t->ui.find(other, -1));
      nested_trials = t->state.search.trials - before;
      on_user_check(*t, t->ui.Check3[2], false);
      EXPECT_EQ(t->state.data.spectrum_used[2], 1);
      on_click(*t, t->ui.Command8);
      EXPECT_EQ(t->state.data.spectrum_used[1], 1);
    };
    on_click(*t, start);
    EXPECT_EQ(nested_trials, 0) << start.display_name();
    EXPECT_TRUE(t.pf.messages.empty());
    EXPECT_FALSE(t->running);
    EXPECT_TRUE(t->ui.Check3[2].enabled && t->ui.Check3[2].checked);
  }
}

}  // namespace
}  // namespace ferolan::testing

namespace ferolan::testing {
namespace {

// A new best waits for a frame to be drawn; what the pictures show when the search ends is
// the same whether every best found a frame or none did.
TEST(SearchDisplay, BestsWaitForAFrameAndTheLastIsDrawnAtTheEnd) {
  struct Run {
    std::vector<DrawOp> spectrs, pict_e;
    int clears = 0;
  };
  auto run = [](bool frames) {
    TestModule t;
    t.pf.frames_due = frames;
    load_data(*t, make_acid_data(recovery_acid(2)));
    set_slots(*t, {{'f', ""}, {'f', ""}});
    const int clears_before = t.pict_e.clears;
    Command9_Click(*t);
    return Run{t.spectrs.ops, t.pict_e.ops, t.pict_e.clears - clears_before};
  };
  const Run every = run(true), none = run(false);
  ASSERT_FALSE(every.pict_e.empty());
  EXPECT_EQ(none.clears, 1);  // drawn once, when the search ended
  EXPECT_GT(every.clears, 1);
  ASSERT_EQ(every.pict_e.size(), none.pict_e.size());
  ASSERT_EQ(every.spectrs.size(), none.spectrs.size());
  for (size_t i = 0; i < every.pict_e.size(); ++i) {
    EXPECT_EQ(every.pict_e[i].x, none.pict_e[i].x) << i;
    EXPECT_EQ(every.pict_e[i].y, none.pict_e[i].y) << i;
  }
  for (size_t i = 0; i < every.spectrs.size(); ++i)
    EXPECT_EQ(every.spectrs[i].y, none.spectrs[i].y) << i;
}

}  // namespace
}  // namespace ferolan::testing
