// The least-squares refinement: it must reach the minimum of the same score the searches use,
// from either side and from the searches' results, and say honestly when it cannot.
#include "engine/analysis/refine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "engine/analysis/curvature.h"
#include "engine/search/workspace.h"
#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::fitted;
using testing::pks;

using testing::make_synthetic;
using testing::SyntheticRecipe;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ∂(s(A)²)/∂pKa_k relative to s(A)², by central differences of the score itself.
double relative_slope(const DataSet& data, const SlotModes& modes, Arr1<double, kSlots> pk, int k) {
  const double h = 1e-5, s0 = refine_score(data, modes, pk);
  pk[k] += h;
  const double up = refine_score(data, modes, pk);
  pk[k] -= 2 * h;
  const double down = refine_score(data, modes, pk);
  return (up * up - down * down) / (2 * h) / (s0 * s0);
}

struct SearchRun {
  SearchResult result;
  Arr1<double, kSlots> pk{};
};

// A search of the engine on the data, its result as the refinement's start.
SearchRun search(const DataSet& data, int k, bool automatic) {
  ModelSetup setup;
  for (int j = 1; j <= kSlots; ++j) {
    setup.slot[j].mode = j <= k ? SlotMode::Fitted : SlotMode::Removed;
    setup.slot[j].value = static_cast<float>(1 + 3 * j);
  }
  auto calc = std::make_unique<CalcState>();
  State st;
  set_start_values(st);
  SearchObserver obs;
  SearchRun run;
  Workspace ws{data, *calc, st.search};
  run.result = automatic ? auto_grid(ws, setup, obs) : optimise(ws, setup, obs);
  for (int j = 1; j <= k; ++j) run.pk[j] = run.result.pk_best[j];
  return run;
}

struct MinimumCase {
  std::vector<double> pk;
  double ph_lo, ph_hi, noise;
  int points;
};

class RefinedMinimum : public ::testing::TestWithParam<MinimumCase> {};

// From both searches' results: the slope of the score vanishes at the refined constants, no
// search scores lower, and the constants are those of the data within their errors.
TEST_P(RefinedMinimum, IsAStationaryPointBelowEverySearch) {
  const MinimumCase& c = GetParam();
  SyntheticRecipe recipe;
  recipe.pk = c.pk;
  recipe.ph_lo = c.ph_lo;
  recipe.ph_hi = c.ph_hi;
  recipe.noise = c.noise;
  recipe.points = c.points;
  const auto syn = make_synthetic(recipe);
  const int k = static_cast<int>(c.pk.size());
  const SlotModes modes = fitted(k);
  for (bool automatic : {false, true}) {
    SCOPED_TRACE(automatic ? "auto grid" : "optimisation");
    const SearchRun run = search(*syn.data, k, automatic);
    ASSERT_EQ(run.result.outcome, Outcome::Finished);
    const RefineResult r = refine(*syn.data, modes, run.pk);
    ASSERT_EQ(r.status, RefineStatus::Converged) << r.message;
    EXPECT_LE(r.s_a, refine_score(*syn.data, modes, run.pk));
    // The search's own s(A) comes from the single-precision fit; it rounds to ~1e-7.
    EXPECT_LE(r.s_a, run.result.s_a * (1 + 1e-6));
    EXPECT_NEAR(r.s_a, refine_score(*syn.data, modes, r.pk), 1e-15);
    EXPECT_EQ(r.observations, static_cast<long>(recipe.spectra) * recipe.points);
    EXPECT_EQ(r.dof, r.observations - recipe.points * (k + 1) - k);
    for (int j = 1; j <= k; ++j) {
      EXPECT_LT(std::abs(relative_slope(*syn.data, modes, r.pk, j)), 1e-3) << j;
      EXPECT_NEAR(r.pk[j], c.pk[j - 1], 5 * r.se[j]) << j;
      EXPECT_GT(r.se[j], 0) << j;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Acids, RefinedMinimum,
                         ::testing::Values(MinimumCase{{5.3}, 3, 8, 0.001, 101},
                                           MinimumCase{{4.0, 7.0}, 2, 9, 0.003, 121},
                                           MinimumCase{{3.2, 6.1, 9.4}, 1.5, 11.5, 0.01, 81}));

// A coordinate scan around the refined minimum finds nothing lower: an independent check of
// the minimum that does not rely on the Jacobian.
TEST(Refine, NoLowerScoreNearTheMinimum) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  const SlotModes modes = fitted(2);
  const RefineResult r = refine(*syn.data, modes, pks({4.3, 6.6}));
  ASSERT_EQ(r.status, RefineStatus::Converged) << r.message;
  for (int k = 1; k <= 2; ++k)
    for (double d : {-1e-2, -1e-3, -1e-4, 1e-4, 1e-3, 1e-2}) {
      Arr1<double, kSlots> p = r.pk;
      p[k] += d;
      EXPECT_GT(refine_score(*syn.data, modes, p), r.s_a) << k << " " << d;
    }
}

// Starts on either side of the minimum (and far from it) reach the same constants.
TEST(Refine, StartsOnBothSidesReachOneMinimum) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  recipe.noise = 0.005;
  const auto syn = make_synthetic(recipe);
  const SlotModes modes = fitted(2);
  const RefineResult ref = refine(*syn.data, modes, pks({4.0, 7.0}));
  ASSERT_EQ(ref.status, RefineStatus::Converged);
  for (const auto& start : std::vector<std::vector<double>>{
           {3.5, 6.5}, {4.5, 7.5}, {3.5, 7.5}, {4.6, 6.4}, {2.5, 8.5}}) {
    const RefineResult r = refine(*syn.data, modes, pks(start));
    ASSERT_EQ(r.status, RefineStatus::Converged) << start[0] << " " << r.message;
    EXPECT_NEAR(r.pk[1], ref.pk[1], 1e-6);
    EXPECT_NEAR(r.pk[2], ref.pk[2], 1e-6);
    EXPECT_NEAR(r.s_a, ref.s_a, 1e-12);
    EXPECT_GT(r.s_a_start, r.s_a);
  }
}

