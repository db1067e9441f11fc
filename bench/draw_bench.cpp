// A full redraw of both spectra plots at the largest data set (50 spectra × 1000 points):
// the forms' spectra (which redraw the measured ones) and the calculated spectra, onto a
// canvas that only counts, so the figure is the core's own cost.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "engine/data/state.h"
#include "engine/import/import.h"
#include "engine/model/fit.h"
#include "window/platform/canvas.h"
#include "window/view/plots.h"

namespace {

using namespace ferolan;

struct CountingCanvas : Canvas {
  long ops = 0;
  double sum = 0;  // keeps the coordinates alive
  void clear() override { ++ops; }
  void point(double x, double y, int) override { ++ops, sum += x + y; }
  void line_to(double x, double y, int) override { ++ops, sum += x + y; }
  void set_scale(double, double, double, double) override {}
};

std::unique_ptr<State> full_state() {
  auto st = std::make_unique<State>();
  DataSet& d = st->data;
  d.resize(kWindowSpectra, kWindowPoints);
  size_fit(d, st->calc);
  for (int w = 1; w <= kWindowPoints; ++w) {
    d.wavelengths[w] = static_cast<int16_t>(199 + w);
    for (int s = 1; s <= kWindowSpectra; ++s)
      d.absorbance[w][s] = static_cast<float>(0.5 + 0.4 * std::sin(w * 0.01 + s * 0.1));
    for (int j = 1; j <= kForms; ++j)
      st->calc.eps_forms[w][j] = static_cast<float>(8000 + 5000 * std::cos(w * 0.004 * j));
  }
  for (int s = 1; s <= kWindowSpectra; ++s) {
    d.spectrum_used[s] = 1;
    for (int j = 1; j <= kForms; ++j) st->calc.form_conc[s][j] = 1e-5f / j;
  }
  d.a_max = 0.9;
  return st;
}

void BM_FullRedraw(benchmark::State& state) {
  auto st = full_state();
  CountingCanvas spectrs, pict_e;
  PlotView view;
  for (auto _ : state) {
    vyvid_spectriv_form(st->data, view, st->calc, spectrs, pict_e);
    vyvid_rozrahovanyh_spectriv(st->data, view, st->calc, spectrs);
    benchmark::DoNotOptimize(spectrs.sum + pict_e.sum);
  }
  state.counters["ops"] = static_cast<double>(spectrs.ops + pict_e.ops) / state.iterations();
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMillisecond);

}  // namespace
