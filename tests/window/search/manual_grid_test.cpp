#include <gtest/gtest.h>

#include <cmath>

#include "engine/search/workspace.h"
#include "support/acid_spectra.h"
#include "support/search_probe.h"
#include "support/search_setup.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"

namespace ferolan::testing {
namespace {

constexpr const char* kDone = " РОЗРАХУНОК ЗАВЕРШЕНО !!!";

// Two fitted slots over the given ranges, the rest zeroed.
void two_slots(TestModule& t, const char* a0, const char* a1, const char* as, const char* b0,
               const char* b1, const char* bs) {
  set_slots(*t, {{'f', ""}, {'f', ""}});
  set_range(*t, 1, a0, a1, as);
  set_range(*t, 2, b0, b1, bs);
}

TEST(ManualGrid, RecoversKnownConstantsFromNoisyData) {
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    TestModule t;
    const AcidRecipe recipe = recovery_acid(n);
    load_data(*t, make_acid_data(recipe));
    std::vector<SlotSetup> slots(n, SlotSetup{'f', ""});
    set_slots(*t, slots);
    const char* ranges[][2] = {{"3.1", "3.3"}, {"5.6", "5.8"}, {"8", "8.2"}};
    for (int k = 1; k <= n; ++k) set_range(*t, k, ranges[k - 1][0], ranges[k - 1][1], "0,01");
    Command6_Click(*t);
    EXPECT_TRUE(t.pf.messages.empty());
    // The grid value itself is a float sum, a little off the decimal step.
    expect_recovered(t, recipe, n, kRecoveryTolerance + 1e-5);
    EXPECT_EQ(t->ui.Label9.text, kDone);
    EXPECT_EQ(t->ui.Label5.text, "  ");
    expect_unlocked(t);
  }
}

TEST(ManualGrid, VisitsAscendingWithSlotOneOutermostAndKeepsTheFirstOfEqualScores) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  two_slots(t, "1", "2", "0.5", "3", "4", "0.5");
  SearchProbe probe(t);
  Command6_Click(*t);
  const auto trials = probe.trials_after();
  ASSERT_EQ(trials.size(), 9u);
  int i = 0;
  for (float a : {1.0f, 1.5f, 2.0f})
    for (float b : {3.0f, 3.5f, 4.0f}) {
      EXPECT_NEAR(trials[i][1], a, 1e-5);
      EXPECT_NEAR(trials[i][2], b, 1e-5);
      ++i;
    }
  EXPECT_EQ(t->state.search.pk_best[1], 1.0f);
  EXPECT_EQ(t->state.search.pk_best[2], 3.0f);
  // Every planned combination ran, so the bar reached its track's 28 spaces.
  const std::vector<int> bar = {3, 6, 9, 12, 15, 18, 21, 24, 28, 2};
  EXPECT_EQ(probe.bar, bar);
  EXPECT_EQ(t->ui.Label9.text, kDone);
}

// Combinations of five slots' values that do not fall from slot to slot.
long ordered(const std::vector<std::vector<float>>& v, size_t k = 0, float last = -1) {
  if (k == v.size()) return 1;
  long n = 0;
  for (float p : v[k])
    if (p >= last) n += ordered(v, k + 1, p);
  return n;
}

TEST(ManualGrid, DefaultRangesScoreOnlyOrderedCombinations) {
  TestModule t;
  load_data(*t, make_flat_data(8, 10));
  SearchProbe probe(t);
  Command6_Click(*t);
  std::vector<std::vector<float>> values(5);
  for (int k = 0; k < 5; ++k)
    for (int i = 0; i <= 8; ++i) values[k].push_back(2 * k + 1 + 0.5f * i);
  EXPECT_EQ(t->state.search.trials, ordered(values));
  EXPECT_LT(t->state.search.trials, 59049);
  for (const auto& trial : probe.trials_after())
    for (int k = 2; k <= kSlots; ++k) EXPECT_GE(trial[k] + 1e-5f, trial[k - 1]);
  // Not every combination is in order, so the bar stops short of its track.
  EXPECT_LT(*std::max_element(probe.bar.begin(), probe.bar.end()), 28);
}

