#include "engine/model/fit_kernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/model/fit.h"
#include "engine/model/fit_kernel_body.h"
#include "support/fit_compare.h"
#include "support/fit_reference.h"

namespace ferolan {
namespace {

using testing::expect_identical;
using testing::rozrah_reference;
using testing::start_state;

// The kernels' body in the compiler's generic vectors, four and eight grid points wide, built
// for the baseline processor: the widths of the AVX2 and AVX-512 kernels run on any machine.
struct GenericBlock {
  static constexpr int kPoints = 4, kSpectra = 4;
  static void block(const float* const* rows, int s0, double* out, int pitch) {
    for (int s = 0; s < kSpectra; ++s, out += pitch)
      for (int p = 0; p < kPoints; ++p) out[p] = static_cast<double>(rows[p][s0 + s]);
  }
};
template <int W>
void generic_kernel(fit_grid::FitJob* jobs, int n) {
  fit_grid::run_jobs<W, GenericBlock>(jobs, n);
}

// A built-in kernel, or the body at a width run through the generic one.
struct Kernel {
  std::string name;
  FitKernel builtin = FitKernel::portable;
  fit_grid::FitKernelFn generic = nullptr;
};

std::vector<Kernel> runnable_kernels() {
  std::vector<Kernel> ks;
  for (FitKernel k : kFitKernels)
    if (fit_kernel_supported(k)) ks.push_back({fit_kernel_name(k), k, nullptr});
  ks.push_back({"generic4", FitKernel::portable, generic_kernel<4>});
  ks.push_back({"generic8", FitKernel::portable, generic_kernel<8>});
  return ks;
}

void choose(const Kernel& k) {
  ASSERT_EQ(select_fit_kernel(k.builtin), k.builtin);
  if (k.generic) fit_grid::use_fit_kernel_fn(k.generic);
}

// Puts the kernel chosen at start-up back after a test that forces one.
class KernelGuard {
 public:
  ~KernelGuard() { select_fit_kernel_from_env(); }
};

// Absorbances from slightly below 0, pH in no order: the kernels must not rely on either.
std::unique_ptr<DataSet> random_data(std::mt19937& rng, int ns, int nw) {
  return testing::random_data(rng, ns, nw, -0.05f, false);
}

struct Case {
  const char* name;
  int ns, nw, step;
  double pk[5];        // 0 = constant removed
  int used_every;      // 1 = every spectrum included, n = every n-th spectrum
  bool same_ph;        // one solution measured again and again: zero pivots
  bool zeros = false;  // every absorbance +0 or -0: zero sums of either sign
};

void fill_zeros(DataSet& d) {
  for (int w = 1; w <= d.points_capacity(); ++w)
    for (int s = 1; s <= d.spectra_capacity(); ++s)
      d.absorbance[w][s] = (w + s) % 3 == 0 ? -0.0f : 0.0f;
}

// The case's data; `included` counts its included spectra.
std::unique_ptr<DataSet> case_data(const Case& c, std::mt19937& rng, int& included) {
  auto data = random_data(rng, c.ns, c.nw);
  if (c.zeros) fill_zeros(*data);
  included = 0;
  for (int s = 1; s <= c.ns; ++s) {
    data->spectrum_used[s] = (s % c.used_every == 0) ? 1 : 0;
    included += data->spectrum_used[s];
    if (c.same_ph) data->ph_values[s] = 6.25f;
  }
  return data;
}

// Fits the case with kernel k on a fresh state, and a second time on the state the first
// call left, and compares each with the per-point fit.
void check_case(const Case& c, const Kernel& k, unsigned seed) {
  choose(k);
  std::mt19937 rng(seed);
  int included = 0;
  auto data = case_data(c, rng, included);
  auto fast = start_state(rng);
  fast->fit_step = static_cast<int16_t>(c.step);
  fast->used_spectra_count = static_cast<int16_t>(included);
  for (int j = 1; j <= 5; ++j) fast->ka[j] = c.pk[j - 1] == 0 ? 0.0 : std::pow(10.0, -c.pk[j - 1]);
  auto ref = std::make_unique<CalcState>(*fast);
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(std::string(c.name) + " " + k.name + " call " + std::to_string(call));
    rozrah(*data, *fast);
    rozrah_reference(*data, *ref);
    expect_identical(*fast, *ref);
  }
}

const Case kCases[] = {
    {"full_step10", 50, 1000, 10, {2.5, 4.5, 6.5, 8.5, 10.5}, 1, false},
    {"full_step1", 50, 1000, 1, {2.5, 4.5, 6.5, 8.5, 10.5}, 1, false},
    {"odd_sizes", 13, 95, 10, {3.0, 7.0, 11.0, 0, 0}, 1, false},
    {"points_fewer_than_lanes", 9, 3, 1, {4.0, 8.0, 0, 0, 0}, 1, false},
    {"one_point", 9, 1, 10, {4.0, 8.0, 0, 0, 0}, 1, false},
    {"no_points", 9, 0, 10, {4.0, 8.0, 0, 0, 0}, 1, false},
    {"step_beyond_points", 7, 9, 10, {4.0, 0, 0, 0, 0}, 1, false},
    {"one_spectrum", 1, 40, 1, {5.0, 9.0, 0, 0, 0}, 1, false},
    {"no_spectrum_included", 12, 200, 10, {4.0, 8.0, 0, 0, 0}, 100, false},
    {"every_third_included", 50, 500, 7, {3.1, 5.2, 7.3, 9.4, 11.5}, 3, false},
    {"constants_removed", 20, 300, 1, {4.0, 0, 8.0, 0, 0}, 1, false},
    {"no_constant", 10, 120, 10, {0, 0, 0, 0, 0}, 1, false},
    {"zero_pivots", 16, 200, 1, {6.0, 6.5, 0, 0, 0}, 1, true},
    {"extreme_constants", 10, 100, 1, {-3.0, 0.5, 14.0, 30.0, 60.0}, 1, false},
    {"signed_zeros", 24, 120, 1, {3.0, 6.0, 9.0, 11.0, 0}, 1, false, true},
    // Beyond the window's 50 spectra (and the 64 rows the scratch once had) and 1000 points.
    {"many_spectra", 150, 400, 10, {2.5, 4.5, 6.5, 8.5, 10.5}, 1, false},
    {"many_spectra_step1", 77, 301, 1, {3.0, 7.0, 11.0, 0, 0}, 1, false},
    {"many_points_every_second", 133, 2003, 3, {3.1, 5.2, 7.3, 9.4, 0}, 2, false},
};

// One state fits a small data set, then one larger than anything it held, then the small
// one again: it grows once, and every fit stays the per-point fit's.
TEST(FitScratch, GrowsForALargerDataSetAndStaysExact) {
  std::mt19937 rng(11);
  auto small = testing::random_data(rng, 6, 40, 0, true);
  auto large = testing::random_data(rng, 140, 1500, 0, true);
  auto fast = start_state(rng);
  fast->fit_step = 1;
  for (int j = 1; j <= 3; ++j) fast->ka[j] = std::pow(10.0, -3.0 * j);
  auto ref = std::make_unique<CalcState>(*fast);
  int call = 0;
  for (const DataSet* d : {small.get(), large.get(), small.get(), large.get()}) {
    SCOPED_TRACE(call++);
    fast->used_spectra_count = ref->used_spectra_count = d->n_spectra;
    rozrah(*d, *fast);
    rozrah_reference(*d, *ref);
    expect_identical(*fast, *ref);
    EXPECT_GE(fast->work.spectra, d->n_spectra);
    EXPECT_GE(fast->work.points, d->n_wavelengths);
  }
}

class KernelTest : public ::testing::TestWithParam<Kernel> {
 protected:
  KernelGuard guard_;
};

TEST_P(KernelTest, MatchesThePerPointFitBitForBit) {
  for (const Case& c : kCases)
    for (unsigned seed : {1u, 2u}) check_case(c, GetParam(), seed);
}

// The kernel keeps the absorbances it gathered for a grid; a change of the data, of the
// included spectra or of the grid between two calls must show in the next result.
TEST_P(KernelTest, NoticesChangedDataBetweenCalls) {
  choose(GetParam());
  // Rows of 16, 32, 51 and 78 floats: the check's last vector overlaps the one before, or
  // is the only one; and 50 spectra in rows with room for 120.
  for (const int room : {15, 31, 50, 77, 120}) {
    const int spectra = std::min(room, 50);
    SCOPED_TRACE(room);
    std::mt19937 rng(9);
    auto data = random_data(rng, spectra, 1000);
    data->reserve(room, 1000);
    auto fast = start_state(rng);
    fast->used_spectra_count = static_cast<int16_t>(spectra);
    for (int j = 1; j <= 5; ++j) fast->ka[j] = std::pow(10.0, -2.0 * j);
    auto ref = std::make_unique<CalcState>(*fast);
    const auto both = [&](const char* what) {
      SCOPED_TRACE(what);
      rozrah(*data, *fast);
      rozrah_reference(*data, *ref);
      expect_identical(*fast, *ref);
    };
    const int mid = spectra / 2 + 1;
    both("first");
    data->absorbance[1 + 10 * 37][mid] += 0.25f;  // a grid point of an included spectrum
    both("one absorbance on the grid");
    data->absorbance[1 + 10 * 99][spectra] = -data->absorbance[1 + 10 * 99][spectra];
    both("last point, last spectrum");
    data->absorbance[1 + 10 * 3][1] += 1.0f;
    both("first spectrum");
    data->absorbance[2][mid] = 7.0f;  // off the grid
    both("off the grid");
    data->spectrum_used[mid - 1] = 0;
    both("one spectrum excluded");
    data->spectrum_used[mid - 1] = 1;
    data->absorbance[1 + 10 * 5][mid - 1] = 3.0f;
    both("included again with new data");
    fast->fit_step = ref->fit_step = 7;
    both("another step");
    data->n_wavelengths = 999;
    both("another number of points");
  }
}

// Two trials fitted side by side, each against the per-point fit; the second's constants are
// the case's moved by 0.37 (a removed constant stays removed).
void check_pair_case(const Case& c, const Kernel& k, unsigned seed, int step_b) {
  choose(k);
  std::mt19937 rng(seed);
  int included = 0;
  auto data = case_data(c, rng, included);
  auto a = start_state(rng);
  auto b = start_state(rng);
  a->fit_step = static_cast<int16_t>(c.step);
  b->fit_step = static_cast<int16_t>(step_b);
  for (CalcState* x : {a.get(), b.get()}) x->used_spectra_count = static_cast<int16_t>(included);
  for (int j = 1; j <= 5; ++j) {
    const double pk = c.pk[j - 1];
    a->ka[j] = pk == 0 ? 0.0 : std::pow(10.0, -pk);
    b->ka[j] = pk == 0 ? 0.0 : std::pow(10.0, -(pk + 0.37));
  }
  auto ref_a = std::make_unique<CalcState>(*a);
  auto ref_b = std::make_unique<CalcState>(*b);
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(std::string(c.name) + " " + k.name + " pair, step " + std::to_string(step_b) +
                 ", call " + std::to_string(call));
    rozrah_pair(*data, *a, *b);
    rozrah_reference(*data, *ref_a);
    rozrah_reference(*data, *ref_b);
    expect_identical(*a, *ref_a);
    expect_identical(*b, *ref_b);
  }
}

