#include <gtest/gtest.h>

#include <cmath>

#include "engine/search/trace.h"
#include "support/acid_spectra.h"
#include "support/search_probe.h"
#include "support/search_setup.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan::testing {
namespace {

TEST(AutoGrid, RecoversKnownConstantsFromNoisyData) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    TestModule t;
    const AcidRecipe recipe = recovery_acid(n);
    load_data(*t, make_acid_data(recipe));
    set_slots(*t, std::vector<SlotSetup>(n, SlotSetup{'f', ""}));
    Command9_Click(*t);
    EXPECT_TRUE(t.pf.messages.empty());
    expect_recovered(t, recipe, n);
    expect_finished(t);
  }
}

TEST(AutoGrid, TwelvePassesHalveTheStepAndFillTheBar) {
  for (char dec : {'.', ','}) {
    TestModule t;
    t.pf.decimal = dec;
    load_data(*t, make_flat_data(8, 10));
    SearchProbe probe(t);
    Command9_Click(*t);
    std::vector<std::string> steps = {"3.000", "1.500", "0.750", "0.375", "0.188", "0.094",
                                      "0.047", "0.023", "0.012", "0.006", "0.003", "0.001"};
    for (std::string& s : steps) s[1] = dec;
    EXPECT_EQ(probe.step_texts, steps);
    // 4 at the first pass, +2 per pass to 28; then 3 and +2 per shrink of the final factor
    // (all trials tie, so it only shrinks: ten times); the finish block empties it.
    std::vector<int> bar;
    for (int n = 4; n <= 28; n += 2) bar.push_back(n);
    for (int n = 3; n <= 23; n += 2) bar.push_back(n);
    bar.push_back(2);
    EXPECT_EQ(probe.bar, bar);
    // Of equal scores the first trial stays: (1, 1, 1, 1, 1), equal values being in order.
    for (int k = 1; k <= kSlots; ++k) EXPECT_EQ(t->state.search.pk_best[k], 1.0f);
    // The last pass scans 1 ± 3/1024.
    EXPECT_EQ(t->ui.txt_poch[1].text, std::string("1") + dec + "00");
    EXPECT_EQ(t->ui.txt_kin[5].text, std::string("1") + dec + "00");
    expect_finished(t);
  }
}

TEST(AutoGrid, FirstPassScansOneToThirteenInOrder) {
  TestModule t;
  load_data(*t, make_flat_data(8, 10));
  SearchProbe probe(t);
  Command9_Click(*t);
  const auto trials = probe.trials_after();
  const float grid[] = {1, 4, 7, 10, 13};
  size_t i = 0;
  for (float a : grid)
    for (float b : grid)
      for (float c : grid)
        for (float d : grid)
          for (float e : grid) {
            if (!(a <= b && b <= c && c <= d && d <= e)) continue;
            ASSERT_LT(i, trials.size());
            const float want[] = {0, a, b, c, d, e};
            for (int k = 1; k <= kSlots; ++k) EXPECT_NEAR(trials[i][k], want[k], 1e-4) << i;
            ++i;
          }
  EXPECT_EQ(i, 126u);
  EXPECT_NEAR(trials[126][1], -2, 1e-4);  // the second pass starts at 1 - 3
}

TEST(AutoGrid, HeldSlotBoundsTheScanAndItsRangeBoxesStayEmpty) {
  TestModule t;
  AcidRecipe recipe = recovery_acid(3);
  recipe.pka = {3.2, 4.5, 8.1};
  load_data(*t, make_acid_data(recipe));
  set_slots(*t, {{'f', ""}, {'h', "4.5"}, {'f', ""}});
  SearchProbe probe(t);
  long grid_trials = 0;
  probe.at_yield = [&](long) {
    if (t->ui.Label5.text.size() % 2 == 0) grid_trials = t->state.search.trials;
  };
  Command9_Click(*t);
  EXPECT_LE(grid_trials, 12 * 25);
  for (const auto& trial : probe.trials_after()) {
    EXPECT_NEAR(trial[2], 4.5, 1e-5);
    EXPECT_LE(trial[1], 4.5f + 1e-5f);
    EXPECT_GE(trial[3], 4.5f - 1e-5f);
  }
  for (int k : {2, 4, 5}) {
    EXPECT_EQ(t->ui.txt_poch[k].text, "") << k;
    EXPECT_EQ(t->ui.txt_kin[k].text, "") << k;
    EXPECT_EQ(t->ui.txt_krok[k].text, "") << k;
  }
  EXPECT_NEAR(t->state.search.pk_best[1], 3.2, kRecoveryTolerance);
  EXPECT_NEAR(t->state.search.pk_best[3], 8.1, kRecoveryTolerance);
  EXPECT_EQ(t->ui.txt_pK[2].text, "4.50");
  expect_finished(t);
}

