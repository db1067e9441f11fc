#include "engine/analysis/speciation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::ka_of;

TEST(Speciation, FractionsSumToOneAtEveryPh) {
  const std::vector<std::vector<double>> sets = {
      {4.0}, {4.0, 7.0}, {2.0, 2.1, 2.2, 12.0, 13.0}, {-1.0, 15.0}};
  for (const auto& pk : sets) {
    const Speciation sp = speciation(ka_of(pk), -3.0, 17.0, 201);
    ASSERT_EQ(sp.forms.size(), pk.size() + 1);
    ASSERT_EQ(sp.ph.size(), 201u);
    for (size_t p = 0; p < sp.ph.size(); ++p) {
      double sum = 0;
      for (size_t f = 0; f < sp.forms.size(); ++f) {
        EXPECT_GE(sp.at(p, f), 0.0);
        sum += sp.at(p, f);
      }
      EXPECT_NEAR(sum, 1.0, 1e-14) << "pH " << sp.ph[p];
    }
  }
}

TEST(Speciation, HalfAndHalfAtEachPkaAndTheFitsConcentrations) {
  const KaSet ka = ka_of({4.0, 9.0});
  const Speciation sp = speciation(ka, 4.0, 9.0, 2);
  EXPECT_NEAR(sp.at(0, 0), sp.at(0, 1), 1e-12);  // [H5A] = [H4A] at pH = pKa1
  EXPECT_NEAR(sp.at(1, 1), sp.at(1, 2), 1e-12);  // [H4A⁻] = [H3A²⁻] at pH = pKa2
  EXPECT_NEAR(sp.at(0, 0), 0.5, 1e-5);

  // The fit's form_conc is C times the same fractions.
  testing::SyntheticRecipe recipe;
  recipe.pk = {4.0, 9.0};
  auto syn = testing::make_synthetic(recipe);
  const auto fitted = fit_full(*syn.data, ka);
  for (int s = 1; s <= syn.data->n_spectra; ++s) {
    const Speciation one = speciation(ka, syn.data->ph_values[s], 0, 1);
    for (int j = 1; j <= 3; ++j)
      EXPECT_NEAR(fitted->form_conc[s][j] / syn.data->acid_conc, one.at(0, j - 1), 1e-6);
  }
}

TEST(Speciation, SpansTheIncludedSpectraAndListsOnlyPresentForms) {
  auto syn = testing::make_synthetic({});  // pH 2..9, 21 spectra
  syn.data->spectrum_used[1] = 0;          // pH 2.00 left out
  KaSet ka = ka_of({4.0, 7.0, 11.0});
  ka[3] = 0;  // pKa3 removed: forms H5A..H3A remain
  const Speciation sp = speciation(*syn.data, ka, 51);
  EXPECT_EQ(sp.forms, (std::vector<int>{1, 2, 3}));
  EXPECT_NEAR(sp.ph.front(), 2.35, 1e-6);
  EXPECT_NEAR(sp.ph.back(), 9.0, 1e-6);
  EXPECT_EQ(sp.fraction.size(), 51u * 3);
  EXPECT_STREQ(form_name(3), "H3A²⁻");
}

}  // namespace
}  // namespace ferolan::analysis