TEST_P(KernelTest, PairsMatchThePerPointFitBitForBit) {
  for (const Case& c : kCases) {
    check_pair_case(c, GetParam(), 3, c.step);
    check_pair_case(c, GetParam(), 4, c.step + 3);  // grids differ: one after the other
  }
}

// A pair uses and checks the first state's absorbances only; each state must still notice
// changed data, in pairs and alone, whichever state gathered last.
TEST_P(KernelTest, PairsNoticeChangedDataBetweenCalls) {
  choose(GetParam());
  std::mt19937 rng(11);
  auto data = random_data(rng, 50, 1000);
  auto a = start_state(rng);
  auto b = start_state(rng);
  for (int j = 1; j <= 5; ++j) {
    a->ka[j] = std::pow(10.0, -2.0 * j);
    b->ka[j] = std::pow(10.0, -2.0 * j - 0.5);
  }
  a->used_spectra_count = b->used_spectra_count = 50;
  auto ref_a = std::make_unique<CalcState>(*a);
  auto ref_b = std::make_unique<CalcState>(*b);
  const auto check = [&](const char* what, bool pair, bool b_first) {
    SCOPED_TRACE(what);
    CalcState& x = b_first ? *b : *a;
    CalcState& y = b_first ? *a : *b;
    if (pair) {
      rozrah_pair(*data, x, y);
    } else {
      rozrah(*data, x);
      rozrah(*data, y);
    }
    rozrah_reference(*data, *ref_a);
    rozrah_reference(*data, *ref_b);
    expect_identical(*a, *ref_a);
    expect_identical(*b, *ref_b);
  };
  check("alone", false, false);
  data->absorbance[1 + 10 * 40][7] += 0.5f;
  check("pair after a change", true, false);
  data->absorbance[1 + 10 * 3][44] -= 0.25f;
  check("pair led by the other state", true, true);
  data->absorbance[1 + 10 * 99][1] = 2.0f;
  check("alone after pairs", false, true);
  data->spectrum_used[9] = 0;
  check("one spectrum excluded", true, false);
  rozrah_pair(*data, *a, *a);  // one state twice: two fits one after the other
  rozrah_reference(*data, *ref_a);
  rozrah_reference(*data, *ref_a);
  expect_identical(*a, *ref_a);
}