TEST(AutoGrid, ZeroedSlotsStayOutAndSitAtFiftyInTheFinalStage) {
  TestModule t;
  load_data(*t, make_acid_data(recovery_acid(2)));
  set_slots(*t, {{'f', ""}, {'f', ""}});
  SearchProbe probe(t);
  bool final_stage_seen = false;
  probe.at_yield = [&](long) {
    for (int k = 3; k <= kSlots; ++k) EXPECT_EQ(t->state.calc.ka[k], 0.0);
    if (t->ui.Label5.text.size() % 2 == 1) {  // the final stage's bar is odd
      final_stage_seen = true;
      for (int k = 3; k <= kSlots; ++k) EXPECT_EQ(t->state.search.pk[k], 50.0f);
    }
  };
  Command9_Click(*t);
  EXPECT_TRUE(final_stage_seen);
  for (int k = 3; k <= kSlots; ++k) EXPECT_EQ(t->ui.txt_pK[k].text, "");
}

TEST(AutoGrid, RefusalsBeforeTheGrid) {
  struct Case {
    int spectra;
    const char* held;
    std::string text;
  } cases[] = {
      {8, "abc", "Вкажіть значення рКа №2  у форматі #.##"},
      {8, "0", "Вкажіть значення рКа №2  у форматі #.##"},
      {8, "", "Вкажіть значення рКа №2  у форматі #.##"},
      {8, "-400", "Вкажіть значення рКа №2  у форматі #.##"},
      {3, "4", "Надто мало спектрів для розрахунку!!!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.held);
    TestModule t;
    load_data(*t, make_flat_data(c.spectra, 10));
    set_slots(*t, {{'f', "1"}, {'h', c.held}});
    t->ui.set_text(t->ui.Label9, "hint");
    Command9_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].text, c.text);
    EXPECT_EQ(t.pf.messages[0].title, "Недостатньо даних!");
    EXPECT_EQ(t->state.search.trials, 0);
    EXPECT_EQ(t->ui.Label9.text, "hint");
    EXPECT_FALSE(t->running);
    EXPECT_FALSE(t->ui.Command1.enabled);
    EXPECT_TRUE(t->ui.Command9.enabled && t->ui.Check1[1].enabled);
    // The record of the start texts is made only once the run is locked.
    EXPECT_EQ(t->ui.Label3.text, c.spectra == 3 ? "Label3" : std::string("1 ") + c.held + "    ");
  }
}

TEST(AutoGrid, StopInTheSecondPassEndsTheGridAndRunsTheFinalStage) {
  TestModule t;
  const AcidRecipe recipe = recovery_acid(2);
  load_data(*t, make_acid_data(recipe));
  set_slots(*t, {{'f', ""}, {'f', ""}});
  SearchProbe probe(t);
  std::string boxes_after_grid;
  probe.at_yield = [&](long) {
    if (t->state.search.trials == 20 && !t->ui.Command2.enabled) press_stop(*t);
    if (boxes_after_grid.empty() && t->ui.Label5.text.size() == 8)  // bar after pass 2
      boxes_after_grid = t->ui.txt_pK[1].text + " " + t->ui.txt_pK[2].text;
  };
  Command9_Click(*t);
  EXPECT_EQ(probe.step_texts, (std::vector<std::string>{"3.000", "1.500"}));
  EXPECT_EQ(boxes_after_grid.size(), 9u) << boxes_after_grid;  // "d.dd d.dd"
  EXPECT_GT(t->state.search.trials, 21);                       // the final stage ran
  EXPECT_NEAR(t->state.search.pk_best[1], recipe.pka[0], 0.05);
  EXPECT_NEAR(t->state.search.pk_best[2], recipe.pka[1], 0.05);
  EXPECT_NE(t->ui.txt_pK[1].text.find(" ± "), std::string::npos);
  expect_finished(t);
}

TEST(AutoGrid, StopBeforeTheFirstTrialEndsWithTheStartValueMessage) {
  TestModule t;
  load_data(*t, make_acid_data(recovery_acid(2)));
  set_slots(*t, {{'f', ""}, {'f', ""}});
  SearchProbe probe(t);
  probe.at_yield = [&](long n) {
    if (n == 1) press_stop(*t);
  };
  Command9_Click(*t);
  EXPECT_EQ(t->state.search.trials, 0);
  ASSERT_EQ(t.pf.messages.size(), 1u);
  EXPECT_EQ(t.pf.messages[0].text, "Вкажіть початкові значення всіх шуканих рКа!!!");
  EXPECT_EQ(t.pf.messages[0].title, "Недостатньо даних!");
  EXPECT_EQ(t->ui.txt_pK[1].text, "0.00");  // no uncertainty estimate
  EXPECT_EQ(t->state.search.pk_best[1], 0.0f);
  expect_finished(t);
}

