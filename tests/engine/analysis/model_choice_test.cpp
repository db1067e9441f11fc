#include "engine/analysis/model_choice.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/analysis/curvature.h"
#include "support/pka_refine.h"
#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

TEST(ModelChoice, CriteriaOnAHandTable) {
  // n = 1000: ln(RSS/n) = ln(1e-5) = -11.512925; ln n = 6.907755.
  const ModelChoice c = compare_models({{1, 0.01, 1000, 10}, {2, 0.005, 1000, 200}});
  ASSERT_EQ(c.scores.size(), 2u);
  EXPECT_NEAR(c.scores[0].aic, -11512.925465 + 20, 1e-5);
  EXPECT_NEAR(c.scores[0].bic, -11512.925465 + 10 * 6.907755279, 1e-5);
  // Halving the RSS gains 1000·ln 2 = 693.1: more than AIC's 380, less than BIC's 1312.5.
  EXPECT_NEAR(c.scores[1].aic, -11512.925465 - 693.147181 + 400, 1e-5);
  EXPECT_EQ(c.preferred_aic, 1);
  EXPECT_EQ(c.preferred, 0);
}

TEST(ModelChoice, UnusableCandidatesAreNeverPreferred) {
  const ModelChoice c = compare_models({{1, 0.0, 1000, 10}, {2, 0.5, 1000, 20}, {3, 0.1, 0, 30}});
  EXPECT_TRUE(std::isinf(c.scores[0].bic));
  EXPECT_TRUE(std::isinf(c.scores[2].aic));
  EXPECT_EQ(c.preferred, 1);
  EXPECT_EQ(c.preferred_aic, 1);
  EXPECT_EQ(compare_models({}).preferred, -1);
}

// Data made with two constants, fitted with one, two and three: the criteria must settle on
// two, although three fit the noise a little better.
TEST(ModelChoice, PrefersTheTrueNumberOfConstants) {
  for (uint32_t seed : {5u, 6u}) {
    testing::SyntheticRecipe recipe;
    recipe.pk = {4.0, 7.0};
    recipe.seed = seed;
    auto syn = testing::make_synthetic(recipe);
    const std::vector<std::vector<double>> starts = {{5.5}, {4.3, 6.6}, {4.0, 7.0, 8.5}};
    std::vector<ModelCandidate> candidates;
    for (const auto& start : starts) {
      const int k = static_cast<int>(start.size());
      std::vector<int> slots;
      for (int i = 1; i <= k; ++i) slots.push_back(i);
      const testing::Refined best = testing::refine_pka(*syn.data, testing::ka_of(start), slots);
      candidates.push_back(candidate_at(*syn.data, best.ka, k));
      EXPECT_NEAR(candidates.back().rss, best.rss, 1e-12 * best.rss);
      EXPECT_EQ(candidates.back().observations, 121 * 21);
      EXPECT_EQ(candidates.back().parameters, 121 * (k + 1) + k);
    }
    EXPECT_LT(candidates[2].rss, candidates[1].rss);
    EXPECT_LT(candidates[1].rss, 0.2 * candidates[0].rss);
    const ModelChoice c = compare_models(candidates);
    EXPECT_EQ(c.scores[c.preferred].model.constants, 2) << "seed " << seed;
    EXPECT_EQ(c.scores[c.preferred_aic].model.constants, 2) << "seed " << seed;
  }
}

}  // namespace
}  // namespace ferolan::analysis