INSTANTIATE_TEST_SUITE_P(Runnable, KernelTest, ::testing::ValuesIn(runnable_kernels()),
                         [](const auto& info) { return info.param.name; });

TEST(FitKernels, BaselineRunsEverywhereAndTheBestIsRunnable) {
  EXPECT_TRUE(fit_kernel_supported(FitKernel::portable));
#if defined(__x86_64__)
  EXPECT_TRUE(fit_kernel_supported(FitKernel::sse2));
#endif
  EXPECT_TRUE(fit_kernel_supported(best_fit_kernel()));
  for (FitKernel k : kFitKernels) {
    if (fit_kernel_supported(k)) {
      EXPECT_GE(static_cast<int>(best_fit_kernel()), static_cast<int>(k));
    }
  }
}

TEST(FitKernels, NamesAreTheEnvironmentValues) {
  EXPECT_STREQ(fit_kernel_name(FitKernel::portable), "portable");
  EXPECT_STREQ(fit_kernel_name(FitKernel::sse2), "sse2");
  EXPECT_STREQ(fit_kernel_name(FitKernel::avx2), "avx2");
  EXPECT_STREQ(fit_kernel_name(FitKernel::avx512), "avx512");
}

TEST(FitKernels, ForcingAKernelTheProcessorLacksFallsBackToTheBest) {
  KernelGuard guard;
  for (FitKernel k : kFitKernels) {
    const FitKernel chosen = select_fit_kernel(k);
    EXPECT_EQ(chosen, fit_kernel_supported(k) ? k : best_fit_kernel()) << fit_kernel_name(k);
    EXPECT_EQ(fit_kernel(), chosen);
    EXPECT_STREQ(fit_kernel_name(), fit_kernel_name(chosen));
  }
}

