#include "engine/analysis/curvature.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/pka_refine.h"
#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::ka_of;
using testing::make_synthetic;
using testing::refine_pka;
using testing::SyntheticRecipe;

struct ScatterCase {
  std::vector<double> pk;     // true constants
  std::vector<double> start;  // where the minimiser starts
  double ph_lo, ph_hi, noise;
};

class StandardErrorScatter : public ::testing::TestWithParam<ScatterCase> {};

// The curvature errors must predict how much the constants really scatter between
// measurements that differ only in their noise.
TEST_P(StandardErrorScatter, MatchesTheScatterOfNoiseReplicates) {
  const ScatterCase& c = GetParam();
  const int k = static_cast<int>(c.pk.size());
  std::vector<int> slots;
  for (int i = 1; i <= k; ++i) slots.push_back(i);
  constexpr int kReplicates = 30;
  std::vector<std::vector<double>> fitted(kReplicates);
  std::vector<double> mean_se(k, 0.0), mean_corr(k * k, 0.0);
  for (int r = 0; r < kReplicates; ++r) {
    SyntheticRecipe recipe;
    recipe.pk = c.pk;
    recipe.ph_lo = c.ph_lo;
    recipe.ph_hi = c.ph_hi;
    recipe.noise = c.noise;
    recipe.seed = 1000 + r;
    auto syn = make_synthetic(recipe);
    const testing::Refined best = refine_pka(*syn.data, ka_of(c.start), slots);
    ASSERT_TRUE(best.converged) << "replicate " << r;
    const StandardErrors se = standard_errors(*syn.data, best.ka, slots);
    ASSERT_TRUE(se.ok) << "replicate " << r;
    EXPECT_LT(se.step_check, 0.02);
    EXPECT_NEAR(se.s_a, c.noise, 0.1 * c.noise);
    fitted[r] = se.pk;
    for (int a = 0; a < k; ++a) mean_se[a] += se.se[a] / kReplicates;
    for (int a = 0; a < k * k; ++a) mean_corr[a] += se.correlation[a] / kReplicates;
  }
  std::vector<double> mean(k, 0.0), cov(k * k, 0.0);
  for (const auto& f : fitted)
    for (int a = 0; a < k; ++a) mean[a] += f[a] / kReplicates;
  for (const auto& f : fitted)
    for (int a = 0; a < k; ++a)
      for (int b = 0; b < k; ++b)
        cov[a * k + b] += (f[a] - mean[a]) * (f[b] - mean[b]) / (kReplicates - 1);
  for (int a = 0; a < k; ++a) {
    const double sd = std::sqrt(cov[a * k + a]);
    EXPECT_NEAR(mean[a], c.pk[a], 3 * mean_se[a]) << "pKa" << a + 1;
    EXPECT_LT(sd / mean_se[a], 1.5) << "pKa" << a + 1 << " sd " << sd << " se " << mean_se[a];
    EXPECT_GT(sd / mean_se[a], 1 / 1.5) << "pKa" << a + 1 << " sd " << sd << " se " << mean_se[a];
    for (int b = 0; b < a; ++b) {
      const double corr = cov[a * k + b] / std::sqrt(cov[a * k + a] * cov[b * k + b]);
      EXPECT_NEAR(corr, mean_corr[a * k + b], 0.35) << "pKa" << b + 1 << "/pKa" << a + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Models, StandardErrorScatter,
    ::testing::Values(ScatterCase{{5.0}, {5.3}, 3.0, 7.0, 0.004},
                      ScatterCase{{4.5, 5.3}, {4.3, 5.6}, 2.5, 7.5, 0.003},  // overlapping steps
                      ScatterCase{{3.5, 6.0, 8.5}, {3.8, 5.8, 8.2}, 2.0, 10.0, 0.003}));

TEST(StandardErrors, CountsTheDegreesOfFreedomAndAgreesWithTheFit) {
  auto syn = make_synthetic({});
  const std::vector<int> slots = {1, 2};
  const StandardErrors se = standard_errors(*syn.data, syn.ka, slots);
  ASSERT_TRUE(se.ok);
  EXPECT_EQ(se.observations, 121 * 21);
  EXPECT_EQ(se.forms, 3);
  EXPECT_EQ(se.parameters, 121 * 3 + 2);
  EXPECT_EQ(se.dof, 121 * 21 - 121 * 3 - 2);
  EXPECT_NEAR(se.pk[0], 4.0, 1e-12);
  EXPECT_NEAR(se.pk[1], 7.0, 1e-12);
  // rozrah's own score at full resolution is the mean of the same squared residuals.
  const double s_a_sq = fit_full(*syn.data, syn.ka)->s_a_sq;
  EXPECT_NEAR(se.rss, s_a_sq * se.observations, 1e-6 * se.rss);
  EXPECT_DOUBLE_EQ(se.s_a, std::sqrt(se.rss / se.dof));
  for (int a = 0; a < 2; ++a) EXPECT_DOUBLE_EQ(se.correlation[a * 2 + a], 1.0);
  EXPECT_DOUBLE_EQ(se.correlation[1], se.correlation[2]);
}

TEST(StandardErrors, HoldingAConstantCannotWidenTheOther) {
  SyntheticRecipe recipe;
  recipe.pk = {4.5, 5.3};
  recipe.ph_lo = 2.5;
  recipe.ph_hi = 7.5;
  auto syn = make_synthetic(recipe);
  const StandardErrors both = standard_errors(*syn.data, syn.ka, {1, 2});
  const StandardErrors held = standard_errors(*syn.data, syn.ka, {2});
  ASSERT_TRUE(both.ok && held.ok);
  // Conditional variance = marginal variance × (1 - ρ²).
  const double rho = both.correlation[1];
  EXPECT_NEAR(held.se[0], both.se[1] * std::sqrt(1 - rho * rho), 0.02 * held.se[0]);
  EXPECT_EQ(held.parameters, 121 * 3 + 1);
}

TEST(StandardErrors, RefusesWhatHasNoAnswer) {
  auto syn = make_synthetic({});
  KaSet removed = syn.ka;
  removed[2] = 0;
  EXPECT_FALSE(standard_errors(*syn.data, removed, {2}).ok);  // a removed constant
  EXPECT_FALSE(standard_errors(*syn.data, syn.ka, {}).ok);
  // Three spectra cannot pay for three forms' spectra and two constants.
  for (int s = 4; s <= 21; ++s) syn.data->spectrum_used[s] = 0;
  const StandardErrors few = standard_errors(*syn.data, syn.ka, {1, 2});
  EXPECT_FALSE(few.ok);
  EXPECT_LE(few.dof, 0);
}

}  // namespace
}  // namespace ferolan::analysis
