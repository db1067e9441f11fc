// The fit of one trial, with each vector kernel this processor runs and per point, on the
// largest data set with all five constants.
//   cmake -S . -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build --target fit_bench
//   build/bench/fit_bench
// It names the kernel the program would choose and, after the table, prints each kernel's
// time beside the per-point fit's at each fit_step, alone and with two trials fitted side by
// side (as the optimisation scores its planned sweeps).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include "cpu_time_reporter.h"
#include "engine/model/fit.h"
#include "engine/model/fit_kernels.h"
#include "support/fit_reference.h"

namespace {

using namespace ferolan;

// The largest data set the window reads.
constexpr int kSpectra = 50, kPoints = 1000;

struct Bench {
  std::unique_ptr<DataSet> data = std::make_unique<DataSet>();
  std::unique_ptr<CalcState> calc = std::make_unique<CalcState>();
  std::unique_ptr<CalcState> beside = std::make_unique<CalcState>();  // the other of a pair

  Bench() {
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 0.002);
    data->acid_conc = 1e-4f;
    data->resize(kSpectra, kPoints);
    for (int s = 1; s <= kSpectra; ++s) {
      data->ph_values[s] = 1.0f + 0.24f * static_cast<float>(s - 1);
      data->spectrum_used[s] = 1;
    }
    calc->used_spectra_count = kSpectra;
    const double pk[6] = {0, 2.5, 4.5, 6.5, 8.5, 10.5};
    for (int k = 1; k <= kSlots; ++k) calc->ka[k] = std::pow(10.0, -pk[k]);
    calc->fit_step = 1;
    rozrah(*data, *calc);  // concentrations of the true set
    for (int w = 1; w <= kPoints; ++w) {
      data->wavelengths[w] = static_cast<int16_t>(200 + w / 2);
      for (int s = 1; s <= kSpectra; ++s) {
        double a = noise(rng);
        for (int j = 1; j <= kForms; ++j) {
          const double x = (w - 150.0 * j) / 120.0;
          a += calc->form_conc[s][j] * 8000.0 * j * std::exp(-x * x);
        }
        data->absorbance[w][s] = static_cast<float>(a);
      }
    }
    for (int k = 1; k <= kSlots; ++k) calc->ka[k] = std::pow(10.0, -(pk[k] + 0.03 * k));
    *beside = *calc;
    for (int k = 1; k <= kSlots; ++k) beside->ka[k] = std::pow(10.0, -(pk[k] - 0.02 * k));
  }
};

Bench& bench() {
  static Bench b;
  return b;
}

void BM_rozrah(benchmark::State& state, FitKernel kernel) {
  Bench& b = bench();
  select_fit_kernel(kernel);
  b.calc->fit_step = static_cast<int16_t>(state.range(0));
  for (auto _ : state) {
    rozrah(*b.data, *b.calc);
    benchmark::DoNotOptimize(b.calc->s_a_sq);
  }
  select_fit_kernel_from_env();
}

// Two trials per iteration, fitted side by side.
void BM_rozrah_pair(benchmark::State& state, FitKernel kernel) {
  Bench& b = bench();
  select_fit_kernel(kernel);
  b.calc->fit_step = b.beside->fit_step = static_cast<int16_t>(state.range(0));
  for (auto _ : state) {
    rozrah_pair(*b.data, *b.calc, *b.beside);
    benchmark::DoNotOptimize(b.beside->s_a_sq);
  }
  select_fit_kernel_from_env();
}

void BM_rozrah_reference(benchmark::State& state) {
  Bench& b = bench();
  b.calc->fit_step = static_cast<int16_t>(state.range(0));
  for (auto _ : state) {
    testing::rozrah_reference(*b.data, *b.calc);
    benchmark::DoNotOptimize(b.calc->s_a_sq);
  }
}

void BM_systema(benchmark::State& state) {
  Bench& b = bench();
  b.calc->fit_step = 1;
  testing::rozrah_reference(*b.data, *b.calc);  // a realistic normal matrix
  CalcState& c = *b.calc;
  std::array<std::array<double, kForms + 1>, kForms + 1> m{};
  std::array<double, kForms + 1> rhs{};
  for (int i = 1; i <= kForms; ++i) {
    rhs[i] = 0.01 * i;
    for (int j = i; j <= kForms; ++j) m[i][j] = m[j][i] = 1e-9 * (1 + (i == j)) / (i + j);
  }
  for (auto _ : state) {
    c.norm_matrix = m;
    c.norm_rhs = rhs;
    c.system_size = kForms;
    systema(c);
    benchmark::DoNotOptimize(c.lsq_solution);
  }
}