// Sets FEROLAN_KERNEL for one test and puts back what was there.
class EnvironmentKernel {
 public:
  EnvironmentKernel() {
    if (const char* v = std::getenv("FEROLAN_KERNEL")) saved_ = v, had_ = true;
  }
  ~EnvironmentKernel() {
    if (had_)
      setenv("FEROLAN_KERNEL", saved_.c_str(), 1);
    else
      unsetenv("FEROLAN_KERNEL");
    select_fit_kernel_from_env();
  }

 private:
  std::string saved_;
  bool had_ = false;
};

TEST(FitKernels, TheEnvironmentVariableForcesEachKernelOrFallsBack) {
  EnvironmentKernel env;
  struct Want {
    const char* value;  // nullptr = unset
    FitKernel kernel;   // what it asks for; best = any other value
    bool names_one;
  };
  const Want wants[] = {
      {"portable", FitKernel::portable, true}, {"sse2", FitKernel::sse2, true},
      {"avx2", FitKernel::avx2, true},         {"avx512", FitKernel::avx512, true},
      {nullptr, FitKernel::sse2, false},       {"", FitKernel::sse2, false},
      {"AVX2", FitKernel::sse2, false},        {"neon", FitKernel::sse2, false},
  };
  for (const Want& w : wants) {
    if (w.value)
      setenv("FEROLAN_KERNEL", w.value, 1);
    else
      unsetenv("FEROLAN_KERNEL");
    const FitKernel expected =
        w.names_one && fit_kernel_supported(w.kernel) ? w.kernel : best_fit_kernel();
    EXPECT_EQ(select_fit_kernel_from_env(), expected) << (w.value ? w.value : "(unset)");
    EXPECT_EQ(fit_kernel(), expected);
    // Whatever was chosen fits like the per-point algorithm.
    check_case(kCases[2], {fit_kernel_name(), fit_kernel(), nullptr}, 5);
  }
}

}  // namespace
}  // namespace ferolan
