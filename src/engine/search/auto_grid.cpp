// The automatic grid: passes over 1..13 in steps of 3, each narrowed around the best point
// with half the step, then the optimisation sweeps polish the result.
#include "engine/model/fit.h"
#include "engine/model/uncertainty.h"
#include "engine/search/grid_scan.h"
#include "engine/search/run.h"

namespace ferolan {

namespace {

constexpr float kNotScanned = 10;  // step of a held or removed slot
constexpr float kStopMark = 0.0001f;
constexpr int kLongestBar = 32766;

struct AutoScan : GridScan {
  using GridScan::GridScan;
  bool any_stop = false;

  void pass();
  void trial() override;
  void end_of_pass();
  bool finished() const;
  void narrow();
  void grow_bar();
};

void AutoScan::grow_bar() {
  if (progress_len < kLongestBar) progress_len += 2;
  obs.progress(progress_len);
}

void AutoScan::pass() {
  stopped = false;
  slot(1);
  if (!stopped) obs.elapsed();
}

void AutoScan::trial() {
  SearchState& s = w.search;
  if (stop_requested(w)) {
    step[1] = kStopMark;
    stopped = any_stop = true;
    return;
  }
  if (!score()) return;
  if (accept_trial(w.calc)) {
    best = p;
    s.pk = p;
    const double thinned = w.calc.s_a_sq;
    full_fit(w.data, w.calc);
    obs.best(BestKind::AutoGrid, thinned, Shown{s.pk, w.calc.ka, w.calc});
  }
}

void AutoScan::end_of_pass() {
  CalcState& c = w.calc;
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) c.ka[k] = ka_of(best[k]);
  full_fit(w.data, c);
  obs.grid_best_fitted(Shown{best, c.ka, c});
  grow_bar();
  yield_to(w, obs);
}

bool AutoScan::finished() const {
  for (int k = 1; k <= kSlots; ++k)
    if (step[k] < 0.002f) return true;
  return false;
}

void AutoScan::narrow() {
  for (int k = 1; k <= kSlots; ++k) {
    if (!(step[k] < kNotScanned)) continue;
    start[k] = best[k] - step[k];
    end[k] = best[k] + step[k];
    step[k] = step[k] / 2;
  }
  obs.grid_ranges(start, end, step);
}

}  // namespace

SearchResult auto_grid(Workspace w, const ModelSetup& setup, SearchObserver& obs) {
  SearchState& s = w.search;
  CalcState& c = w.calc;
  RunRecord run(w);
  const SlotModes modes = setup.modes();
  if (auto r = start_grid(w, modes)) return run.refused(*r);
  c.used_spectra_count = static_cast<int16_t>(count_used_spectra(w.data));
  if (auto r = check_setup(SearchKind::AutoGrid, setup, c, s)) return run.refused(*r);
  AutoScan g{w, obs};
  for (int k = 1; k <= kSlots; ++k) {
    if (modes[k] == SlotMode::Removed) {
      g.start[k] = g.end[k] = 10;
      g.step[k] = kNotScanned;
    } else if (modes[k] == SlotMode::Held) {
      g.start[k] = g.end[k] = setup.slot[k].value;
      g.step[k] = kNotScanned;
    } else {
      g.start[k] = 1;
      g.end[k] = 13;
      g.step[k] = 3;
    }
  }
  obs.grid_ranges(g.start, g.end, g.step);
  if (auto r = data_problem(w.data)) return run.refused(*r);
  c.s_a_sq_best = 1e20f;
  g.grow_bar();
  yield_to(w, obs);

  for (;;) {
    g.pass();
    if (g.unfit) return run.refused(*g.unfit);
    g.end_of_pass();
    if (g.finished()) break;
    g.narrow();
  }

  s.pk_best = g.best;
  obs.progress(3);
  Arr1<float, kSlots> rounded{};
  for (int k = 1; k <= kSlots; ++k) rounded[k] = round_to_box(g.best[k]);
  const Arr1<float, kSlots> from = obs.final_start_values(g.best, rounded);
  ModelSetup final_setup = setup;
  for (int k = 1; k <= kSlots; ++k) final_setup.slot[k].value = from[k];
  if (auto r = check_setup(SearchKind::Optimisation, final_setup, c, s)) return run.refused(*r);
  Arr1<float, kSlots> base_pk = s.pk;
  rozrah(w.data, c);
  s.step_factor = 1.1f;
  c.s_a_sq_best = static_cast<float>(c.s_a_sq);
  full_fit(w.data, c);
  obs.best(BestKind::AutoFinalStart, 0, Shown{s.pk, c.ka, c});
  const bool stopped = optimisation_sweeps(w, obs, base_pk, 1.0f, 3);
  s.pk_best = base_pk;
  pohybka(w.data, c, s, modes);
  return run.finished(stopped || g.any_stop, modes);
}

}  // namespace ferolan