// The Jacobian's standard errors agree with those from the curvature by finite differences of
// the single-precision fit.
TEST(Refine, StandardErrorsAgreeWithTheCurvature) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  const RefineResult r = refine(*syn.data, fitted(2), pks({4.1, 6.9}));
  ASSERT_EQ(r.status, RefineStatus::Converged);
  const StandardErrors se = standard_errors(*syn.data, r.ka, {1, 2});
  ASSERT_TRUE(se.ok);
  EXPECT_EQ(se.dof, r.dof);
  for (int k = 1; k <= 2; ++k) EXPECT_NEAR(r.se[k], se.se[k - 1], 0.05 * se.se[k - 1]) << k;
  EXPECT_NEAR(r.correlation[1], se.correlation[1], 0.05);
  EXPECT_DOUBLE_EQ(r.correlation[0], 1.0);
}

// Replicates of one acid whose second constant a 0.01 grid would put on 8.20: the refinement
// ends between the grid's values.
TEST(Refine, LeavesTheGrid) {
  SyntheticRecipe recipe;
  recipe.pk = {4.75, 8.2};
  recipe.spectra = 25;
  recipe.ph_lo = 1.5;
  recipe.ph_hi = 12.3;
  recipe.points = 451;
  recipe.wl_first = 250;
  recipe.wl_step = 1;
  recipe.acid_conc = 6e-5;
  recipe.noise = 0.0015;
  for (uint32_t seed : {31u, 32u, 33u}) {
    recipe.seed = seed;
    const auto syn = make_synthetic(recipe);
    const SearchRun run = search(*syn.data, 2, true);
    const RefineResult r = refine(*syn.data, fitted(2), run.pk);
    ASSERT_EQ(r.status, RefineStatus::Converged) << r.message;
    for (int k = 1; k <= 2; ++k) {
      const double hundredths = r.pk[k] * 100;
      EXPECT_GT(std::abs(hundredths - std::round(hundredths)), 1e-4) << seed << " " << r.pk[k];
      EXPECT_NEAR(r.pk[k], recipe.pk[k - 1], 4 * r.se[k]);
    }
  }
}

// Held slots keep their value exactly and get no error; removed slots carry NaN and Ka 0.
TEST(Refine, HeldAndRemovedSlots) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  SlotModes modes = fitted(2);
  modes[1] = SlotMode::Held;
  const RefineResult r = refine(*syn.data, modes, pks({4.05, 6.5, 99, 99, 99}));
  ASSERT_EQ(r.status, RefineStatus::Converged) << r.message;
  EXPECT_EQ(r.pk[1], 4.05);
  EXPECT_TRUE(std::isnan(r.se[1]));
  EXPECT_EQ(r.fitted_slots, std::vector<int>{2});
  EXPECT_NEAR(r.pk[2], 7.0, 0.05);
  EXPECT_GT(r.se[2], 0);
  for (int k = 3; k <= kSlots; ++k) {
    EXPECT_TRUE(std::isnan(r.pk[k]));
    EXPECT_EQ(r.ka[k], 0);
  }
  EXPECT_EQ(r.covariance.size(), 1u);
  // Holding the first constant off its best value costs score against fitting both.
  EXPECT_GT(r.s_a, refine(*syn.data, fitted(2), pks({4.0, 7.0})).s_a);
}

