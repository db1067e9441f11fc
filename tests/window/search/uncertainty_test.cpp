#include "engine/model/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/import/number.h"
#include "engine/model/fit.h"
#include "window/search/run_control.h"

namespace ferolan {
namespace {

// The estimate and its display in the pKa boxes, as a search finishes.
void pohybka(const DataSet& data, CalcState& calc, SearchState& search, Controls& ui, char dec) {
  const SlotModes modes = slot_modes(ui);
  ferolan::pohybka(data, calc, search, modes);
  SearchResult r;
  r.modes = modes;
  r.pk_best = search.pk_best;
  r.u = search.uncertainty;
  vyvid_pohybky(r, ui, dec);
}

// Noise-free spectra of a diprotic acid (pKa 4.2 and 8.9) and a finished search whose result
// is that set, last evaluated by a thinned fit.
struct Finished {
  std::unique_ptr<State> st = std::make_unique<State>();
  Controls ui;
  DataSet& data = st->data;
  CalcState& calc = st->calc;
  SearchState& search = st->search;

  explicit Finished(float scale = 1) {
    data.acid_conc = 1e-4f;
    data.resize(15, 120);
    for (int s = 1; s <= 15; ++s) {
      data.ph_values[s] = 2.0f + 0.75f * static_cast<float>(s - 1);
      data.spectrum_used[s] = 1;
    }
    calc.used_spectra_count = 15;
    set_result(4.2f, 8.9f);
    calc.fit_step = 1;
    rozrah(data, calc);  // true concentrations
    for (int w = 1; w <= 120; ++w) {
      const double x = w / 120.0;
      const double e[4] = {0, 9000 * std::exp(-std::pow((x - 0.3) / 0.1, 2)),
                           7000 * std::exp(-std::pow((x - 0.5) / 0.2, 2)),
                           11000 * std::exp(-std::pow((x - 0.7) / 0.1, 2))};
      for (int s = 1; s <= 15; ++s) {
        double a = 0;
        for (int j = 1; j <= 3; ++j) a += calc.form_conc[s][j] * e[j];
        // A slight disturbance so that s(A) is not zero at the result.
        a += 0.002 * std::sin(w * 0.7 + s);
        data.absorbance[w][s] = static_cast<float>(scale * a);
      }
    }
    calc.fit_step = 10;
    rozrah(data, calc);
    calc.fits = 0;
    for (int k = 1; k <= 5; ++k) {
      ui.txt_pK[k].text = "old";
      ui.Check1[k].checked = false;
    }
  }
  void set_result(float pk1, float pk2) {
    search.pk_best[1] = search.pk[1] = pk1;
    search.pk_best[2] = search.pk[2] = pk2;
    calc.ka[1] = ka_of(pk1);
    calc.ka[2] = ka_of(pk2);
    for (int k = 3; k <= 5; ++k) calc.ka[k] = 0;
  }
  // s(A)^2 of a full-resolution fit at (pk1, pk2), leaving the state as it was.
  double score(float pk1, float pk2) {
    auto saved = std::make_unique<CalcState>(calc);
    calc.ka[1] = ka_of(pk1);
    calc.ka[2] = ka_of(pk2);
    calc.fit_step = 1;
    rozrah(data, calc);
    const double s = calc.s_a_sq;
    calc = *saved;
    return s;
  }
  double s_a(float pk1, float pk2) { return std::sqrt(score(pk1, pk2)); }
  void run() { pohybka(data, calc, search, ui, '.'); }
};

TEST(Pohybka, NoFittedSlotMakesOneFitAndChangesNoBox) {
  Finished f;
  const double entry = f.calc.s_a_sq;
  f.run();
  EXPECT_EQ(f.calc.fits, 1);
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(f.ui.txt_pK[k].text, "old") << k;
  EXPECT_EQ(f.calc.fit_step, 1);
  EXPECT_EQ(f.calc.s_a_sq_best, static_cast<float>(entry));
  EXPECT_EQ(f.calc.s_a_sq, f.score(4.2f, 8.9f));  // the final fit at full resolution
}

TEST(Pohybka, OneFittedSlotMakesThreeFitsAndRewritesOnlyItsBox) {
  Finished f;
  f.ui.Check1[2].checked = true;
  const double held = f.calc.ka[1];
  f.run();
  EXPECT_EQ(f.calc.fits, 3);
  for (int k = 1; k <= 5; ++k) {
    if (k != 2) {
      EXPECT_EQ(f.ui.txt_pK[k].text, "old") << k;
    }
  }
  EXPECT_EQ(f.ui.txt_pK[2].text.rfind("8.90 \xC2\xB1 ", 0), 0u) << f.ui.txt_pK[2].text;
  EXPECT_EQ(f.search.pk[2], 8.9f);
  EXPECT_EQ(f.calc.ka[2], ka_of(8.9f));
  EXPECT_EQ(f.calc.ka[1], held);
  const double s0 = std::sqrt(static_cast<double>(f.calc.s_a_sq_best));
  const float u = static_cast<float>(
      (0.0005 / (f.s_a(4.2f, 8.4f) - s0) + static_cast<float>(0.0005 / (f.s_a(4.2f, 9.4f) - s0))) /
      4);
  EXPECT_EQ(f.search.uncertainty[2], u);
  EXPECT_GT(u, 0);
  EXPECT_EQ(leading_number(f.ui.txt_pK[2].text), 8.9);
}

TEST(Pohybka, QuarterOfTheTwoInverseRises) {
  // Scale the data so that s(A) rises by 0.001 at pKa1 + 0.5 and by 0.002 at pKa1 - 0.5
  // over a chosen reference score.
  Finished probe;
  const double rise = probe.s_a(3.7f, 8.9f) - probe.s_a(4.7f, 8.9f);
  ASSERT_GT(rise, 0);
  Finished f(static_cast<float>(0.001 / rise));
  const double s_plus = f.s_a(4.7f, 8.9f), s_minus = f.s_a(3.7f, 8.9f);
  const double s0 = s_plus - 0.001;
  ASSERT_GT(s0, 0);
  f.calc.s_a_sq = s0 * s0;
  f.ui.Check1[1].checked = true;
  f.run();
  EXPECT_NEAR(s_minus - s0, 0.002, 1e-6);
  EXPECT_NEAR(f.search.uncertainty[1], 0.1875, 1e-3);
  EXPECT_EQ(f.ui.txt_pK[1].text, "4.20 \xC2\xB1 0.19");
}

TEST(Pohybka, UnchangedScoreShowsAnUndeterminedUncertainty) {
  Finished f;
  for (int w = 1; w <= 120; ++w)
    for (int s = 1; s <= 15; ++s) f.data.absorbance[w][s] = 0;  // every fit is perfect
  f.calc.s_a_sq = 0;
  f.search.pk_best[1] = 4.5612f;
  f.ui.Check1[1].checked = true;
  f.ui.Check1[2].checked = true;
  f.run();
  EXPECT_EQ(f.ui.txt_pK[1].text, "4.56 \xC2\xB1 ?");
  EXPECT_EQ(f.ui.txt_pK[2].text, "8.90 \xC2\xB1 ?");
  EXPECT_TRUE(std::isnan(f.search.uncertainty[1]));
  EXPECT_EQ(leading_number(f.ui.txt_pK[1].text), 4.56);
}

TEST(Pohybka, FallingScoreGivesANegativeUncertaintyAsItComes) {
  Finished f;
  const double s_plus = f.s_a(4.2f, 9.4f), s_minus = f.s_a(4.2f, 8.4f);
  const double s0 = std::max(s_plus, s_minus) + 0.004;  // both perturbed fits come out lower
  f.calc.s_a_sq = s0 * s0;
  f.ui.Check1[2].checked = true;
  f.run();
  EXPECT_LT(f.search.uncertainty[2], -0.03);
  EXPECT_EQ(f.ui.txt_pK[2].text.rfind("8.90 \xC2\xB1 -0.", 0), 0u) << f.ui.txt_pK[2].text;
}

TEST(Pohybka, UsesTheLocaleSeparatorAndRestoresTheFittedConstants) {
  Finished f;
  f.ui.Check1[1].checked = true;
  f.ui.Check1[2].checked = true;
  pohybka(f.data, f.calc, f.search, f.ui, ',');
  EXPECT_EQ(f.ui.txt_pK[1].text.rfind("4,20 \xC2\xB1 ", 0), 0u) << f.ui.txt_pK[1].text;
  EXPECT_EQ(f.calc.fits, 5);
  EXPECT_EQ(f.calc.ka[1], ka_of(4.2f));
  EXPECT_EQ(f.calc.ka[2], ka_of(8.9f));
  EXPECT_EQ(f.calc.s_a_sq, f.score(4.2f, 8.9f));
}

}  // namespace
}  // namespace ferolan
