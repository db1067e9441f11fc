#include <gtest/gtest.h>

#include <cmath>

#include "engine/analysis/residual_map.h"
#include "engine/model/fit.h"
#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::make_synthetic;

TEST(ResidualDiagnostics, AddsUpToTheFitsScore) {
  auto syn = make_synthetic({});
  syn.data->spectrum_used[5] = 0;
  const auto fitted = fit_full(*syn.data, syn.ka);
  const ResidualDiagnostics d = residual_diagnostics(*syn.data, *fitted);
  ASSERT_EQ(d.spectra.size(), 20u);
  EXPECT_EQ(d.spectra[4], 6);  // spectrum 5 left out
  EXPECT_FLOAT_EQ(d.ph[4], syn.data->ph_values[6]);
  ASSERT_EQ(d.wavelengths.size(), 121u);
  EXPECT_EQ(d.wavelengths[1], 222);
  EXPECT_NEAR(d.s_a * d.s_a, fitted->s_a_sq, 1e-6 * fitted->s_a_sq);
  double by_spectrum = 0, by_point = 0;
  for (double s : d.s_spectrum) by_spectrum += s * s / d.s_spectrum.size();
  for (double s : d.s_point) by_point += s * s / d.s_point.size();
  EXPECT_NEAR(by_spectrum, d.s_a * d.s_a, 1e-12);
  EXPECT_NEAR(by_point, d.s_a * d.s_a, 1e-12);
  // One map cell recomputed by hand.
  const int s = d.spectra[7], w = 30;
  double calc = 0;
  for (int j = 1; j <= kForms; ++j)
    calc += double(fitted->form_conc[s][j]) * fitted->eps_forms[w + 1][j];
  EXPECT_DOUBLE_EQ(d.at(7, w), syn.data->absorbance[w + 1][s] - calc);
  EXPECT_TRUE(d.outliers.empty());
}

class CorruptedSpectrum : public ::testing::TestWithParam<int> {};

TEST_P(CorruptedSpectrum, IsTheOnlyOneFlagged) {
  const int bad = GetParam();
  auto syn = make_synthetic({});  // σ = 0.002
  testing::corrupt_spectrum(*syn.data, bad, 0.02, 77);
  const auto fitted = fit_full(*syn.data, syn.ka);
  const ResidualDiagnostics d = residual_diagnostics(*syn.data, *fitted);
  EXPECT_EQ(d.outliers, std::vector<int>{bad});
  EXPECT_GT(d.median_s_spectrum, 0.0015);
  EXPECT_LT(d.median_s_spectrum, 0.003);
}

INSTANTIATE_TEST_SUITE_P(Positions, CorruptedSpectrum, ::testing::Values(2, 8, 11, 17, 20));

TEST(ResidualDiagnostics, ThresholdIsStrictlyAboveThreeMedians) {
  // A hand-made "fit" with one form and eps 0 leaves the absorbances as residuals.
  DataSet data(4, 1);
  data.wavelengths[1] = 300;
  const float a[5] = {0, 1.0f, 1.0f, 3.0f, 3.5f};  // median (1 + 3)/2 = 2, threshold 6
  for (int s = 1; s <= 4; ++s) {
    data.spectrum_used[s] = 1;
    data.absorbance[1][s] = a[s];
  }
  CalcState calc;
  size_fit(data, calc);  // all forms' spectra 0
  EXPECT_TRUE(residual_diagnostics(data, calc).outliers.empty());
  data.absorbance[1][4] = 6.0f;  // the median stays 2: 6 is not above 6
  EXPECT_TRUE(residual_diagnostics(data, calc).outliers.empty());
  data.absorbance[1][4] = 6.5f;
  EXPECT_EQ(residual_diagnostics(data, calc).outliers, std::vector<int>{4});
}

}  // namespace
}  // namespace ferolan::analysis
