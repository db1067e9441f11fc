// Several titrations of one acid in one fit: shared constants, common wavelengths, shared or
// own forms' spectra, fitted concentration factors.
#include "engine/analysis/global_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "support/synthetic_data.h"

namespace ferolan::analysis {
namespace {

using testing::fitted;
using testing::pks;

// Molar absorptivity of form j (0-based) at wl nm: one band per form moving to the red.
double molar(int j, double wl, double height) {
  const double x = (wl - (300 + 60 * j)) / 40;
  return height * (1 - 0.1 * j) * std::exp(-0.5 * x * x) +
         2000 * std::exp(-std::pow((wl - 260) / 20, 2));
}

struct Replicate {
  double conc = 5e-5;    // true concentration
  double stated = 5e-5;  // what the titration says
  double ph_lo = 2, ph_hi = 10;
  int spectra = 21;
  int wl_first = 250, wl_last = 550, wl_step = 2;
  double height = 20000;  // of the bands: an instrument of its own scales them
  double noise = 0.002;
  unsigned seed = 1;
};

Titration make_titration(const std::vector<double>& pk, const Replicate& r) {
  Titration t;
  std::mt19937 gen(r.seed);
  std::normal_distribution<double> gauss(0.0, r.noise);
  for (int w = r.wl_first; w <= r.wl_last; w += r.wl_step) t.wavelengths.push_back(w);
  for (int s = 0; s < r.spectra; ++s) {
    const double ph = r.ph_lo + (r.ph_hi - r.ph_lo) * s / (r.spectra - 1);
    t.ph.push_back(static_cast<float>(ph));
    t.conc.push_back(r.stated);
    std::vector<double> alpha(pk.size() + 1, 1.0);
    double sum = 1;
    for (size_t j = 1; j < alpha.size(); ++j)
      sum += alpha[j] = alpha[j - 1] * std::pow(10.0, ph - pk[j - 1]);
    for (double wl : t.wavelengths) {
      double a = 0;
      for (size_t j = 0; j < alpha.size(); ++j)
        a += r.conc * alpha[j] / sum * molar(static_cast<int>(j), wl, r.height);
      t.absorbance.push_back(static_cast<float>(a + gauss(gen)));
    }
  }
  return t;
}

// Three replicates of one acid at other concentrations and pH grids: the joint fit recovers the
// constants with a smaller error than any one titration, and the errors pool as they should.
TEST(GlobalFit, ReplicatesPoolTheirInformation) {
  const std::vector<double> truth = {4.3, 7.8};
  std::vector<Titration> ts;
  std::vector<double> single_se2(3, 0.0);
  double inverse_variance[3] = {0, 0, 0};
  const Replicate reps[] = {{4e-5, 4e-5, 2.0, 10.0, 21, 250, 550, 2, 20000, 0.002, 11},
                            {5e-5, 5e-5, 2.5, 11.0, 25, 250, 550, 2, 20000, 0.002, 12},
                            {6e-5, 6e-5, 1.5, 9.5, 17, 250, 550, 2, 20000, 0.002, 13}};
  for (const Replicate& r : reps) {
    ts.push_back(make_titration(truth, r));
    const RefineResult one = refine_joint({ts.back()}, fitted(2), pks({4, 8}));
    ASSERT_EQ(one.status, RefineStatus::Converged) << one.message;
    for (int k = 1; k <= 2; ++k) inverse_variance[k] += 1 / (one.se[k] * one.se[k]);
  }
  const GlobalFit g = global_fit(ts, fitted(2), pks({4, 8}));
  ASSERT_EQ(g.fit.status, RefineStatus::Converged) << g.fit.message;
  EXPECT_TRUE(g.warnings.empty());
  EXPECT_EQ(g.fit.observations, (21 + 25 + 17) * 151L);
  EXPECT_EQ(g.fit.parameters, 151L * 3 + 2);
  for (int k = 1; k <= 2; ++k) {
    EXPECT_NEAR(g.fit.pk[k], truth[k - 1], 3 * g.fit.se[k]) << k;
    const double pooled = 1 / std::sqrt(inverse_variance[k]);
    EXPECT_GT(g.fit.se[k], pooled / 1.5) << k;
    EXPECT_LT(g.fit.se[k], pooled * 1.5) << k;
  }
  ASSERT_EQ(g.fit.s_a_titration.size(), 3u);
  for (double s : g.fit.s_a_titration) EXPECT_NEAR(s, 0.002, 0.0003);
}

// Stated concentrations that are off by a few percent spoil a shared-spectra fit; a factor per
// titration takes the error out of the residuals and is itself recovered.
TEST(GlobalFit, ConcentrationFactorsAbsorbStatedConcentrationErrors) {
  const std::vector<double> truth = {5.1};
  std::vector<Titration> ts;
  ts.push_back(make_titration(truth, {5e-5, 5e-5, 3, 8, 15, 250, 500, 2, 20000, 0.001, 21}));
  ts.push_back(make_titration(truth, {5.3e-5, 5e-5, 3, 8, 15, 250, 500, 2, 20000, 0.001, 22}));
  ts.push_back(make_titration(truth, {4.8e-5, 5e-5, 3, 8, 15, 250, 500, 2, 20000, 0.001, 23}));
  const GlobalFit plain = global_fit(ts, fitted(1), pks({5}));
  JointOptions o;
  o.fit_factors = true;
  const GlobalFit factored = global_fit(ts, fitted(1), pks({5}), o);
  ASSERT_EQ(factored.fit.status, RefineStatus::Converged) << factored.fit.message;
  EXPECT_GT(plain.fit.s_a, 3 * factored.fit.s_a);
  EXPECT_NEAR(factored.fit.s_a, 0.001, 0.0002);
  ASSERT_EQ(factored.fit.factor.size(), 3u);
  EXPECT_EQ(factored.fit.factor[0], 1.0);
  EXPECT_EQ(factored.fit.factor_se[0], 0.0);
  EXPECT_NEAR(factored.fit.factor[1], 1.06, 3 * factored.fit.factor_se[1] + 1e-4);
  EXPECT_NEAR(factored.fit.factor[2], 0.96, 3 * factored.fit.factor_se[2] + 1e-4);
  EXPECT_GT(factored.fit.factor_se[1], 0);
  EXPECT_EQ(factored.fit.parameters, plain.fit.parameters + 2);
  EXPECT_NEAR(factored.fit.pk[1], 5.1, 3 * factored.fit.se[1]);
}

// Titrations from different instruments: their own forms' spectra fit them, shared ones do not.
TEST(GlobalFit, SpectraPerTitration) {
  const std::vector<double> truth = {6.0};
  std::vector<Titration> ts;
  ts.push_back(make_titration(truth, {5e-5, 5e-5, 4, 8, 15, 250, 500, 2, 20000, 0.001, 31}));
  ts.push_back(make_titration(truth, {5e-5, 5e-5, 4, 8, 15, 250, 500, 2, 26000, 0.001, 32}));
  JointOptions own;
  own.sharing = SpectraSharing::PerTitration;
  const GlobalFit per = global_fit(ts, fitted(1), pks({6.3}), own);
  const GlobalFit shared = global_fit(ts, fitted(1), pks({6.3}));
  ASSERT_EQ(per.fit.status, RefineStatus::Converged);
  EXPECT_NEAR(per.fit.s_a, 0.001, 0.0002);
  EXPECT_GT(shared.fit.s_a, 2 * per.fit.s_a);
  EXPECT_EQ(per.fit.parameters, 2L * 126 * 2 + 1);
  EXPECT_NEAR(per.fit.pk[1], 6.0, 3 * per.fit.se[1]);
}

// Grids that differ: only the common points are fitted and the others are named.
TEST(GlobalFit, MismatchedWavelengthGrids) {
  const std::vector<double> truth = {5.0};
  std::vector<Titration> ts;
  ts.push_back(make_titration(truth, {5e-5, 5e-5, 3, 7, 12, 250, 500, 2, 20000, 0.001, 41}));
  ts.push_back(make_titration(truth, {5e-5, 5e-5, 3, 7, 12, 240, 480, 1, 20000, 0.001, 42}));
  const GlobalFit g = global_fit(ts, fitted(1), pks({5}));
  ASSERT_EQ(g.fit.status, RefineStatus::Converged) << g.fit.message;
  ASSERT_FALSE(g.wavelengths.empty());
  EXPECT_EQ(g.wavelengths.front(), 250);
  EXPECT_EQ(g.wavelengths.back(), 480);
  EXPECT_EQ(g.wavelengths.size(), 116u);
  // 240..249, the odd points 251..479, and 482..500.
  EXPECT_EQ(g.dropped.size(), 10u + 115u + 10u);
  ASSERT_EQ(g.warnings.size(), 1u);
  EXPECT_NE(g.warnings[0].find("135 wavelengths"), std::string::npos) << g.warnings[0];
  EXPECT_NE(g.warnings[0].find("240"), std::string::npos);
  EXPECT_EQ(g.fit.observations, 24L * 116);

  // No point in common at all.
  ts[1] = make_titration(truth, {5e-5, 5e-5, 3, 7, 12, 600, 700, 2, 20000, 0.001, 43});
  const GlobalFit none = global_fit(ts, fitted(1), pks({5}));
  EXPECT_EQ(none.fit.status, RefineStatus::TooFewData);
  EXPECT_FALSE(refine_has_result(none.fit.status));
}

// Titrations that cannot take part are refused with their number, never fitted.
TEST(GlobalFit, HostileTitrations) {
  const std::vector<double> truth = {4.0, 8.0};
  const Titration good =
      make_titration(truth, {5e-5, 5e-5, 2, 10, 15, 250, 450, 2, 20000, 0.001, 51});
  Titration few = make_titration(truth, {5e-5, 5e-5, 2, 10, 3, 250, 450, 2, 20000, 0.001, 52});
  const GlobalFit g = global_fit({good, few}, fitted(2), pks({4, 8}));
  EXPECT_EQ(g.fit.status, RefineStatus::TooFewData);
  EXPECT_NE(g.fit.message.find("titration 2"), std::string::npos) << g.fit.message;

  Titration ragged = good;
  ragged.absorbance.pop_back();
  EXPECT_EQ(global_fit({good, ragged}, fitted(2), pks({4, 8})).fit.status,
            RefineStatus::InvalidSetup);
  Titration zero_conc = good;
  zero_conc.conc[4] = 0;
  const GlobalFit z = global_fit({good, zero_conc}, fitted(2), pks({4, 8}));
  EXPECT_EQ(z.fit.status, RefineStatus::InvalidSetup);
  EXPECT_NE(z.fit.message.find("spectrum 5"), std::string::npos) << z.fit.message;
  Titration bad_path = good;
  bad_path.path_len = -1;
  EXPECT_EQ(global_fit({good, bad_path}, fitted(2), pks({4, 8})).fit.status,
            RefineStatus::InvalidSetup);
  Titration nan_ph = good;
  nan_ph.ph[0] = NAN;
  EXPECT_EQ(global_fit({good, nan_ph}, fitted(2), pks({4, 8})).fit.status,
            RefineStatus::InvalidSetup);
  EXPECT_EQ(global_fit({}, fitted(2), pks({4, 8})).fit.status, RefineStatus::InvalidSetup);
}

// Per-spectrum concentrations (a titration diluted as it goes) are used as given.
TEST(GlobalFit, DilutionDuringATitration) {
  const std::vector<double> truth = {5.5};
  Titration t = make_titration(truth, {5e-5, 5e-5, 3, 8, 15, 250, 450, 2, 20000, 0.0005, 61});
  // Dilute spectrum i by 1 - 0.02 i: absorbances and stated concentrations alike.
  const size_t points = t.wavelengths.size();
  for (size_t i = 0; i < t.ph.size(); ++i) {
    const double f = 1 - 0.02 * static_cast<double>(i);
    t.conc[i] *= f;
    for (size_t w = 0; w < points; ++w) t.absorbance[i * points + w] *= f;
  }
  const GlobalFit g = global_fit({t}, fitted(1), pks({5}));
  ASSERT_EQ(g.fit.status, RefineStatus::Converged);
  EXPECT_LT(g.fit.s_a, 0.0006);
  EXPECT_NEAR(g.fit.pk[1], 5.5, 3 * g.fit.se[1]);
  // Read as undiluted, the same absorbances fit worse.
  Titration stated = t;
  std::fill(stated.conc.begin(), stated.conc.end(), 5e-5);
  EXPECT_GT(global_fit({stated}, fitted(1), pks({5})).fit.s_a, 2 * g.fit.s_a);
}

TEST(GlobalFit, MedianStart) {
  const double nan = NAN;
  const auto m = median_start(
      {pks({4.1, 8.0, nan}), pks({4.3, 7.0, nan}), pks({4.2, 9.5, nan}), pks({nan, 7.5, nan})});
  EXPECT_DOUBLE_EQ(m[1], 4.2);
  EXPECT_DOUBLE_EQ(m[2], 7.75);
  EXPECT_TRUE(std::isnan(m[3]));
}

}  // namespace
}  // namespace ferolan::analysis