BENCHMARK(BM_rozrah_reference)->Arg(10)->Arg(1)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_systema)->Unit(benchmark::kNanosecond);

// The shortest time per call over many short batches: on a shared machine the mean also
// counts other processes' use of the caches and the core, the minimum hardly.
template <class Fit>
double best_seconds(Fit fit, int batches, int calls) {
  double best = 1e9;
  for (int b = 0; b < batches; ++b) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < calls; ++i) fit();
    const std::chrono::duration<double> t = std::chrono::steady_clock::now() - t0;
    best = std::min(best, t.count() / calls);
  }
  return best;
}

void print_best_times() {
  Bench& b = bench();
  for (int step : {10, 1}) {
    b.calc->fit_step = static_cast<int16_t>(step);
    const int calls = step == 1 ? 2 : 20;
    const double ref = best_seconds([&] { testing::rozrah_reference(*b.data, *b.calc); }, 100, 1);
    std::printf("fit_step %2d, best of batches: per point %.1f us", step, ref * 1e6);
    for (FitKernel k : kFitKernels) {
      if (!fit_kernel_supported(k)) continue;
      select_fit_kernel(k);
      const double t = best_seconds([&] { rozrah(*b.data, *b.calc); }, 1000, calls);
      std::printf(", %s %.2f us (%.1fx)", fit_kernel_name(k), t * 1e6, ref / t);
    }
    std::printf("\n           two at a time, per trial:");
    b.beside->fit_step = b.calc->fit_step;
    for (FitKernel k : kFitKernels) {
      if (!fit_kernel_supported(k)) continue;
      select_fit_kernel(k);
      const double t =
          best_seconds([&] { rozrah_pair(*b.data, *b.calc, *b.beside); }, 1000, calls) / 2;
      std::printf(" %s %.2f us (%.1fx)", fit_kernel_name(k), t * 1e6, ref / t);
    }
    std::printf("\n");
  }
  select_fit_kernel_from_env();
}

}  // namespace

int main(int argc, char** argv) {
  std::printf("fit kernel chosen here: %s (FEROLAN_KERNEL=portable|sse2|avx2|avx512 forces one)\n",
              fit_kernel_name());
  for (FitKernel k : kFitKernels) {
    if (!fit_kernel_supported(k)) {
      std::printf("fit kernel %s: not offered by this processor\n", fit_kernel_name(k));
      continue;
    }
    benchmark::RegisterBenchmark((std::string("BM_rozrah_") + fit_kernel_name(k)).c_str(),
                                 BM_rozrah, k)
        ->Arg(10)
        ->Arg(1)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("BM_rozrah_pair_") + fit_kernel_name(k)).c_str(),
                                 BM_rozrah_pair, k)
        ->Arg(10)
        ->Arg(1)
        ->Unit(benchmark::kMicrosecond);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::CpuTimeReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (const char* step : {"10", "1"}) {
    const auto ref = reporter.seconds.find(std::string("BM_rozrah_reference/") + step);
    if (ref == reporter.seconds.end()) continue;
    std::printf("fit_step %2s: per point %.1f us", step, ref->second * 1e6);
    for (FitKernel k : kFitKernels) {
      const auto fast =
          reporter.seconds.find(std::string("BM_rozrah_") + fit_kernel_name(k) + "/" + step);
      if (fast == reporter.seconds.end()) continue;
      std::printf(", %s %.2f us (%.1fx)", fit_kernel_name(k), fast->second * 1e6,
                  ref->second / fast->second);
    }
    std::printf(" (mean CPU time)\n           two at a time, per trial:");
    for (FitKernel k : kFitKernels) {
      const auto pair =
          reporter.seconds.find(std::string("BM_rozrah_pair_") + fit_kernel_name(k) + "/" + step);
      if (pair == reporter.seconds.end()) continue;
      std::printf(" %s %.2f us (%.1fx)", fit_kernel_name(k), pair->second / 2 * 1e6,
                  ref->second / (pair->second / 2));
    }
    std::printf("\n");
  }
  print_best_times();
  benchmark::Shutdown();
  return 0;
}
