// The window's share of a search on the 50 × 1000 five-constant data set: one yield with no
// events pending against one thinned trial (fit_step 10), and the manual and automatic grid
// in an offscreen window against the same searches in the core alone.
//   cmake --build build --target window_bench && build/bench/window_bench
// Offscreen unless QT_QPA_PLATFORM names another platform (xcb under Xvfb, say).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <string>

#include "bench_data.h"
#include "cpu_time_reporter.h"
#include "engine/model/fit.h"
#include "qt/main_window.h"
#include "qt/pictures.h"
#include "qt/qt_canvas.h"
#include "qt/qt_platform.h"
#include "support/test_module.h"
#include "window/search/run_control.h"
#include "window/search/searches.h"
#include "window/ui/events.h"

namespace {

using namespace ferolan;

const DataSet& data() {
  static const auto d =
      std::make_unique<DataSet>(testing::make_acid_data(bench::five_constant_recipe()));
  return *d;
}

// The window program as main() builds it, with the data set loaded through its button.
struct Window {
  QtPlatform pf;
  QtCanvas spectrs{spectrs_background()}, pict_e{pict_e_background()},
      picture1{picture1_background()};
  Module m{pf, spectrs, pict_e, picture1};
  std::unique_ptr<MainWindow> window;

  Window() {
    form_load(m.state, m.ui);
    window = std::make_unique<MainWindow>(m, spectrs, pict_e, picture1);
    window->set_close_action([] {});
    pf.set_window(window.get());
    pf.set_unattended(true);
    window->show();
    QApplication::processEvents();
    static QTemporaryDir dir;
    static const bool written = [] {
      QFile f(dir.filePath("data.mdf"));
      const std::string text = bench::mdf_text(data());
      return f.open(QIODevice::WriteOnly) &&
             f.write(text.data(), static_cast<qint64>(text.size())) ==
                 static_cast<qint64>(text.size());
    }();
    if (!written) return;
    const QString old = QDir::currentPath();
    QDir::setCurrent(dir.path());
    on_click(m, m.ui.load);
    QDir::setCurrent(old);
    window->sync_widgets();
    QApplication::processEvents();
  }
};

void BM_Yield(benchmark::State& state) {
  Window w;
  for (auto _ : state) w.pf.yield();
}
BENCHMARK(BM_Yield);

// What a yield cost before: one pass of the event loop at every call.
void BM_ProcessEvents(benchmark::State& state) {
  Window w;
  for (auto _ : state) QCoreApplication::processEvents();
}
BENCHMARK(BM_ProcessEvents);

// One screen update of the manual grid: the five Ka labels and the elapsed time.
void BM_ControlsFrame(benchmark::State& state) {
  Window w;
  w.m.running = true;
  int i = 0;
  for (auto _ : state) {
    ++i;
    for (int k = 1; k <= kSlots; ++k)
      w.m.ui.set_text(w.m.ui.Lab_K[k], std::to_string(i) + ".00e-0" + std::to_string(k));
    w.m.ui.set_text(w.m.ui.Lab_chas, std::to_string(i % 100) + ".0");
    w.window->sync_widgets();
    QApplication::processEvents();
  }
  w.m.running = false;
}
BENCHMARK(BM_ControlsFrame)->Unit(benchmark::kMicrosecond);

void BM_ThinnedTrial(benchmark::State& state) {
  testing::TestModule t;
  testing::load_data(*t, data());
  CalcState& c = t->state.calc;
  chy_dostatno_spektriv(t->state.data, slot_modes(t->ui), c);
  const double pk[] = {0, 2.6, 4.4, 6.6, 8.4, 10.6};
  for (int k = 1; k <= kSlots; ++k) c.ka[k] = std::pow(10.0, -pk[k]);
  c.fit_step = 10;
  for (auto _ : state) {
    rozrah(t->state.data, c);
    benchmark::DoNotOptimize(c.s_a_sq);
  }
}
BENCHMARK(BM_ThinnedTrial)->Unit(benchmark::kMicrosecond);

enum Search { kManual, kAuto };

void run(Module& m, Search s) {
  on_click(m, s == kManual ? m.ui.Command6 : m.ui.Command9);
}

void BM_WindowSearch(benchmark::State& state) {
  const Search s = static_cast<Search>(state.range(0));
  long trials = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>();
    state.ResumeTiming();
    run(w->m, s);
    w->window->sync_widgets();
    QApplication::processEvents();
    trials += w->m.state.search.trials;
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
  state.counters["trials"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_WindowSearch)
    ->ArgName("search")
    ->Arg(kManual)
    ->Arg(kAuto)
    ->Unit(benchmark::kMillisecond);

void BM_CoreSearch(benchmark::State& state) {
  const Search s = static_cast<Search>(state.range(0));
  long trials = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto t = std::make_unique<testing::TestModule>();
    t->pf.files["data.mdf"] = bench::mdf_text(data());
    on_click(**t, (*t)->ui.load);
    state.ResumeTiming();
    run(**t, s);
    trials += (*t)->state.search.trials;
  }
  state.counters["trials"] =
      benchmark::Counter(static_cast<double>(trials), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_CoreSearch)
    ->ArgName("search")
    ->Arg(kManual)
    ->Arg(kAuto)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bench::CpuTimeReporter r;
  benchmark::RunSpecifiedBenchmarks(&r);
  const double yield = r.get("BM_Yield"), trial = r.get("BM_ThinnedTrial");
  if (yield > 0 && trial > 0)
    std::printf(
        "yield %.1f ns = %.1f %% of a thinned trial (%.2f us); an event loop pass %.2f us\n",
        yield * 1e9, 100 * yield / trial, trial * 1e6, r.get("BM_ProcessEvents") * 1e6);
  for (const char* s : {"0", "1"}) {
    const double window = r.get(std::string("BM_WindowSearch/search:") + s);
    const double core = r.get(std::string("BM_CoreSearch/search:") + s);
    if (window > 0 && core > 0)
      std::printf("%s grid: window %.0f ms, core %.0f ms (CPU), %.2fx\n",
                  *s == '0' ? "manual" : "automatic", window * 1e3, core * 1e3, window / core);
  }
  benchmark::Shutdown();
  return 0;
}
