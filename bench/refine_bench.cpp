// The least-squares refinement and the joint fit, timed on the sizes the batch tool meets:
// five constants on 50 spectra × 1000 points, three titrations of 25 × 451.
//   cmake --build build --target refine_bench && build/bench/refine_bench
#include <benchmark/benchmark.h>

#include <memory>

#include "bench_data.h"
#include "engine/analysis/global_fit.h"
#include "support/synthetic_data.h"

namespace {

using namespace ferolan;

SlotModes fitted(int k) {
  SlotModes m{};
  for (int j = 1; j <= kSlots; ++j) m[j] = j <= k ? SlotMode::Fitted : SlotMode::Removed;
  return m;
}

// From 0.05 off every constant, as after a search on the 0.01 grid and a bit more.
void BM_Refine5Constants50x1000(benchmark::State& state) {
  const testing::AcidRecipe recipe = bench::five_constant_recipe();
  auto data = std::make_unique<DataSet>(testing::make_acid_data(recipe));
  for (int s = 1; s <= data->n_spectra; ++s) data->spectrum_used[s] = 1;  // as the import does
  Arr1<double, kSlots> start{};
  for (int k = 1; k <= kSlots; ++k) start[k] = recipe.pka[k - 1] + (k % 2 ? 0.05 : -0.05);
  int iterations = 0;
  for (auto _ : state) {
    const analysis::RefineResult r = analysis::refine(*data, fitted(5), start);
    if (r.status != analysis::RefineStatus::Converged) state.SkipWithError("not converged");
    iterations = r.iterations;
  }
  state.counters["iterations"] = iterations;
}
BENCHMARK(BM_Refine5Constants50x1000)->Unit(benchmark::kMillisecond);

void BM_Global3x25x451(benchmark::State& state) {
  std::vector<analysis::Titration> ts;
  for (uint32_t seed : {1u, 2u, 3u}) {
    testing::SyntheticRecipe recipe;
    recipe.pk = {4.75, 8.2};
    recipe.spectra = 25;
    recipe.ph_lo = 1.5;
    recipe.ph_hi = 12.3;
    recipe.points = 451;
    recipe.wl_first = 250;
    recipe.wl_step = 1;
    recipe.noise = 0.0015;
    recipe.seed = seed;
    ts.push_back(analysis::titration_of(*testing::make_synthetic(recipe).data));
  }
  Arr1<double, kSlots> start{};
  start[1] = 4.75;
  start[2] = 8.2;
  for (auto _ : state) {
    const analysis::GlobalFit g = analysis::global_fit(ts, fitted(2), start);
    if (g.fit.status != analysis::RefineStatus::Converged) state.SkipWithError("not converged");
  }
}
BENCHMARK(BM_Global3x25x451)->Unit(benchmark::kMillisecond);

}  // namespace