TEST(AutoGrid, StopInTheFinalStageEndsWithItsCentre) {
  TestModule t;
  load_data(*t, make_acid_data(recovery_acid(1)));
  set_slots(*t, {{'f', ""}});
  SearchProbe probe(t);
  float centre = 0;
  probe.at_yield = [&](long) {
    if (t->ui.Label5.text == "   " && centre == 0) {
      centre = std::stof(t->ui.txt_pK[1].text);
      press_stop(*t);
    }
  };
  Command9_Click(*t);
  EXPECT_EQ(t->state.search.pk_best[1], centre);
  EXPECT_NE(t->ui.txt_pK[1].text.find(" ± "), std::string::npos);
  expect_finished(t);
}

TEST(AutoGrid, WithNoFittedSlotThePassesRepeatUntilStopped) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'h', "4.25"}});
  SearchProbe probe(t);
  probe.at_yield = [&](long n) {
    if (n == 40) press_stop(*t);
  };
  Command9_Click(*t);
  EXPECT_GE(t->state.search.trials, 19);  // one trial per pass, two yields per pass
  EXPECT_TRUE(t.pf.messages.empty());
  EXPECT_EQ(t->state.search.pk_best[1], 4.25f);
  expect_finished(t);
}

// An acid whose first constant lies below 1: its box shows "0,80" in a comma locale.
AcidRecipe strong_acid() {
  AcidRecipe r;
  r.pka = {0.8, 3.5};
  r.n_spectra = 12;
  r.ph_first = 0;
  r.ph_last = 6;
  r.noise = 0.001;
  return r;
}

TEST(AutoGrid, EveryLocaleGivesTheSameTrialsAndResult) {
  const AcidRecipe recipe = strong_acid();
  std::string trials[2];
  for (char dec : {'.', ','}) {
    SCOPED_TRACE(dec);
    TestModule t;
    t.pf.decimal = dec;
    load_data(*t, make_acid_data(recipe));
    set_slots(*t, {{'f', ""}, {'f', ""}});
    std::string& trace = trials[dec == ','];
    t->on_trial = [&](const TrialScore& trial) { trace += trace_line(trial); };
    Command9_Click(*t);
    EXPECT_TRUE(t.pf.messages.empty());
    expect_recovered(t, recipe, 2);
    EXPECT_EQ(t->ui.txt_pK[1].text.substr(0, 8), std::string("0") + dec + "80 ± ");
    EXPECT_EQ(t->ui.txt_pK[2].text.substr(0, 8), std::string("3") + dec + "50 ± ");
    expect_finished(t);
  }
  EXPECT_GT(trials[0].size(), 1000u);
  EXPECT_EQ(trials[0], trials[1]);
}

// A box the user changes while the grid runs is read as typed start values are: the point
// rule, an empty box refused.
TEST(AutoGrid, ABoxChangedDuringTheGridIsReadAsTyped) {
  struct Case {
    const char* typed;
    float centre;  // of slot 2 in the final stage; 0: refused
  } cases[] = {{"3.6", 3.6f}, {"3,6", 3.0f}, {"", 0}, {"x", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    TestModule t;
    t.pf.decimal = ',';
    load_data(*t, make_acid_data(strong_acid()));
    set_slots(*t, {{'f', ""}, {'f', ""}});
    SearchProbe probe(t);
    long grid_trials = -1;
    probe.at_yield = [&](long) {
      if (grid_trials < 0 && t->ui.Label5.text.size() == 28) {  // the last pass ended
        grid_trials = t->state.search.trials;
        t->ui.set_text(t->ui.txt_pK[2], c.typed);
      }
    };
    std::vector<TrialScore> scored;
    t->on_trial = [&](const TrialScore& trial) { scored.push_back(trial); };
    Command9_Click(*t);
    ASSERT_GT(grid_trials, 0);
    if (c.centre == 0) {
      ASSERT_EQ(t.pf.messages.size(), 1u);
      EXPECT_EQ(t.pf.messages[0].text, "Вкажіть початкові значення всіх шуканих рКа!!!");
      EXPECT_EQ(t->state.search.trials, grid_trials);
      EXPECT_EQ(t->ui.txt_pK[2].text, c.typed);  // no uncertainty estimate
    } else {
      EXPECT_TRUE(t.pf.messages.empty());
      // The first sweep's first trial: both constants at centre / 1.1.
      ASSERT_GT(scored.size(), static_cast<size_t>(grid_trials));
      const TrialScore& first = scored[static_cast<size_t>(grid_trials)];
      EXPECT_NEAR(first.pk[2], c.centre / 1.1, 1e-5);
      EXPECT_NEAR(first.pk[1], 0.8 / 1.1, 1e-5);
    }
    expect_finished(t);
  }
}

}  // namespace
}  // namespace ferolan::testing
