#include <gtest/gtest.h>

#include <cmath>

#include "support/acid_spectra.h"
#include "support/search_probe.h"
#include "support/search_setup.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan::testing {
namespace {

float trial_value(float base, float factor, float exponent) {
  return static_cast<float>(base * std::pow(static_cast<double>(factor), exponent));
}

TEST(Optimisation, RecoversKnownConstantsFromNoisyData) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    TestModule t;
    const AcidRecipe recipe = recovery_acid(n);
    load_data(*t, make_acid_data(recipe));
    std::vector<SlotSetup> slots;
    for (int k = 0; k < n; ++k) slots.push_back({'f', std::to_string(recipe.pka[k] + 0.4)});
    set_slots(*t, slots);
    Command2_Click(*t);
    expect_recovered(t, recipe, n);
    EXPECT_TRUE(t.pf.messages.empty());
    expect_finished(t);
  }
}

// Start values so far apart that no trial at the factor 1.5 breaks the order.
const std::vector<SlotSetup> kApart = {
    {'f', "0.5"}, {'f', "1.2"}, {'f', "2.8"}, {'f', "6.4"}, {'f', "14.5"}};

TEST(Optimisation, SweepSizesOfTheThreeLevels) {
  struct Level {
    int option;
    long per_sweep;
  } levels[] = {{1, 243}, {2, 3125}, {3, 59049}};
  for (const Level& level : levels) {
    TestModule t;
    load_data(*t, make_flat_data(7, 10));
    set_slots(*t, kApart);
    t->ui.set_checked(t->ui.Option1[level.option], true);
    SearchProbe probe(t);
    long first_sweep = -1;
    probe.at_yield = [&](long) {
      // The yield after a sweep and the one before the next trial see the same count.
      const auto& s = probe.snaps;
      if (first_sweep < 0 && s.size() >= 2 && s.back().trials == s[s.size() - 2].trials &&
          s.back().trials > 0) {
        first_sweep = s.back().trials;
        press_stop(*t);
      }
    };
    Command2_Click(*t);
    EXPECT_EQ(first_sweep, level.per_sweep) << level.option;
    EXPECT_EQ(t->state.search.trials, level.per_sweep + 1);  // the trial of the stop's yield
  }
}

TEST(Optimisation, ThirteenShrinksFillTheBarWhenNothingImproves) {
  TestModule t;
  load_data(*t, make_flat_data(7, 10));
  set_slots(*t, kApart);
  SearchProbe probe(t);
  Command2_Click(*t);
  EXPECT_EQ(t->state.search.trials, 13 * 243);
  std::vector<int> expected;
  for (int n = 4; n <= 28; n += 2) expected.push_back(n);
  expected.push_back(2);  // the finish block
  EXPECT_EQ(probe.bar, expected);
  // Ties never move the centre: the result is the start set.
  const float start[] = {0, 0.5f, 1.2f, 2.8f, 6.4f, 14.5f};
  for (int k = 1; k <= kSlots; ++k) EXPECT_EQ(t->state.search.pk_best[k], start[k]);
  EXPECT_LT(t->state.search.step_factor, t->state.search.opt_factor_min);
  EXPECT_EQ(t->state.search.step_factor, 1.0f + 0x1.0p-14f);
  expect_finished(t);
}

TEST(Optimisation, TrialsRunSlotOneOutermostWithTheExponentsAscending) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', "2"}, {'f', "6"}});
  SearchProbe probe(t);
  Command2_Click(*t);
  const auto trials = probe.trials_before();
  ASSERT_GE(trials.size(), 9u);
  int i = 0;
  for (float e1 : {-1.0f, 0.0f, 1.0f})
    for (float e2 : {-1.0f, 0.0f, 1.0f}) {
      EXPECT_EQ(trials[i][1], trial_value(2, 1.5f, e1)) << i;
      EXPECT_EQ(trials[i][2], trial_value(6, 1.5f, e2)) << i;
      for (int k = 3; k <= kSlots; ++k) EXPECT_EQ(trials[i][k], 50.0f);
      ++i;
    }
  // The second sweep uses the halved factor.
  EXPECT_EQ(trials[9][1], trial_value(2, 1.25f, -1));
  EXPECT_EQ(t->state.calc.ka[3], 0.0);
}

TEST(Optimisation, FallingStartValuesEvaluateNoTrial) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', "7"}, {'f', "3"}});
  SearchProbe probe(t);
  Command2_Click(*t);
  EXPECT_EQ(t->state.search.trials, 0);
  EXPECT_EQ(probe.bar.size(), 14u);
  EXPECT_EQ(probe.bar[12], 28);
  EXPECT_EQ(t->state.search.pk_best[1], 7.0f);
  EXPECT_EQ(t->state.search.pk_best[2], 3.0f);
  EXPECT_TRUE(t.pf.messages.empty());
  expect_finished(t);
}