TEST(ManualGrid, RangesIncludeBothEnds) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', ""}});
  set_range(*t, 1, "5", "6", "1");
  SearchProbe probe(t);
  Command6_Click(*t);
  const auto trials = probe.trials_after();
  ASSERT_EQ(trials.size(), 2u);
  EXPECT_NEAR(trials[0][1], 5, 1e-5);
  EXPECT_NEAR(trials[1][1], 6, 1e-5);
}

TEST(ManualGrid, HeldSlotsBoundTheirNeighbours) {
  TestModule t;
  load_data(*t, make_flat_data(6, 10));
  set_slots(*t, {{'f', ""}, {'h', "4,5"}, {'f', ""}});
  set_range(*t, 1, "1", "7", "1");
  set_range(*t, 3, "2", "8", "1");
  SearchProbe probe(t);
  Command6_Click(*t);
  EXPECT_TRUE(t.pf.messages.empty());
  EXPECT_EQ(t->state.search.trials, 4 * 4);  // slot 1 in 1..4, slot 3 in 5..8
  for (const auto& trial : probe.trials_after()) {
    EXPECT_NEAR(trial[2], 4.5, 1e-5);
    EXPECT_LE(trial[1], 4.5f);
    EXPECT_GE(trial[3], 4.5f);
  }
  EXPECT_EQ(t->ui.txt_pK[2].text, "4.50");  // held: the plain value, no uncertainty
}

TEST(ManualGrid, SlotOneZeroedRunsOneTrialAtPkaOne) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  t->ui.set_checked(t->ui.Check2[1], true);
  Command6_Click(*t);
  EXPECT_EQ(t->state.search.trials, 1);
  EXPECT_DOUBLE_EQ(t->state.calc.ka[1], 0.1);
  for (int k = 2; k <= kSlots; ++k) EXPECT_EQ(t->state.calc.ka[k], 0.0);
  EXPECT_EQ(t->ui.txt_pK[1].text, "1.00");
}

TEST(ManualGrid, MessagesNameTheSlotAndUnlock) {
  const char* few = "Недостатньо даних!";
  const char* bad = "Некоректні дані!";
  struct Case {
    int slot;
    std::vector<const char*> range;  // start, end, step; empty: slot 2 held at value
    const char* value;
    std::string text;
    const char* title;
  } cases[] = {
      {2, {}, "", "Вкажіть значення рКа №2", few},
      {2, {}, "0", "Вкажіть значення рКа №2", few},
      {2, {}, "abc", "Вкажіть значення рКа №2", few},
      {2, {}, "1e-400", "Вкажіть значення рКа №2", few},
      {2,
       {"-0.5", "6", "1"},
       "",
       "Некоректне початкове значення діапазону рКа №2 (має бути від 0 до 14) !",
       bad},
      {2,
       {"14.5", "6", "1"},
       "",
       "Некоректне початкове значення діапазону рКа №2 (має бути від 0 до 14) !",
       bad},
      {2,
       {"x", "6", "1"},
       "",
       "Некоректне початкове значення діапазону рКа №2 (має бути від 0 до 14) !",
       bad},
      {2,
       {"3", "14.5", "1"},
       "",
       "Некоректне кінцеве значення діапазону рКа №2 (має бути від 1 до 14) !",
       bad},
      {2,
       {"0", "0.5", "0.1"},
       "",
       "Некоректне кінцеве значення діапазону рКа №2 (має бути від 1 до 14) !",
       bad},
      {2,
       {"3", "", "1"},
       "",
       "Некоректне кінцеве значення діапазону рКа №2 (має бути від 1 до 14) !",
       bad},
      {2,
       {"5", "5", "1"},
       "",
       "Кінцеве значення діапазону рКа №2 має бути більшим за початкове !",
       bad},
      {2,
       {"6", "5", "1"},
       "",
       "Кінцеве значення діапазону рКа №2 має бути більшим за початкове !",
       bad},
      {2, {"5", "6", "1.5"}, "", "Некоректне значення кроку перебору значення рКа №2 !", bad},
      {2, {"5", "6", "0"}, "", "Некоректне значення кроку перебору значення рКа №2 !", bad},
      {2, {"5", "6", ""}, "", "Некоректне значення кроку перебору значення рКа №2 !", bad},
      // A step too small to move a float past the range end would never finish.
      {2, {"0", "14", "1e-7"}, "", "Некоректне значення кроку перебору значення рКа №2 !", bad},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " / " + c.value);
    TestModule t;
    load_data(*t, make_flat_data(8, 10));
    set_slots(*t, {{'f', ""}, {c.range.empty() ? 'h' : 'f', c.value}, {'f', ""}});
    if (!c.range.empty()) set_range(*t, 2, c.range[0], c.range[1], c.range[2]);
    t->ui.set_text(t->ui.Label9, "hint");
    Command6_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].text, c.text);
    EXPECT_EQ(t.pf.messages[0].title, std::string(c.title));
    EXPECT_EQ(t->state.search.trials, 0);
    EXPECT_EQ(t->ui.Label9.text, "hint");  // no completion text after a refusal
    expect_unlocked(t);
  }
}

