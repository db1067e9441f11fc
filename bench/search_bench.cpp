// The three searches without the window: trials per second on the largest data set
// (50 spectra × 1000 points) and the wall time of each search on examples/data.mdf.
// The fake platform's yield does nothing, so the figures are the core's own cost.
#include <benchmark/benchmark.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "engine/import/import.h"
#include "support/acid_spectra.h"
#include "support/search_setup.h"
#include "support/test_module.h"
#include "window/search/searches.h"
#include "window/ui/import_buttons.h"

namespace {

using namespace ferolan;
using namespace ferolan::testing;

const DataSet& largest() {
  static const std::unique_ptr<DataSet> d = [] {
    AcidRecipe recipe;
    recipe.pka = {4.2, 7.1};
    recipe.n_spectra = kWindowSpectra;
    recipe.n_points = kWindowPoints;
    recipe.wl_first = 200;
    recipe.wl_step = 1;
    recipe.noise = 0.002;
    return std::make_unique<DataSet>(make_acid_data(recipe));
  }();
  return *d;
}

enum Search { kOptimisation, kOptimisationFinest, kManual, kAuto };

void setup(Module& m, Search s) {
  set_slots(m, {{'f', "4.6"}, {'f', "6.6"}});
  if (s == kOptimisationFinest) m.ui.set_checked(m.ui.Option1[3], true);
  set_range(m, 1, "3.5", "5", "0.1");
  set_range(m, 2, "6.5", "8", "0.1");
}

void run(Module& m, Search s) {
  if (s == kManual)
    Command6_Click(m);
  else if (s == kAuto)
    Command9_Click(m);
  else
    Command2_Click(m);
}

void BM_Largest(benchmark::State& state) {
  const Search s = static_cast<Search>(state.range(0));
  long trials = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TestModule t;
    load_data(*t, largest());
    setup(*t, s);
    state.ResumeTiming();
    run(*t, s);
    trials += t->state.search.trials;
  }
  state.counters["trials"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kAvgIterations);
  state.counters["trials/s"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Largest)
    ->ArgName("search")
    ->Arg(kOptimisation)
    ->Arg(kOptimisationFinest)
    ->Arg(kManual)
    ->Arg(kAuto)
    ->Unit(benchmark::kMillisecond);

std::string example_text() {
  std::string path = __FILE__;
  path = path.substr(0, path.rfind('/')) + "/../examples/data.mdf";
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The example is a diprotic acid: slots 1 and 2 fitted, 3..5 removed.
void BM_Example(benchmark::State& state) {
  const Search s = static_cast<Search>(state.range(0));
  const std::string text = example_text();
  if (text.empty()) return state.SkipWithError("examples/data.mdf not found");
  long trials = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TestModule t;
    t.pf.files["data.mdf"] = text;
    load_Click(*t);
    set_slots(*t, {{'f', "4"}, {'f', "9"}});
    if (s == kOptimisationFinest) t->ui.set_checked(t->ui.Option1[3], true);
    set_range(*t, 1, "3", "5", "0.1");
    set_range(*t, 2, "8", "10", "0.1");
    state.ResumeTiming();
    run(*t, s);
    trials += t->state.search.trials;
    state.PauseTiming();
    state.SetLabel(t->ui.txt_pK[1].text + "  " + t->ui.txt_pK[2].text);
    state.ResumeTiming();
  }
  state.counters["trials"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Example)
    ->ArgName("search")
    ->Arg(kOptimisation)
    ->Arg(kOptimisationFinest)
    ->Arg(kManual)
    ->Arg(kAuto)
    ->Unit(benchmark::kMillisecond);

}  // namespace