// Every combination of the first sweep that keeps pKa non-decreasing, counted directly.
long ordered_combinations(const std::vector<std::vector<float>>& values) {
  long n = 0;
  std::vector<size_t> at(values.size(), 0);
  for (;;) {
    bool ordered = true;
    for (size_t k = 1; k < values.size(); ++k)
      ordered = ordered && values[k][at[k]] >= values[k - 1][at[k - 1]];
    n += ordered;
    size_t k = values.size();
    while (k > 0 && ++at[k - 1] == values[k - 1].size()) at[--k] = 0;
    if (k == 0) return n;
  }
}

TEST(Optimisation, HeldSlotsKeepTheirValueAndSkipOutOfOrderTrials) {
  struct Case {
    std::vector<SlotSetup> slots;
    int held;
  } cases[] = {
      {{{'f', "3"}, {'h', "4"}, {'f', "6"}}, 2},
      {{{'f', "2"}, {'f', "3"}, {'f', "5"}, {'h', "6"}, {'f', "8"}}, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held);
    TestModule t;
    load_data(*t, make_flat_data(8, 10));
    set_slots(*t, c.slots);
    SearchProbe probe(t);
    long first_sweep = -1;
    probe.at_yield = [&](long) {
      const auto& s = probe.snaps;
      if (first_sweep < 0 && s.size() >= 2 && s.back().trials == s[s.size() - 2].trials &&
          s.back().trials > 0)
        first_sweep = s.back().trials;
    };
    Command2_Click(*t);
    std::vector<std::vector<float>> values;
    for (const SlotSetup& s : c.slots) {
      const float p = std::stof(s.pk);
      if (s.state == 'h')
        values.push_back({p});
      else
        values.push_back({trial_value(p, 1.5f, -1), p, trial_value(p, 1.5f, 1)});
    }
    EXPECT_EQ(first_sweep, ordered_combinations(values));
    const float held = std::stof(c.slots[c.held - 1].pk);
    for (const auto& trial : probe.trials_before()) {
      EXPECT_EQ(trial[c.held], held);
      for (int k = 2; k <= static_cast<int>(c.slots.size()); ++k) EXPECT_GE(trial[k], trial[k - 1]);
    }
  }
}

TEST(Optimisation, StartValuesFollowTheLeadingNumberRule) {
  struct Case {
    const char* text;
    float value;
    const char* shown;  // a held slot gets no uncertainty, only the constants display
  } cases[] = {{"5.25 ± 0.03", 5.25f, "5.25"},
               {"5,25 ± 0,05", 5.0f, "5.00"},
               {"1 5", 15.0f, "15.00"},
               {"4.2E-1x", 0.42f, "0.42"}};
  for (const Case& c : cases) {
    TestModule t;
    load_data(*t, make_flat_data(5, 10));
    set_slots(*t, {{'h', c.text}});
    Command2_Click(*t);
    EXPECT_TRUE(t.pf.messages.empty()) << c.text;
    EXPECT_EQ(t->state.search.pk_best[1], c.value) << c.text;
    EXPECT_EQ(t->state.search.trials, 13);  // all fixed: the centre once per sweep
    EXPECT_EQ(t->ui.txt_pK[1].text, c.shown);
  }
}

TEST(Optimisation, RefusedStartsEndWithTheFinishBlock) {
  const std::string start = "Вкажіть початкові значення всіх шуканих рКа!!!";
  const std::string few = "Надто мало спектрів для розрахунку!!!";
  struct Case {
    std::vector<SlotSetup> slots;
    int spectra;
    std::string text;
  } cases[] = {
      {{{'f', "3"}, {'f', ""}}, 8, start},
      {{{'f', "3"}, {'h', ""}}, 8, start},  // held slots need a value too
      {{{'f', " "}}, 8, start},             // one blank is not empty, and reads as 0
      {{{'f', "abc"}}, 8, start},
      {{{'f', "0"}}, 8, start},
      {{{'f', "1e999"}}, 8, start},  // beyond a float
      {{{'f', "-400"}}, 8, start},   // 10^400 does not fit a double
      {{{'f', "400"}}, 8, start},    // 10^-400 would read as a removed constant
      {{{'f', "3"}, {'f', "5"}}, 3, few},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.slots[0].pk);
    TestModule t;
    load_data(*t, make_flat_data(c.spectra, 10));
    set_slots(*t, c.slots);
    Command2_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].text, c.text);
    EXPECT_EQ(t.pf.messages[0].title, "Недостатньо даних!");
    EXPECT_EQ(t->state.search.trials, 0);
    expect_finished(t);
  }
}

