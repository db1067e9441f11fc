// A data set three times the window's spectra and twice its points, made from arrays, through
// the three searches on their own run contexts and through evaluate.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/data/data_set.h"
#include "engine/search/search.h"
#include "support/acid_spectra.h"

namespace ferolan {
namespace {

using testing::AcidRecipe;

constexpr int kSpectra = 150, kPoints = 2000;

// Noise-free spectra of a diprotic acid with pKa 4 and 8, as a client's arrays.
DataSetResult large_acid() {
  AcidRecipe recipe;
  recipe.pka = {4.0, 8.0};
  recipe.n_spectra = kSpectra;
  recipe.ph_first = 1;
  recipe.ph_last = 12;
  recipe.n_points = kPoints;
  recipe.wl_first = 200;
  recipe.wl_step = 1;
  const DataSet d = testing::make_acid_data(recipe);
  std::vector<double> ph, wl, a;
  // Given from the highest pH down: the data set sorts them back.
  for (int s = kSpectra; s >= 1; --s) ph.push_back(d.ph_values[s]);
  for (int w = 1; w <= kPoints; ++w) wl.push_back(d.wavelengths[w]);
  for (int s = kSpectra; s >= 1; --s)
    for (int w = 1; w <= kPoints; ++w) a.push_back(d.absorbance[w][s]);
  return make_data_set(ph, wl, a, recipe.acid_conc);
}

ModelSetup two_constants(float start1, float start2) {
  ModelSetup setup;
  setup.slot[1] = {SlotMode::Fitted, start1, 3.5f, 4.5f, 0.25f};
  setup.slot[2] = {SlotMode::Fitted, start2, 7.5f, 8.5f, 0.25f};
  for (int k = 3; k <= kSlots; ++k) setup.slot[k].mode = SlotMode::Removed;
  return setup;
}

void expect_fit_arrays(const SearchResult& r) {
  ASSERT_EQ(r.fit.spectra.size(), static_cast<size_t>(kSpectra));
  EXPECT_EQ(r.fit.spectra.back(), kSpectra);
  EXPECT_EQ(r.fit.points, kPoints);
  EXPECT_EQ(r.fit.form_conc.size(), static_cast<size_t>(kSpectra) * kForms);
  EXPECT_EQ(r.fit.form_spectra.size(), static_cast<size_t>(kPoints) * kForms);
  ASSERT_EQ(r.fit.calculated.size(), static_cast<size_t>(kSpectra) * kPoints);
  ASSERT_EQ(r.fit.residuals.size(), r.fit.calculated.size());
  // At the true constants the noise-free data are the model: residuals of rounding only.
  double worst = 0;
  for (double v : r.fit.residuals) worst = std::fmax(worst, std::fabs(v));
  EXPECT_LT(worst, 1e-4);
}

TEST(LargeData, ThreeSearchesFindTheConstantsOf150SpectraOf2000Points) {
  const DataSetResult made = large_acid();
  ASSERT_TRUE(made) << made.problem.english;
  const DataSet& data = *made.data;
  ASSERT_EQ(data.n_spectra, kSpectra);
  ASSERT_EQ(data.n_wavelengths, kPoints);
  ASSERT_LT(data.ph_values[1], data.ph_values[kSpectra]);
  SearchObserver quiet;

  // The grid holds the true set exactly (3.5 + 2 * 0.25 and 7.5 + 2 * 0.25 in float).
  const SearchResult grid = manual_grid(data, two_constants(4, 8), quiet);
  ASSERT_EQ(grid.outcome, Outcome::Finished);
  EXPECT_EQ(grid.trials, 25);
  EXPECT_EQ(grid.pk_best[1], 4.0f);
  EXPECT_EQ(grid.pk_best[2], 8.0f);
  expect_fit_arrays(grid);

  const SearchResult opt = optimise(data, two_constants(3.7f, 8.4f), quiet);
  ASSERT_EQ(opt.outcome, Outcome::Finished);
  EXPECT_NEAR(opt.pk_best[1], 4.0, testing::kRecoveryTolerance);
  EXPECT_NEAR(opt.pk_best[2], 8.0, testing::kRecoveryTolerance);
  EXPECT_NEAR(opt.ka[1], std::pow(10.0, -opt.pk_best[1]), 1e-18);
  expect_fit_arrays(opt);

  const SearchResult autog = auto_grid(data, two_constants(0, 0), quiet);
  ASSERT_EQ(autog.outcome, Outcome::Finished);
  EXPECT_NEAR(autog.pk_best[1], 4.0, testing::kRecoveryTolerance);
  EXPECT_NEAR(autog.pk_best[2], 8.0, testing::kRecoveryTolerance);
  expect_fit_arrays(autog);

  // evaluate scores the set as the searches did, with nothing from the caller.
  SlotModes modes = two_constants(0, 0).modes();
  const Evaluation at_grid = evaluate(data, grid.pk_best, modes);
  ASSERT_FALSE(at_grid.refusal);
  EXPECT_EQ(at_grid.s_a, grid.s_a);
  EXPECT_EQ(at_grid.fit.residuals, grid.fit.residuals);
  Arr1<float, kSlots> off = grid.pk_best;
  off[2] = 8.5f;
  const Evaluation away = evaluate(data, off, modes);
  ASSERT_FALSE(away.refusal);
  EXPECT_GT(away.s_a, 100 * at_grid.s_a + 1e-4);
}

}  // namespace
}  // namespace ferolan