// Starts and setups that cannot be refined are refused with a reason, never "converged".
TEST(Refine, HostileStartsAndSetups) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  const DataSet& d = *syn.data;
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    SlotModes modes;
    Arr1<double, kSlots> start;
    RefineStatus status;
  };
  SlotModes none = fitted(0);
  none[1] = SlotMode::Held;
  SlotModes gap = fitted(3);
  gap[2] = SlotMode::Removed;
  SlotModes held_nan = fitted(2);
  held_nan[2] = SlotMode::Held;
  const Case cases[] = {
      {"NaN start", fitted(2), pks({kNaN, 7.0}), RefineStatus::InvalidSetup},
      {"infinite start", fitted(2), pks({4.0, inf}), RefineStatus::InvalidSetup},
      {"NaN held value", held_nan, pks({4.0, kNaN}), RefineStatus::InvalidSetup},
      {"nothing fitted", none, pks({4.0}), RefineStatus::NoFittedConstant},
      {"every slot removed", fitted(0), pks({}), RefineStatus::NoFittedConstant},
      {"fitted after a removed slot", gap, pks({4, 7, 9}), RefineStatus::InvalidSetup},
  };
  for (const Case& c : cases) {
    const RefineResult r = refine(d, c.modes, c.start);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_FALSE(r.message.empty()) << c.name;
    EXPECT_FALSE(refine_has_result(r.status)) << c.name;
  }

  // Too few spectra for the constants: 4 spectra, 3 constants.
  DataSet few = d;
  for (int s = 5; s <= few.n_spectra; ++s) few.spectrum_used[s] = 0;
  EXPECT_EQ(refine(few, fitted(3), pks({3, 5, 7})).status, RefineStatus::TooFewData);
  // An absorbance that is no number.
  DataSet nan_cell = d;
  nan_cell.absorbance[3][2] = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(refine(nan_cell, fitted(2), pks({4, 7})).status, RefineStatus::InvalidSetup);
  EXPECT_TRUE(std::isnan(refine_score(nan_cell, fitted(2), pks({4, 7}))));
}

// Starts far outside the measured pH either come back to the data's constants or end off
// range, said as such; a constant the data do not hold is reported off range.
TEST(Refine, FarStartsAndConstantsOffRange) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  for (const auto& start : std::vector<std::vector<double>>{{-30, 7}, {4, 40}, {1e6, -1e6}}) {
    const RefineResult r = refine(*syn.data, fitted(2), pks(start));
    ASSERT_TRUE(refine_has_result(r.status)) << r.message;
    if (r.status == RefineStatus::Converged) {
      EXPECT_NEAR(r.pk[1], 4.0, 0.05);
      EXPECT_NEAR(r.pk[2], 7.0, 0.05);
    } else {
      EXPECT_EQ(r.status, RefineStatus::OffRange) << r.message;
      EXPECT_NE(r.message.find("beyond the measured pH"), std::string::npos) << r.message;
    }
  }

  // A constant at 9.2 measured at pH 2 … 6.5 with little noise: the minimum lies beyond pH 8.5
  // (where exactly, the data barely say: a small fraction of A and its spectrum trade off),
  // every start finds it, and that is said.
  recipe.pk = {9.2};
  recipe.ph_lo = 2;
  recipe.ph_hi = 6.5;
  recipe.noise = 1e-5;
  const auto off = make_synthetic(recipe);
  const double found = refine(*off.data, fitted(1), pks({9.0})).pk[1];
  EXPECT_GT(found, 8.5);
  for (double start : {5.0, 7.0, 9.0, 12.0}) {
    const RefineResult r = refine(*off.data, fitted(1), pks({start}));
    EXPECT_EQ(r.status, RefineStatus::OffRange) << start << " " << r.pk[1] << " " << r.message;
    EXPECT_NEAR(r.pk[1], found, 1e-6) << start;
    EXPECT_NE(r.message.find("pKa1"), std::string::npos) << r.message;
  }
}

// One titration through the joint fit is the single refinement, and its factor is 1.
TEST(RefineJoint, OneTitrationIsTheSingleRefinement) {
  SyntheticRecipe recipe;
  recipe.pk = {4.0, 7.0};
  const auto syn = make_synthetic(recipe);
  const RefineResult single = refine(*syn.data, fitted(2), pks({4.2, 6.8}));
  JointOptions o;
  o.fit_factors = true;
  const RefineResult joint =
      refine_joint({titration_of(*syn.data, 2.0)}, fitted(2), pks({4.2, 6.8}), o);
  ASSERT_EQ(joint.status, RefineStatus::Converged);
  EXPECT_EQ(joint.pk[1], single.pk[1]);
  EXPECT_EQ(joint.pk[2], single.pk[2]);
  EXPECT_EQ(joint.se[2], single.se[2]);
  EXPECT_EQ(joint.s_a, single.s_a);
  ASSERT_EQ(joint.factor.size(), 1u);
  EXPECT_EQ(joint.factor[0], 1.0);
  EXPECT_EQ(joint.s_a_titration[0], joint.s_a);
}

}  // namespace
}  // namespace ferolan::analysis
