#include "engine/model/fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>

#include "engine/search/workspace.h"
#include "support/fit_compare.h"
#include "support/fit_reference.h"

// Counts the allocations of the whole program, so that a test can see none inside a fit.
// ThreadSanitizer's runtime brings its own operators, which these would clash with.
#if defined(__SANITIZE_THREAD__)
#define FEROLAN_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define FEROLAN_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef FEROLAN_COUNT_ALLOCATIONS
#define FEROLAN_COUNT_ALLOCATIONS 1
#endif
static long g_allocations = 0;
#if FEROLAN_COUNT_ALLOCATIONS
// The check for mismatched allocation does not see that these operators pair malloc and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
// The other forms as well: every suite of this executable allocates through them, and each
// must pair with a delete that frees what its new took.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  ++g_allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
  std::free(p);
}
// The aligned form, which the fit's scratch uses.
void* operator new(std::size_t size, std::align_val_t align) {
  ++g_allocations;
  const auto a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a + (size == 0 ? a : 0))) return p;
  throw std::bad_alloc();
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
#endif

namespace ferolan {
namespace {

using testing::expect_identical;
using testing::rozrah_reference;
using testing::start_state;

double ka_of(double pk) {
  return std::pow(10.0, -pk);
}

// A random data set; absorbances in 0..2, pH ascending over 1..13.
std::unique_ptr<DataSet> random_data(std::mt19937& rng, int ns, int nw) {
  return testing::random_data(rng, ns, nw, 0, true);
}

struct Case {
  const char* name;
  int ns, nw, step;
  double pk[5];   // 0 = constant removed
  int used_mask;  // 0 = every spectrum included, else spectrum s included when bit s % 31
  int16_t n_u;    // used_spectra_count as a check would have left it
};

void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class FastFitTest : public ::testing::TestWithParam<Case> {};

TEST_P(FastFitTest, MatchesThePerPointFitBitForBit) {
  const Case& c = GetParam();
  std::mt19937 rng(12345);
  for (int rep = 0; rep < 3; ++rep) {
    auto data = random_data(rng, c.ns, c.nw);
    if (c.used_mask != 0)
      for (int s = 1; s <= c.ns; ++s) data->spectrum_used[s] = (c.used_mask >> (s % 31)) & 1;
    auto fast = start_state(rng);
    fast->fit_step = static_cast<int16_t>(c.step);
    fast->used_spectra_count = c.n_u;
    for (int k = 1; k <= 5; ++k) fast->ka[k] = c.pk[k - 1] == 0 ? 0.0 : ka_of(c.pk[k - 1]);
    auto ref = std::make_unique<CalcState>(*fast);
    rozrah(*data, *fast);
    rozrah_reference(*data, *ref);
    SCOPED_TRACE(c.name);
    expect_identical(*fast, *ref);
    // A second call on the same state changes nothing either way.
    rozrah(*data, *fast);
    rozrah_reference(*data, *ref);
    expect_identical(*fast, *ref);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Data, FastFitTest,
    ::testing::Values(Case{"full_step10", 50, 1000, 10, {3.1, 5.2, 7.3, 9.4, 11.5}, 0, 50},
                      Case{"full_step1", 50, 1000, 1, {3.1, 5.2, 7.3, 9.4, 11.5}, 0, 50},
                      Case{"n95_step10", 12, 95, 10, {4.2, 8.9, 0, 0, 0}, 0, 12},
                      Case{"two_constants", 20, 300, 1, {4.2, 8.9, 0, 0, 0}, 0, 20},
                      Case{"one_constant", 5, 300, 10, {6.0, 0, 0, 0, 0}, 0, 5},
                      Case{"no_constant", 5, 300, 10, {0, 0, 0, 0, 0}, 0, 5},
                      Case{"hole_in_constants", 15, 200, 3, {4.0, 0, 7.0, 9.0, 0}, 0, 15},
                      Case{
                          "some_excluded", 40, 500, 10, {3.0, 5.0, 7.0, 9.0, 11.0}, 0x2AAAAAAA, 40},
                      Case{"all_excluded", 10, 100, 10, {4.0, 8.0, 0, 0, 0}, 1 << 30, 10},
                      Case{"single_spectrum", 1, 50, 1, {4.0, 8.0, 10.0, 0, 0}, 0, 1},
                      Case{"fewer_spectra_than_forms", 3, 50, 1, {3.0, 6.0, 9.0, 11.0, 12.5}, 0, 3},
                      Case{"extreme_constants", 10, 100, 1, {-3.0, 0.5, 14.0, 30.0, 60.0}, 0, 10},
                      Case{"one_point", 8, 1, 10, {4.0, 8.0, 0, 0, 0}, 0, 8},
                      Case{"no_points", 8, 0, 10, {4.0, 8.0, 0, 0, 0}, 0, 8},
                      Case{"step_beyond_points", 8, 7, 10, {4.0, 8.0, 0, 0, 0}, 0, 8},
                      Case{"no_counted_spectra", 8, 100, 10, {4.0, 8.0, 0, 0, 0}, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FastFit, IdenticalSpectraGiveZeroPivotsInBothFits) {
  std::mt19937 rng(7);
  auto data = random_data(rng, 10, 200);
  for (int s = 1; s <= 10; ++s) data->ph_values[s] = 6.5f;  // one solution, ten times
  auto fast = start_state(rng);
  fast->fit_step = 1;
  fast->used_spectra_count = 10;
  fast->ka[1] = ka_of(6.5);
  fast->ka[2] = ka_of(7.5);
  auto ref = std::make_unique<CalcState>(*fast);
  rozrah(*data, *fast);
  rozrah_reference(*data, *ref);
  expect_identical(*fast, *ref);
}

TEST(FastFit, UndefinedConcentrationsGiveTheSameResultsToo) {
  std::mt19937 rng(11);
  auto data = random_data(rng, 10, 100);
  data->ph_values[3] = 80;  // h^5 underflows: with no constant the sum D is 0
  auto fast = start_state(rng);
  fast->fit_step = 1;
  fast->used_spectra_count = 10;
  auto ref = std::make_unique<CalcState>(*fast);
  rozrah(*data, *fast);
  rozrah_reference(*data, *ref);
  EXPECT_TRUE(std::isnan(fast->form_conc[3][1]));
  EXPECT_TRUE(std::isnan(fast->s_a_sq));
  expect_identical(*fast, *ref);
}

// A fresh state with n spectra of one data set, every spectrum included and counted.
struct Fixture {
  std::unique_ptr<DataSet> data = std::make_unique<DataSet>();
  std::unique_ptr<CalcState> calc = std::make_unique<CalcState>();
  Fixture(int ns, int nw, float conc) {
    data->resize(ns, nw);
    size_fit(*data, *calc);
    data->acid_conc = conc;
    for (int s = 1; s <= ns; ++s) {
      data->spectrum_used[s] = 1;
      data->ph_values[s] = 1.0f + static_cast<float>(s);
    }
    calc->used_spectra_count = ns;
  }
};

TEST(Fit, RemovedConstantsLeaveTheHigherFormsAbsent) {
  Fixture f(12, 40, 1e-4f);
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> a(0, 1);
  for (int w = 1; w <= 40; ++w)
    for (int s = 1; s <= 12; ++s) f.data->absorbance[w][s] = a(rng);
  f.calc->ka[1] = ka_of(4.0);
  f.calc->ka[2] = ka_of(9.0);
  f.calc->fit_step = 1;
  rozrah(*f.data, *f.calc);
  for (int s = 1; s <= 12; ++s) {
    for (int j = 4; j <= 6; ++j) EXPECT_EQ(f.calc->form_conc[s][j], 0.0f) << s << " " << j;
    EXPECT_GT(f.calc->form_conc[s][1] + f.calc->form_conc[s][2] + f.calc->form_conc[s][3], 0);
  }
  for (int w = 1; w <= 40; ++w)
    for (int j = 4; j <= 6; ++j) EXPECT_EQ(f.calc->eps_forms[w][j], 0.0f) << w << " " << j;
}

TEST(Fit, AtPhEqualToPkaTheTwoFormsShareTheAcidHalfEach) {
  Fixture f(3, 5, 2.5e-4f);
  f.data->ph_values[2] = 5.3f;
  f.calc->ka[1] = std::pow(10.0, -static_cast<double>(5.3f));
  rozrah(*f.data, *f.calc);
  EXPECT_EQ(f.calc->form_conc[2][1], 1.25e-4f);
  EXPECT_EQ(f.calc->form_conc[2][2], 1.25e-4f);
  for (int j = 3; j <= 6; ++j) EXPECT_EQ(f.calc->form_conc[2][j], 0.0f);
}

TEST(Fit, ExcludedSpectrumTakesNoPartAndKeepsItsConcentrations) {
  Fixture f(8, 30, 1e-4f);
  for (int w = 1; w <= 30; ++w)
    for (int s = 1; s <= 8; ++s) f.data->absorbance[w][s] = 0.1f * static_cast<float>(s);
  f.calc->ka[1] = ka_of(5.0);
  f.calc->fit_step = 1;
  for (int j = 1; j <= 6; ++j) f.calc->form_conc[4][j] = 42.0f;
  f.data->spectrum_used[4] = 0;
  rozrah(*f.data, *f.calc);
  for (int j = 1; j <= 6; ++j) EXPECT_EQ(f.calc->form_conc[4][j], 42.0f);
  const double without = f.calc->s_a_sq;
  // A wild absorbance in the excluded spectrum changes nothing.
  for (int w = 1; w <= 30; ++w) f.data->absorbance[w][4] = 1000.0f;
  rozrah(*f.data, *f.calc);
  EXPECT_EQ(f.calc->s_a_sq, without);
}

TEST(Fit, EveryExcludedSpectrumGivesZeroSpectraAndZeroScore) {
  Fixture f(8, 30, 1e-4f);
  for (int w = 1; w <= 30; ++w)
    for (int s = 1; s <= 8; ++s) f.data->absorbance[w][s] = 0.5f;
  for (int w = 1; w <= 30; ++w)
    for (int j = 1; j <= 6; ++j) f.calc->eps_forms[w][j] = 9.0f;
  f.calc->ka[1] = ka_of(5.0);
  for (int s = 1; s <= 8; ++s) f.data->spectrum_used[s] = 0;  // after the check counted 8
  f.calc->fit_step = 10;
  rozrah(*f.data, *f.calc);
  for (int w = 1; w <= 30; ++w)
    for (int j = 1; j <= 6; ++j)
      EXPECT_EQ(f.calc->eps_forms[w][j], (w - 1) % 10 == 0 ? 0.0f : 9.0f) << w << " " << j;
  EXPECT_EQ(f.calc->s_a_sq, 0.0);
}

TEST(Fit, CoefficientsAreClampedAtBothEnds) {
  // Two forms; at every point form 1 would need 3e5 and form 2 would need -1000.
  Fixture f(6, 10, 1e-5f);
  f.calc->ka[1] = ka_of(4.5);
  f.calc->fit_step = 1;
  rozrah(*f.data, *f.calc);  // the concentrations of this constant
  for (int w = 1; w <= 10; ++w)
    for (int s = 1; s <= 6; ++s)
      f.data->absorbance[w][s] =
          static_cast<float>(3e5 * f.calc->form_conc[s][1] - 1000.0 * f.calc->form_conc[s][2]);
  rozrah(*f.data, *f.calc);
  for (int w = 1; w <= 10; ++w) {
    EXPECT_EQ(f.calc->eps_forms[w][1], 200000.0f);
    EXPECT_EQ(f.calc->eps_forms[w][2], 0.0f);
  }
  // The clamped values enter the residuals: form 1 lacks 1e5 per mol/L.
  EXPECT_GT(f.calc->s_a_sq, 1e-3);
}

// One form only (every constant removed): its spectrum is the mean absorbance, and spectra
// of absorbance 1 ± 0.5 leave residuals of exactly 0.5.
Fixture mean_fixture(int nw) {
  Fixture f(2, nw, 1.0f);
  for (int w = 1; w <= nw; ++w) {
    f.data->absorbance[w][1] = 0.5f;
    f.data->absorbance[w][2] = 1.5f;
  }
  return f;
}

TEST(Fit, ThinnedGridDividesByPointsOverStep) {
  Fixture f = mean_fixture(95);
  for (int w = 1; w <= 95; ++w) f.calc->eps_forms[w][1] = -1.0f;
  f.calc->fit_step = 10;
  rozrah(*f.data, *f.calc);
  for (int w = 1; w <= 95; ++w)
    EXPECT_EQ(f.calc->eps_forms[w][1], (w - 1) % 10 == 0 ? 1.0f : -1.0f) << w;
  // Ten grid points, two spectra, r^2 = 0.25 each: S = 5, divided by 95 / 10 points.
  EXPECT_DOUBLE_EQ(f.calc->s_a_sq, 5.0 / 9.5 / 2.0);
}

TEST(Fit, FullGridScoreIsThePlainMean) {
  Fixture f = mean_fixture(95);
  f.calc->fit_step = 1;
  rozrah(*f.data, *f.calc);
  for (int w = 1; w <= 95; ++w) EXPECT_EQ(f.calc->eps_forms[w][1], 1.0f);
  EXPECT_EQ(f.calc->s_a_sq, 0.25);
}

TEST(Fit, DivisorIsTheCountOfTheCheckNotOfTheIncludedSpectra) {
  Fixture f = mean_fixture(10);
  f.calc->fit_step = 1;
  f.calc->used_spectra_count = 4;
  rozrah(*f.data, *f.calc);
  EXPECT_EQ(f.calc->s_a_sq, 0.125);
}

TEST(Fit, NothingToAverageIsNoScore) {
  // Without the spectra check (count 0) or without a point, no trial may pass for perfect.
  Fixture f = mean_fixture(10);
  f.calc->used_spectra_count = 0;
  rozrah(*f.data, *f.calc);
  EXPECT_TRUE(std::isnan(f.calc->s_a_sq));
  EXPECT_FALSE(accept_trial(*f.calc));
  f.calc->used_spectra_count = 2;
  f.data->n_wavelengths = 0;
  f.calc->norm_rhs[1] = 3;
  rozrah(*f.data, *f.calc);
  EXPECT_TRUE(std::isnan(f.calc->s_a_sq));
  EXPECT_EQ(f.calc->norm_rhs[1], 3);  // no point was solved
}

TEST(Fit, AllocatesNothing) {
  if (!FEROLAN_COUNT_ALLOCATIONS) GTEST_SKIP() << "the allocations are not counted here";
  std::mt19937 rng(5);
  auto data = random_data(rng, 150, 2000);
  auto calc = start_state(rng);
  calc->used_spectra_count = 150;
  for (int k = 1; k <= 5; ++k) calc->ka[k] = ka_of(2.0 * k);
  size_fit(*data, *calc);  // as a search does when it starts
  const long before = g_allocations;
  for (int step : {10, 1}) {
    calc->fit_step = static_cast<int16_t>(step);
    rozrah(*data, *calc);
  }
  EXPECT_EQ(g_allocations, before);
}

TEST(Fit, CountsItsCalls) {
  Fixture f = mean_fixture(10);
  rozrah(*f.data, *f.calc);
  rozrah(*f.data, *f.calc);
  EXPECT_EQ(f.calc->fits, 2);
}

// Noise-free spectra of a diprotic acid with pKa 4.2 and 8.9.
struct Synthetic : Fixture {
  Synthetic() : Fixture(21, 300, 1e-4f) {
    for (int s = 1; s <= 21; ++s) data->ph_values[s] = 2.0f + 0.5f * static_cast<float>(s - 1);
    calc->ka[1] = ka_of(4.2);
    calc->ka[2] = ka_of(8.9);
    calc->fit_step = 1;
    rozrah(*data, *calc);  // the true concentrations
    for (int w = 1; w <= 300; ++w) {
      const double x = w / 300.0;
      eps[w][1] = 12000 * std::exp(-std::pow((x - 0.3) / 0.10, 2));
      eps[w][2] = 9000 * std::exp(-std::pow((x - 0.5) / 0.15, 2));
      eps[w][3] = 15000 * std::exp(-std::pow((x - 0.7) / 0.08, 2));
      for (int s = 1; s <= 21; ++s) {
        double a = 0;
        for (int j = 1; j <= 3; ++j) a += calc->form_conc[s][j] * eps[w][j];
        data->absorbance[w][s] = static_cast<float>(a);
      }
    }
  }
  double s_a(double pk1, double pk2, int step) {
    calc->ka[1] = ka_of(pk1);
    calc->ka[2] = ka_of(pk2);
    calc->fit_step = static_cast<int16_t>(step);
    rozrah(*data, *calc);
    return std::sqrt(calc->s_a_sq);
  }
  double eps[301][4] = {};
};

TEST(Fit, KnownConstantsFitToRoundingLevel) {
  Synthetic syn;
  for (int step : {1, 10}) {
    const double at_true = syn.s_a(4.2, 8.9, step);
    EXPECT_LT(at_true, 1e-6) << step;
    for (int w = 1; w <= 300; w += step)
      for (int j = 1; j <= 3; ++j)
        EXPECT_NEAR(syn.calc->eps_forms[w][j], syn.eps[w][j], 1e-3 + 1e-5 * syn.eps[w][j]);
    for (double off : {0.1, -0.1}) {
      EXPECT_GT(syn.s_a(4.2 + off, 8.9, step), 1e-3) << step << " " << off;
      EXPECT_GT(syn.s_a(4.2, 8.9 + off, step), 1e-3) << step << " " << off;
    }
  }
}

struct CheckCase {
  int included;    // spectra 1..included
  int extra;       // included spectra numbered above n_spectra (counted all the same)
  int zero_boxes;  // Check2(2..1 + zero_boxes) checked
  int16_t count, active;
};

class EnoughSpectraTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(EnoughSpectraTest, CountsAndRefuses) {
  const CheckCase& c = GetParam();
  // Flags beyond the count, as the window's data set has room for, count too.
  DataSet data(c.included, 1);
  data.reserve(50, 1);
  for (int s = 1; s <= c.included; ++s) data.spectrum_used[s] = 1;
  for (int s = 0; s < c.extra; ++s) data.spectrum_used[50 - s] = 1;
  SlotModes modes{};
  for (int j = 2; j <= 1 + c.zero_boxes; ++j) modes[j] = SlotMode::Removed;
  CalcState calc;
  chy_dostatno_spektriv(data, modes, calc);
  EXPECT_EQ(calc.used_spectra_count, c.count);
  EXPECT_EQ(calc.active_ka_count, c.active);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, EnoughSpectraTest,
                         ::testing::Values(CheckCase{6, 0, 0, 0, 5}, CheckCase{7, 0, 0, 7, 5},
                                           CheckCase{6, 0, 1, 6, 4}, CheckCase{5, 0, 1, 0, 4},
                                           CheckCase{3, 0, 4, 3, 1}, CheckCase{2, 0, 4, 0, 1},
                                           CheckCase{5, 1, 1, 6, 4}, CheckCase{0, 0, 0, 0, 5},
                                           CheckCase{50, 0, 0, 50, 5}));

TEST(EnoughSpectra, OnlyTheRemovedSlotsTwoToFiveCount) {
  DataSet data(6, 1);
  for (int s = 1; s <= 6; ++s) data.spectrum_used[s] = 1;
  SlotModes modes{};
  modes[1] = SlotMode::Removed;  // slot 1 is always counted
  CalcState calc;
  chy_dostatno_spektriv(data, modes, calc);
  EXPECT_EQ(calc.active_ka_count, 5);
  EXPECT_EQ(calc.used_spectra_count, 0);
}

}  // namespace
}  // namespace ferolan