// An empty box is refused before its slot is read; a box that reads as 0 after: the slots'
// state shows which.
TEST(Optimisation, AnEmptyStartBoxLeavesItsSlotAsItWas) {
  for (const char* text : {"", "0"}) {
    SCOPED_TRACE(text);
    TestModule t;
    load_data(*t, make_flat_data(5, 10));
    t->state.search.pk[2] = 7;
    t->state.calc.ka[2] = 123;
    set_slots(*t, {{'f', "3"}, {'f', text}});
    Command2_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t->state.search.pk[1], 3.0f);
    EXPECT_EQ(t->state.search.pk_free[1], 1);
    const bool empty = *text == 0;
    EXPECT_EQ(t->state.search.pk[2], empty ? 7.0f : 0.0f);
    EXPECT_EQ(t->state.calc.ka[2], empty ? 123.0 : 1.0);
    EXPECT_EQ(t->state.search.pk_free[2], empty ? 0 : 1);
  }
}

TEST(Optimisation, ZeroedSlotsMayBeEmpty) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', "4"}});
  for (int k = 2; k <= kSlots; ++k) EXPECT_EQ(t->ui.txt_pK[k].text, "");
  Command2_Click(*t);
  EXPECT_TRUE(t.pf.messages.empty());
  for (int k = 2; k <= kSlots; ++k) EXPECT_EQ(t->state.calc.ka[k], 0.0);
}

TEST(Optimisation, StopKeepsTheCentreAndScoresTheTrialOfItsYield) {
  TestModule t;
  const AcidRecipe recipe = recovery_acid(2);
  load_data(*t, make_acid_data(recipe));
  set_slots(*t, {{'f', "3.5"}, {'f', "6"}});
  SearchProbe probe(t);
  probe.at_yield = [&](long n) {
    EXPECT_TRUE(t->running);
    for (int s = 1; s <= kWindowSpectra; ++s) EXPECT_FALSE(t->ui.Check3[s].enabled);
    if (n == 5) press_stop(*t);
  };
  Command2_Click(*t);
  EXPECT_EQ(t->state.search.trials, 5);
  EXPECT_EQ(t->state.search.pk_best[1], 3.5f);
  EXPECT_EQ(t->state.search.pk_best[2], 6.0f);
  EXPECT_EQ(t->ui.txt_pK[1].text.rfind("3.50 ± ", 0), 0u) << t->ui.txt_pK[1].text;
  EXPECT_EQ(t->ui.txt_pK[2].text.rfind("6.00 ± ", 0), 0u) << t->ui.txt_pK[2].text;
  expect_finished(t);
  for (int s = 1; s <= kWindowSpectra; ++s)
    EXPECT_EQ(t->ui.Check3[s].enabled, s <= recipe.n_spectra);
}

TEST(Optimisation, AStopPressedWhileIdleDoesNotStopTheNextRun) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', "4"}});
  Command1_Click(*t);
  Command2_Click(*t);
  EXPECT_EQ(t->state.search.trials, 13 * 3);
}

TEST(Optimisation, ElapsedTimeSurvivesMidnight) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', "4"}});
  t.pf.clock = 86399.5;
  SearchProbe probe(t);
  probe.at_yield = [&](long n) {
    if (n == 1) t.pf.clock = 1.0;
  };
  Command2_Click(*t);
  EXPECT_EQ(t->ui.Lab_chas.text, "01.5");
}

TEST(Optimisation, TrialsWhoseConstantUnderflowsAreSkipped) {
  TestModule t;
  load_data(*t, make_flat_data(8, 10));
  // 250 · 1.5 = 375, and 10^-375 is 0 in a double. (A zeroed slot would sit at 50 and
  // keep such values out by the order test, so all five slots are present.)
  set_slots(*t, {{'h', "1"}, {'h', "2"}, {'h', "3"}, {'h', "4"}, {'f', "250"}});
  SearchProbe probe(t);
  Command2_Click(*t);
  EXPECT_TRUE(t.pf.messages.empty());
  for (const YieldSnap& snap : probe.snaps) EXPECT_GT(snap.ka[5], 0.0);  // never "removed"
  const auto trials = probe.trials_before();
  ASSERT_GE(trials.size(), 2u);
  EXPECT_NEAR(trials[0][5], 250 / 1.5, 1e-3);
  EXPECT_EQ(trials[1][5], 250.0f);
  EXPECT_EQ(t->state.search.trials, 2 + 12 * 3);  // only the first factor reaches 375
}

}  // namespace
}  // namespace ferolan::testing
