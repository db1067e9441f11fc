#include "engine/analysis/factors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::make_synthetic;
using testing::Synthetic;
using testing::SyntheticRecipe;

struct FormsCase {
  std::vector<double> pk;
  double ph_lo, ph_hi;
  double noise;
};

class FactorsByConstants : public ::testing::TestWithParam<FormsCase> {};

TEST_P(FactorsByConstants, FindsOneFormMoreThanConstants) {
  const FormsCase& c = GetParam();
  SyntheticRecipe recipe;
  recipe.pk = c.pk;
  recipe.ph_lo = c.ph_lo;
  recipe.ph_hi = c.ph_hi;
  recipe.noise = c.noise;
  const int forms = int(c.pk.size()) + 1;
  for (uint32_t seed : {1u, 2u, 3u}) {
    recipe.seed = seed;
    auto syn = make_synthetic(recipe);
    const FactorAnalysis fa = factor_analysis(*syn.data);
    EXPECT_EQ(fa.suggested_forms, forms) << "seed " << seed;
    EXPECT_TRUE(fa.reached_noise);
    // The estimate from beyond six values is a little low but of the right size.
    EXPECT_GT(fa.noise, 0.75 * c.noise);
    EXPECT_LT(fa.noise, 1.1 * c.noise);
    // What the suggested forms leave is the noise itself.
    EXPECT_NEAR(fa.residual_noise, c.noise, 0.1 * c.noise);
    // The real forms stand far above the largest singular value of noise, the next does not.
    EXPECT_GT(fa.sv_to_noise[forms - 1], 10.0);
    EXPECT_LT(fa.sv_to_noise[forms], 1.3);
    // Told the true noise, it agrees.
    const FactorAnalysis given = factor_analysis(*syn.data, {c.noise});
    EXPECT_TRUE(given.noise_given);
    EXPECT_EQ(given.suggested_forms, forms);
  }
}

INSTANTIATE_TEST_SUITE_P(Constants, FactorsByConstants,
                         ::testing::Values(FormsCase{{5.0}, 3.0, 7.0, 0.002},
                                           FormsCase{{4.0, 7.0}, 2.0, 9.0, 0.002},
                                           FormsCase{{3.5, 6.0, 8.5}, 2.0, 10.0, 0.003},
                                           FormsCase{{3.5, 6.0, 8.5}, 2.0, 10.0, 0.0005}));

TEST(Factors, SharesAndResidualsAreConsistent) {
  auto syn = make_synthetic({});
  const FactorAnalysis fa = factor_analysis(*syn.data);
  ASSERT_EQ(fa.singular.size(), 21u);
  double share = 0;
  for (double s : fa.share) share += s;
  EXPECT_NEAR(share, 1.0, 1e-12);
  // residual_rms[0] is the RMS of the whole matrix.
  double sum = 0;
  for (int w = 1; w <= 121; ++w)
    for (int s = 1; s <= 21; ++s)
      sum += double(syn.data->absorbance[w][s]) * syn.data->absorbance[w][s];
  EXPECT_NEAR(fa.residual_rms[0], std::sqrt(sum / (121.0 * 21)), 1e-12);
  EXPECT_EQ(fa.noise_from, 6);
  EXPECT_DOUBLE_EQ(fa.noise, fa.residual_rms[6]);
}

TEST(Factors, CountsOnlyIncludedSpectra) {
  auto syn = make_synthetic({});
  for (int s = 1; s <= 21; s += 2) syn.data->spectrum_used[s] = 0;
  const FactorAnalysis fa = factor_analysis(*syn.data);
  EXPECT_EQ(fa.spectra, 10);
  EXPECT_EQ(fa.singular.size(), 10u);
  EXPECT_EQ(fa.suggested_forms, 3);
}

TEST(Factors, FewSpectraLeaveOnlyTheLastValueForTheNoise) {
  SyntheticRecipe recipe;
  recipe.spectra = 6;
  for (uint32_t seed : {1u, 2u, 3u}) {
    recipe.seed = seed;
    auto syn = make_synthetic(recipe);
    const FactorAnalysis fa = factor_analysis(*syn.data);
    EXPECT_EQ(fa.noise_from, 5);
    EXPECT_EQ(fa.suggested_forms, 3) << "seed " << seed;
  }
}