TEST(ManualGrid, AcceptedRangeEdges) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', ""}});
  set_range(*t, 1, "", "14", "7");  // an empty start reads as 0
  Command6_Click(*t);
  EXPECT_TRUE(t.pf.messages.empty());
  EXPECT_EQ(t->state.search.trials, 3);
}

TEST(ManualGrid, TooFewSpectraAndTooLargeGridsAreRefused) {
  {
    TestModule t;
    load_data(*t, make_flat_data(6, 10));  // five constants need seven spectra
    Command6_Click(*t);
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].text, "Надто мало спектрів для розрахунку!!!");
    EXPECT_EQ(t.pf.messages[0].title, "Недостатньо даних!");
    expect_unlocked(t);
  }
  {
    TestModule t;
    load_data(*t, make_flat_data(8, 10));
    for (int k = 1; k <= kSlots; ++k) set_range(*t, k, "0", "14", "0.001");
    Command6_Click(*t);  // 14001^3 combinations already pass 2^31
    ASSERT_EQ(t.pf.messages.size(), 1u);
    EXPECT_EQ(t.pf.messages[0].text, "Некоректне значення кроку перебору значення рКа №3 !");
    EXPECT_EQ(t->state.search.trials, 0);
    expect_unlocked(t);
  }
}

TEST(ManualGrid, NothingEvaluatedKeepsThePreviousResults) {
  struct Case {
    bool stop_at_first_yield;
    std::vector<std::vector<const char*>> ranges;
  } cases[] = {
      // Every slot-2 value lies below every slot-1 value.
      {false, {{"6", "8", "1"}, {"1", "3", "1"}}},
      // The first combination fails at slot 5, whose step yields; a stop comes there.
      {true, {{"1", "2", "1"}, {"2", "3", "1"}, {"3", "4", "1"}, {"5", "6", "1"}, {"4", "8", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stop_at_first_yield);
    TestModule t;
    load_data(*t, make_acid_data(recovery_acid(2)));
    set_slots(*t, std::vector<SlotSetup>(c.ranges.size(), SlotSetup{'f', ""}));
    for (size_t k = 0; k < c.ranges.size(); ++k)
      set_range(*t, static_cast<int>(k + 1), c.ranges[k][0], c.ranges[k][1], c.ranges[k][2]);
    t->ui.set_text(t->ui.txt_pK[1], "3.20 ± 0.01");
    t->ui.set_text(t->ui.Lab_K[1], "6.31e-04");
    t->ui.set_text(t->ui.Label4, "1.00e-03");
    t->state.calc.ka = {0, 6.3e-4, 2e-6, 0, 0, 0};
    t->state.calc.eps_forms[1][1] = 1234.0f;
    t->state.search.pk_best = {0, 3.2f, 5.7f, 0, 0, 0};
    SearchProbe probe(t);
    probe.at_yield = [&](long n) {
      if (c.stop_at_first_yield && n == 1) press_stop(*t);
    };
    Command6_Click(*t);
    EXPECT_EQ(t->state.search.trials, 0);
    EXPECT_TRUE(t.pf.messages.empty());
    EXPECT_EQ(t->ui.txt_pK[1].text, "3.20 ± 0.01");
    EXPECT_EQ(t->ui.Lab_K[1].text, "6.31e-04");
    EXPECT_EQ(t->ui.Label4.text, "1.00e-03");
    EXPECT_EQ(t->state.calc.ka[1], 6.3e-4);
    EXPECT_EQ(t->state.calc.eps_forms[1][1], 1234.0f);
    EXPECT_EQ(t->state.search.pk_best[1], 3.2f);
    // A stop is no fault of the ranges.
    EXPECT_EQ(t->ui.Label9.text,
              c.stop_at_first_yield
                  ? " Розрахунок зупинено до першої комбінації рКа."
                  : " Жодної комбінації рКа не розраховано: перевірте діапазони.");
    EXPECT_EQ(t->ui.Label5.text, "  ");
    expect_unlocked(t);
  }
}

TEST(ManualGrid, AStepIsRefusedOnlyWhenItCannotMoveTheLoop) {
  const float end = 14.0f;
  const float ulp = std::nextafter(end, 100.0f) - end;
  struct Case {
    float step;
    bool ok;
  } cases[] = {
      {ulp / 2, false},                       // rounds back to end: would never finish
      {std::nextafter(ulp / 2, 1.0f), true},  // just above half an ulp: rounds up
      {0.75f * ulp, true},                    // below one ulp, still moves
      {ulp, true},
      {0, false},
      {-1, false},
      {14.5f, false},  // longer than the range
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.step);
    EXPECT_EQ(range_step_ok(13.0f, end, c.step), c.ok);
    if (c.ok) {
      // The loop really advances past end from the last value below it.
      float p = std::nextafter(end, 0.0f);
      p += c.step;
      EXPECT_GT(p + c.step, p);
    }
  }
}

TEST(ManualGrid, StopKeepsTheBestSoFar) {
  TestModule t;
  load_data(*t, make_acid_data(recovery_acid(1)));
  set_slots(*t, {{'f', ""}});
  set_range(*t, 1, "1", "9", "0.5");  // 3.0 is met at the fifth trial, 3.5 at the sixth
  SearchProbe probe(t);
  probe.at_yield = [&](long) {
    EXPECT_TRUE(t->running);
    if (t->state.search.trials == 6) press_stop(*t);
  };
  Command6_Click(*t);
  EXPECT_EQ(t->state.search.trials, 6);
  EXPECT_EQ(t->state.search.pk_best[1], 3.0f);
  EXPECT_EQ(t->ui.txt_pK[1].text.rfind("3.00 ± ", 0), 0u) << t->ui.txt_pK[1].text;
  EXPECT_EQ(t->ui.Label9.text, kDone);
  expect_unlocked(t);
}

TEST(ManualGrid, EveryTrialIsShownAsConstants) {
  TestModule t;
  load_data(*t, make_flat_data(5, 10));
  set_slots(*t, {{'f', ""}});
  set_range(*t, 1, "2", "4", "1");
  std::vector<std::string> shown;
  SearchProbe probe(t);
  probe.at_yield = [&](long) { shown.push_back(t->ui.Lab_K[1].text); };
  Command6_Click(*t);
  // Progress-bar yields come before the trial's fit, step yields after it.
  const std::vector<std::string> expected = {"1.00e-02", "1.00e-02", "1.00e-03",
                                             "1.00e-03", "1.00e-04", "1.00e-04"};
  EXPECT_EQ(shown, expected);
}

}  // namespace
}  // namespace ferolan::testing
