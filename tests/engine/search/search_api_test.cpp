// The searches through the engine's own API: typed setup in, outcome and result out.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/model/fit.h"
#include "engine/search/workspace.h"
#include "support/acid_spectra.h"

namespace ferolan::testing {
namespace {

struct Engine {
  explicit Engine(const DataSet& d) : data(std::make_unique<DataSet>(d)) {
    for (int s = 1; s <= data->n_spectra; ++s) data->spectrum_used[s] = 1;
    State st;
    set_start_values(st);
    search = st.search;
  }
  Workspace ws() { return Workspace{*data, *calc, search}; }
  std::unique_ptr<DataSet> data;
  std::unique_ptr<CalcState> calc = std::make_unique<CalcState>();
  SearchState search;
};

// Two fitted constants near 3.2 and 5.7, the rest removed.
ModelSetup two_constants() {
  ModelSetup s;
  s.slot[1] = {SlotMode::Fitted, 3.0f, 2.5f, 4.0f, 0.25f};
  s.slot[2] = {SlotMode::Fitted, 6.0f, 5.0f, 6.5f, 0.25f};
  for (int k = 3; k <= kSlots; ++k) s.slot[k].mode = SlotMode::Removed;
  return s;
}

// Counts what the observer is told.
struct Counter : SearchObserver {
  long scored_n = 0, yields = 0, bests = 0;
  void scored(const TrialScore&) override { ++scored_n; }
  void yield() override { ++yields; }
  void best(BestKind, double, const Shown&) override { ++bests; }
};

using SearchFn = SearchResult (*)(Workspace, const ModelSetup&, SearchObserver&);
const struct {
  const char* name;
  SearchFn run;
} kSearches[] = {{"optimise", optimise}, {"manual_grid", manual_grid}, {"auto_grid", auto_grid}};

TEST(EngineSearch, ResultsAreTheFullFitAtTheBestSet) {
  for (const auto& search : kSearches) {
    SCOPED_TRACE(search.name);
    Engine e(make_acid_data(recovery_acid(2)));
    Counter obs;
    const SearchResult r = search.run(e.ws(), two_constants(), obs);
    ASSERT_EQ(r.outcome, Outcome::Finished);
    EXPECT_EQ(r.trials, obs.scored_n);
    EXPECT_GT(r.trials, 0);
    EXPECT_GE(r.fits, r.trials);
    EXPECT_GE(r.seconds, 0.0);
    for (int k = 1; k <= 2; ++k) {
      EXPECT_EQ(r.ka[k], std::pow(10.0, -static_cast<double>(r.pk_best[k])));
      EXPECT_TRUE(std::isfinite(r.u[k]));
    }
    EXPECT_EQ(r.ka[3], 0.0);
    // s(A) is the score of a fresh full-resolution fit at the result, not a trial's.
    auto calc = std::make_unique<CalcState>();
    calc->ka = r.ka;
    calc->fit_step = 1;
    chy_dostatno_spektriv(*e.data, r.modes, *calc);
    rozrah(*e.data, *calc);
    EXPECT_EQ(r.s_a, std::sqrt(calc->s_a_sq));
    EXPECT_GT(r.s_a_thinned, 0.0);
  }
}

TEST(EngineSearch, RefusalsNameTheMessageAndTheSlot) {
  struct Case {
    const char* what;
    SearchFn run;
    int slot;
    ferolan::SlotSetup bad;
    Msg msg;
    int msg_slot;
  } cases[] = {
      {"start value 0", optimise, 2, {SlotMode::Fitted, 0}, Msg::StartValues, 0},
      {"held without value", manual_grid, 2, {SlotMode::Held, 0}, Msg::HeldValue, 2},
      {"held, automatic", auto_grid, 1, {SlotMode::Held, 0}, Msg::HeldValueAuto, 1},
      {"range start", manual_grid, 1, {SlotMode::Fitted, 0, -1, 5, 1}, Msg::RangeStart, 1},
      {"range end", manual_grid, 2, {SlotMode::Fitted, 0, 1, 15, 1}, Msg::RangeEnd, 2},
      {"range order", manual_grid, 1, {SlotMode::Fitted, 0, 5, 5, 1}, Msg::RangeOrder, 1},
      {"step", manual_grid, 2, {SlotMode::Fitted, 0, 5, 6, 0}, Msg::Step, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Engine e(make_acid_data(recovery_acid(2)));
    ModelSetup setup = two_constants();
    setup.slot[c.slot] = c.bad;
    Counter obs;
    const SearchResult r = c.run(e.ws(), setup, obs);
    EXPECT_EQ(r.outcome, Outcome::Refused);
    EXPECT_EQ(r.refusal.msg, c.msg);
    EXPECT_EQ(r.refusal.slot, c.msg_slot);
    EXPECT_EQ(r.trials, 0);
    EXPECT_NE(std::string(message_code(c.msg)), "");
  }
  // No start value at all is refused before its slot's trial state is written; a value that
  // fails (0) is refused after, as the window shows it.
  for (float start : {std::numeric_limits<float>::quiet_NaN(), 0.0f}) {
    SCOPED_TRACE(start);
    Engine e(make_acid_data(recovery_acid(2)));
    e.search.pk[2] = 7;
    e.calc->ka[2] = 123;
    ModelSetup setup = two_constants();
    setup.slot[2].value = start;
    Counter obs;
    EXPECT_EQ(optimise(e.ws(), setup, obs).refusal.msg, Msg::StartValues);
    EXPECT_EQ(e.search.pk[1], setup.slot[1].value);
    EXPECT_EQ(e.search.pk[2], std::isnan(start) ? 7.0f : 0.0f);
    EXPECT_EQ(e.calc->ka[2], std::isnan(start) ? 123.0 : 1.0);
  }
  Engine few(make_acid_data(recovery_acid(2)));
  for (int s = 4; s <= few.data->n_spectra; ++s) few.data->spectrum_used[s] = 0;
  Counter obs;
  EXPECT_EQ(auto_grid(few.ws(), two_constants(), obs).refusal.msg, Msg::TooFewSpectra);
}

// Data no fit can score must be refused, never reported as a result.
TEST(EngineSearch, DataThatCannotBeScoredIsRefused) {
  struct Case {
    const char* what;
    float ph;          // of spectrum 1 (0: unchanged)
    float absorbance;  // every absorbance of spectrum 2 (0: unchanged)
    Msg msg;
  } cases[] = {
      {"pH below the range of a double's powers", -70.0f, 0, Msg::PhOutOfRange},
      {"absorbances near the float limit", 0, 1e38f, Msg::AbsorbanceTooLarge},
      {"negative absorbances near the float limit", 0, -3e38f, Msg::AbsorbanceTooLarge},
  };
  for (const Case& c : cases) {
    for (const auto& search : kSearches) {
      SCOPED_TRACE(std::string(c.what) + ", " + search.name);
      Engine e(make_acid_data(recovery_acid(2)));
      if (c.ph != 0) e.data->ph_values[1] = c.ph;
      if (c.absorbance != 0)
        for (int w = 1; w <= e.data->n_wavelengths; ++w) e.data->absorbance[w][2] = c.absorbance;
      Counter obs;
      const SearchResult r = search.run(e.ws(), two_constants(), obs);
      EXPECT_EQ(r.outcome, Outcome::Refused);
      EXPECT_EQ(r.refusal.msg, c.msg);
      EXPECT_EQ(obs.bests, 0);
      EXPECT_LE(r.trials, 1);
    }
  }
}

TEST(EngineSearch, AStopAtAYieldEndsTheSearchWithItsBestSoFar) {
  struct StopAt : SearchObserver {
    long at = 0, n = 0;
    void yield() override { ++n; }
    bool stop_delivered() override { return n == at; }
  };
  for (const auto& search : kSearches) {
    SCOPED_TRACE(search.name);
    Engine e(make_acid_data(recovery_acid(2)));
    StopAt obs;
    obs.at = 3;
    const SearchResult r = search.run(e.ws(), two_constants(), obs);
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_GT(r.trials, 0);
    EXPECT_TRUE(std::isfinite(r.s_a));
  }
}

// The fit a result carries is the one evaluate() gives at its constants, and it adds up:
// calculated from the forms, residual the rest of the measurement.
TEST(EngineSearch, TheResultCarriesTheFitThatEvaluateGivesAtItsConstants) {
  for (const auto& search : kSearches) {
    SCOPED_TRACE(search.name);
    Engine e(make_acid_data(recovery_acid(2)));
    e.data->spectrum_used[4] = 0;  // one spectrum left out
    Counter obs;
    const ModelSetup setup = two_constants();
    const SearchResult r = search.run(e.ws(), setup, obs);
    ASSERT_EQ(r.outcome, Outcome::Finished);
    const FitArrays& f = r.fit;
    const size_t nu = 11, np = 100;
    ASSERT_EQ(f.spectra.size(), nu);
    EXPECT_EQ(f.spectra[3], 5);
    ASSERT_EQ(f.points, static_cast<int>(np));
    ASSERT_EQ(f.form_conc.size(), nu * kForms);
    ASSERT_EQ(f.form_spectra.size(), np * kForms);
    ASSERT_EQ(f.calculated.size(), nu * np);
    ASSERT_EQ(f.residuals.size(), nu * np);
    double sum = 0;
    for (size_t u = 0; u < nu; ++u) {
      // Three forms present; the concentrations add up to the acid's.
      double total = 0;
      for (int j = 0; j < 3; ++j) total += f.form_conc[u * kForms + j];
      EXPECT_NEAR(total, e.data->acid_conc, 1e-9);
      EXPECT_EQ(f.form_conc[u * kForms + 3], 0.0);
      for (size_t p = 0; p < np; ++p) {
        double a = 0;
        for (int j = 0; j < kForms; ++j)
          a += f.form_conc[u * kForms + j] * f.form_spectra[p * kForms + j];
        EXPECT_NEAR(f.calculated[u * np + p], a, 1e-12);
        const double measured = e.data->absorbance[p + 1][f.spectra[u]];
        EXPECT_EQ(f.residuals[u * np + p], measured - f.calculated[u * np + p]);
        sum += f.residuals[u * np + p] * f.residuals[u * np + p];
      }
    }
    EXPECT_NEAR(std::sqrt(sum / (nu * np)), r.s_a, 1e-12);

    const Evaluation ev = evaluate(*e.data, r.pk_best, setup.modes());
    ASSERT_FALSE(ev.refusal);
    EXPECT_EQ(ev.s_a, r.s_a);
    EXPECT_EQ(ev.ka, r.ka);
    EXPECT_EQ(ev.fit.form_conc, f.form_conc);
    EXPECT_EQ(ev.fit.form_spectra, f.form_spectra);
    EXPECT_EQ(ev.fit.calculated, f.calculated);
    EXPECT_GT(ev.s_a_thinned, 0);
  }
}

TEST(EngineSearch, EvaluateMakesTheChecksASearchMakes) {
  const DataSet data = make_acid_data(recovery_acid(2));
  SlotModes two{};
  two[1] = two[2] = SlotMode::Fitted;
  for (int k = 3; k <= kSlots; ++k) two[k] = SlotMode::Removed;
  Arr1<float, kSlots> pk{0, 3.2f, 5.7f, 0, 0, 0};
  struct Case {
    const char* what;
    int used;  // spectra included, from the first
    float pk2;
    bool huge_absorbance;
    std::optional<Msg> refused;
  } cases[] = {
      {"no spectrum", 0, 5.7f, false, Msg::TooFewSpectra},
      {"three spectra for two constants", 3, 5.7f, false, Msg::TooFewSpectra},
      {"four spectra", 4, 5.7f, false, std::nullopt},
      {"a start value of 0", 12, 0.0f, false, Msg::StartValues},
      {"a constant no double holds", 12, 400.0f, false, Msg::StartValues},
      {"an absorbance no float holds", 12, 5.7f, true, Msg::AbsorbanceTooLarge},
      {"all twelve", 12, 5.7f, false, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto d = std::make_unique<DataSet>(data);
    for (int s = 1; s <= d->n_spectra; ++s) d->spectrum_used[s] = s <= c.used ? 1 : 0;
    if (c.huge_absorbance) d->absorbance[7][2] = INFINITY;
    pk[2] = c.pk2;
    const Evaluation ev = evaluate(*d, pk, two);
    ASSERT_EQ(ev.refusal.has_value(), c.refused.has_value());
    if (c.refused) {
      EXPECT_EQ(ev.refusal->msg, *c.refused);
      EXPECT_TRUE(ev.fit.calculated.empty());
      continue;
    }
    EXPECT_TRUE(std::isfinite(ev.s_a) && ev.s_a > 0);
    EXPECT_EQ(ev.fit.spectra.size(), static_cast<size_t>(c.used));
  }
}

// A second thread cancels once the search has scored `at` trials; the search waits for it
// there, so the cancel always arrives in the middle of the search.
struct CancelAt : SearchObserver {
  CancelAt(long n, bool planned) : at(n), plan(planned) {}
  long at;
  bool plan;
  std::atomic<long> seen{0};
  std::atomic<bool> cancelled{false};
  std::vector<TrialScore> trials;
  double last_best = -1;  // the thinned score of the last new best
  void scored(const TrialScore& t) override {
    trials.push_back(t);
    if (++seen == at)
      while (!cancelled) std::this_thread::yield();
  }
  void best(BestKind, double thinned, const Shown&) override { last_best = thinned; }
  bool plan_sweeps() const override { return plan; }
  int sweep_threads() const override { return plan ? 2 : 1; }
};

// The best trial of a grid: the first of the lowest scores as floats.
Arr1<float, kSlots> best_trial(const std::vector<TrialScore>& trials) {
  float best = 1e20f;
  Arr1<float, kSlots> pk{};
  for (const TrialScore& t : trials)
    if (static_cast<float>(t.s_a_sq) < best) {
      best = static_cast<float>(t.s_a_sq);
      pk = t.pk;
    }
  return pk;
}

TEST(EngineSearch, ACancelFromAnotherThreadEndsEachSearchWithItsBestSoFar) {
  struct Case {
    const char* name;
    SearchFn run;
    bool planned;
  } cases[] = {{"optimise", optimise, false},
               {"optimise, planned sweeps", optimise, true},
               {"manual_grid", manual_grid, false},
               {"auto_grid", auto_grid, false},
               {"auto_grid, planned sweeps", auto_grid, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ModelSetup setup = two_constants();
    setup.slot[3] = {SlotMode::Fitted, 9.0f, 7.0f, 10.0f, 0.25f};
    setup.level = 3;
    Engine e(make_acid_data(recovery_acid(3)));
    CancelToken token;
    CancelAt obs(40, c.planned);
    std::thread canceller([&] {
      while (obs.seen < obs.at) std::this_thread::yield();
      token.cancel();
      obs.cancelled = true;
    });
    const SearchResult r = c.run(Workspace{*e.data, *e.calc, e.search, &token}, setup, obs);
    canceller.join();
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_TRUE(std::isfinite(r.s_a));
    ASSERT_GE(r.trials, obs.at);
    // Trial by trial the next stop test ends it; a planned sweep tells its trials first.
    if (!c.planned) {
      EXPECT_EQ(r.trials, obs.at);
    }
    EXPECT_LT(r.trials, 2000);
    if (c.run == static_cast<SearchFn>(manual_grid)) {
      EXPECT_EQ(r.pk_best, best_trial(obs.trials));
    }
    if (c.run == static_cast<SearchFn>(auto_grid)) {
      // The grid's best so far, rounded as the final stage starts from it; that stage stops
      // before its first trial.
      const Arr1<float, kSlots> best = best_trial(obs.trials);
      for (int k = 1; k <= 3; ++k) EXPECT_EQ(r.pk_best[k], round_to_box(best[k])) << k;
    }
    if (c.run == static_cast<SearchFn>(optimise)) {
      // The optimisation ends with its centre: the last new best.
      CalcState& calc = *e.calc;
      calc.ka = r.ka;
      calc.fit_step = 10;
      rozrah(*e.data, calc);
      EXPECT_EQ(calc.s_a_sq, obs.last_best);
    }
    // The token stays set: the next search stops before its first trial.
    CancelAt again(1000000, false);
    const SearchResult r2 = c.run(Workspace{*e.data, *e.calc, e.search, &token}, setup, again);
    EXPECT_EQ(r2.trials, 0);
  }
}

}  // namespace
}  // namespace ferolan::testing

namespace ferolan::testing {
namespace {

// Records every scored trial; scores the sweeps trial by trial, or planned on `threads`
// threads.
struct Recorder : SearchObserver {
  Recorder(int n, bool planned) : threads(n), plan(planned) {}
  int threads;
  bool plan;
  std::vector<TrialScore> trials;
  void scored(const TrialScore& t) override { trials.push_back(t); }
  bool plan_sweeps() const override { return plan; }
  int sweep_threads() const override { return threads; }
};

TEST(EngineSearch, PlannedSweepsOnOneOrMoreThreadsGiveTheSameTrialsAndResult) {
  struct Case {
    const char* what;
    SearchFn run;
    int level;
  } cases[] = {
      {"optimisation, very high", optimise, 3},
      {"optimisation, high", optimise, 2},
      {"automatic grid", auto_grid, 1},
  };
  for (const Case& c : cases)
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE(std::string(c.what) + ", threads " + std::to_string(threads));
      ModelSetup setup = two_constants();
      setup.slot[3] = {SlotMode::Fitted, 9.0f};
      setup.level = c.level;
      AcidRecipe recipe = recovery_acid(3);
      Engine one(make_acid_data(recipe)), two(make_acid_data(recipe));
      Recorder r1(1, false), r2(threads, true);
      const SearchResult a = c.run(one.ws(), setup, r1);
      const SearchResult b = c.run(two.ws(), setup, r2);
      ASSERT_EQ(r1.trials.size(), r2.trials.size());
      EXPECT_GT(r1.trials.size(), 512u);
      for (size_t i = 0; i < r1.trials.size(); ++i) {
        ASSERT_EQ(r1.trials[i].trial_no, r2.trials[i].trial_no);
        ASSERT_EQ(r1.trials[i].pk, r2.trials[i].pk) << i;
        ASSERT_EQ(r1.trials[i].ka, r2.trials[i].ka) << i;
        ASSERT_EQ(r1.trials[i].s_a_sq, r2.trials[i].s_a_sq) << i;
      }
      EXPECT_EQ(a.pk_best, b.pk_best);
      EXPECT_EQ(a.s_a, b.s_a);
      EXPECT_EQ(std::memcmp(&a.u, &b.u, sizeof a.u), 0);
      EXPECT_EQ(a.fits, b.fits);
      // What the search leaves behind is the same as well.
      EXPECT_EQ(one.search.pk, two.search.pk);
      EXPECT_EQ(one.calc->ka, two.calc->ka);
      EXPECT_EQ(one.calc->s_a_sq, two.calc->s_a_sq);
      EXPECT_EQ(one.calc->eps_forms, two.calc->eps_forms);
      EXPECT_EQ(one.calc->form_conc, two.calc->form_conc);
      EXPECT_EQ(
          std::memcmp(&one.calc->norm_matrix, &two.calc->norm_matrix, sizeof one.calc->norm_matrix),
          0);
    }
}

// The searches on a context of their own reuse one per thread: a call after others, on other
// data, gives exactly what the first call on a fresh thread gives.
TEST(EngineSearch, AReusedRunContextGivesWhatAFreshOneGives) {
  using DataFn =
      SearchResult (*)(const DataSet&, const ModelSetup&, SearchObserver&, const CancelToken*);
  DataSet a = make_acid_data(recovery_acid(2));
  AcidRecipe other = recovery_acid(3);
  other.n_spectra = 30;
  other.n_points = 240;
  DataSet b = make_acid_data(other);
  for (DataSet* d : {&a, &b})
    for (int s = 1; s <= d->n_spectra; ++s) d->spectrum_used[s] = 1;
  const auto same = [](const SearchResult& x, const SearchResult& y) {
    EXPECT_EQ(x.outcome, y.outcome);
    EXPECT_EQ(x.trials, y.trials);
    EXPECT_EQ(0, std::memcmp(&x.pk_best, &y.pk_best, sizeof x.pk_best));
    EXPECT_EQ(0, std::memcmp(&x.u, &y.u, sizeof x.u));
    EXPECT_EQ(x.s_a, y.s_a);
    EXPECT_EQ(x.fit.calculated, y.fit.calculated);
    EXPECT_EQ(x.fit.form_conc, y.fit.form_conc);
  };
  for (DataFn search : {static_cast<DataFn>(optimise), static_cast<DataFn>(manual_grid),
                        static_cast<DataFn>(auto_grid)}) {
    SearchResult first, again;
    Evaluation first_eval, again_eval;
    const Arr1<float, kSlots> pk{0, 3.2f, 5.7f, 0, 0, 0};
    const SlotModes modes = two_constants().modes();
    std::thread fresh([&] {
      Counter obs;
      first = search(a, two_constants(), obs, nullptr);
      first_eval = evaluate(a, pk, modes);
    });
    fresh.join();
    std::thread reused([&] {
      Counter obs;
      ModelSetup three = two_constants();
      three.slot[3] = {SlotMode::Fitted, 8.0f, 7.5f, 8.5f, 0.25f};
      evaluate(b, Arr1<float, kSlots>{0, 3, 6, 8, 0, 0}, three.modes());
      search(b, three, obs, nullptr);  // a search leaves its state last
      again = search(a, two_constants(), obs, nullptr);
      again_eval = evaluate(a, pk, modes);
    });
    reused.join();
    same(first, again);
    EXPECT_EQ(first_eval.s_a, again_eval.s_a);
    EXPECT_EQ(first_eval.s_a_thinned, again_eval.s_a_thinned);
    EXPECT_EQ(first_eval.fit.residuals, again_eval.fit.residuals);
  }
}

}  // namespace
}  // namespace ferolan::testing