TEST(Factors, TooGreatAClaimedPrecisionIsReportedNotHidden) {
  auto syn = make_synthetic({});
  const FactorAnalysis fa = factor_analysis(*syn.data, {1e-6});
  EXPECT_FALSE(fa.reached_noise);
  EXPECT_EQ(fa.suggested_forms, 6);
}

// Noise-free spectra as a file written with 10 significant digits would bring them in.
Synthetic noise_free(int spectra, int points) {
  SyntheticRecipe recipe;
  recipe.pk = {4.2, 8.9};
  recipe.ph_lo = 1.0;
  recipe.ph_hi = 12.0;
  recipe.spectra = spectra;
  recipe.points = points;
  recipe.wl_step = 1;
  recipe.noise = 0;
  auto syn = make_synthetic(recipe);
  char text[32];
  for (int w = 1; w <= points; ++w)
    for (int s = 1; s <= spectra; ++s) {
      std::snprintf(text, sizeof text, "%.9e", double(syn.data->absorbance[w][s]));
      syn.data->absorbance[w][s] = static_cast<float>(std::strtod(text, nullptr));
    }
  return syn;
}

TEST(Factors, NoiseFreeDataGiveTheirFormsAndTheRoundingAsNoise) {
  for (auto [spectra, points] : {std::pair{50, 999}, std::pair{21, 121}, std::pair{8, 400}}) {
    SCOPED_TRACE(std::to_string(spectra) + " x " + std::to_string(points));
    auto syn = noise_free(spectra, points);
    const FactorAnalysis fa = factor_analysis(*syn.data);
    EXPECT_EQ(fa.suggested_forms, 3);
    EXPECT_TRUE(fa.reached_noise);
    // What is left past the three forms is the rounding to Singles, not exactly nothing.
    EXPECT_GT(fa.noise, 0);
    EXPECT_LT(fa.noise, 1e-6);
    EXPECT_GT(fa.residual_rms.back(), 0);
    EXPECT_GT(fa.rms_to_noise[2], 1e3);
  }
}

// The same spectrum in every column, at any scale a Single holds.
TEST(Factors, IdenticalSpectraSupportOneForm) {
  for (double scale : {1.0, 1e-25, 1e25}) {
    for (double noise : {0.0, 0.002}) {
      SCOPED_TRACE("scale " + std::to_string(scale) + " noise " + std::to_string(noise));
      SyntheticRecipe recipe;
      recipe.noise = noise;
      auto syn = make_synthetic(recipe);
      DataSet& d = *syn.data;
      for (int w = 1; w <= d.n_wavelengths; ++w) {
        const float a = static_cast<float>(scale * d.absorbance[w][1]);
        for (int s = 1; s <= d.n_spectra; ++s) d.absorbance[w][s] = a;
      }
      const FactorAnalysis fa = factor_analysis(d);
      EXPECT_EQ(fa.suggested_forms, 1);
      EXPECT_TRUE(fa.reached_noise);
      EXPECT_EQ(fa.noise, fa.noise_floor);
      EXPECT_GT(fa.noise_floor, 0);
      EXPECT_LT(fa.noise_floor, 1e-12 * fa.singular[0]);
      EXPECT_EQ(factor_summary(fa), "data support 1 form, i.e. 0 constants");
    }
  }
}

TEST(Factors, AllZeroSpectraSupportNoForm) {
  auto syn = make_synthetic({});
  DataSet& d = *syn.data;
  for (int w = 1; w <= d.n_wavelengths; ++w)
    for (int s = 1; s <= d.n_spectra; ++s) d.absorbance[w][s] = 0;
  for (double given : {0.0, 0.002}) {
    const FactorAnalysis fa = factor_analysis(d, {given});
    EXPECT_EQ(fa.suggested_forms, 0) << given;
    EXPECT_EQ(fa.residual_noise, 0);
    EXPECT_EQ(factor_summary(fa), "data support 0 forms, i.e. 0 constants");
  }
}

TEST(Factors, SummaryText) {
  FactorAnalysis fa;
  fa.suggested_forms = 3;
  EXPECT_EQ(factor_summary(fa), "data support 3 forms, i.e. 2 constants");
  fa.suggested_forms = 2;
  EXPECT_EQ(factor_summary(fa), "data support 2 forms, i.e. 1 constant");
}

}  // namespace
}  // namespace ferolan::analysis
