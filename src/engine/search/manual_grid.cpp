// The manual grid: every combination over the ranges and steps of the setup.
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/model/fit.h"
#include "engine/model/uncertainty.h"
#include "engine/search/grid_scan.h"
#include "engine/search/run.h"

namespace ferolan {

namespace {

struct ManualScan : GridScan {
  using GridScan::GridScan;
  bool have_best = false;
  int32_t planned = 0;
  long done = 0;

  std::optional<Refusal> plan();
  void trial() override;
};

// The number of planned combinations; a grid beyond a 32-bit count is refused.
std::optional<Refusal> ManualScan::plan() {
  double n = 1;
  for (int k = 1; k <= kSlots; ++k) {
    n *= std::floor((end[k] - start[k]) / step[k]) + 1;
    if (n > std::numeric_limits<int32_t>::max()) return Refusal{Msg::Step, k};
  }
  planned = static_cast<int32_t>(n);
  return std::nullopt;
}

void ManualScan::trial() {
  SearchState& s = w.search;
  if (stop_requested(w)) {
    stopped = true;
    return;
  }
  s.pk = p;
  obs.trying(Shown{s.pk, w.calc.ka, w.calc});
  ++done;
  const int len = static_cast<int>(std::floor(28.0 * done / planned));
  if (len > progress_len) {
    progress_len = len;
    obs.progress(len);
    yield_to(w, obs);
  }
  if (!score()) return;
  if (accept_trial(w.calc)) {
    best = p;
    have_best = true;
    const double thinned = w.calc.s_a_sq;
    full_fit(w.data, w.calc);
    obs.best(BestKind::ManualGrid, thinned, Shown{w.search.pk, w.calc.ka, w.calc});
  }
}

}  // namespace

SearchResult manual_grid(Workspace w, const ModelSetup& setup, SearchObserver& obs) {
  SearchState& s = w.search;
  CalcState& c = w.calc;
  RunRecord run(w);
  const SlotModes modes = setup.modes();
  if (auto r = start_grid(w, modes)) return run.refused(*r);
  const Arr1<double, kSlots> ka_before = c.ka;
  if (auto r = check_setup(SearchKind::ManualGrid, setup, c, s)) return run.refused(*r);
  ManualScan g{w, obs};
  for (int k = 1; k <= kSlots; ++k) {
    const SlotSetup& slot = setup.slot[k];
    if (modes[k] == SlotMode::Removed) {
      g.start[k] = g.end[k] = g.step[k] = 1;
    } else if (modes[k] == SlotMode::Held) {
      g.start[k] = g.end[k] = slot.value;
      g.step[k] = 1;
    } else {
      g.start[k] = slot.start;
      g.end[k] = slot.end;
      g.step[k] = slot.step;
    }
  }
  if (auto r = g.plan()) return run.refused(*r);
  if (auto r = data_problem(w.data)) return run.refused(*r);
  c.s_a_sq_best = 1e20f;
  g.slot(1);
  if (!g.stopped) obs.elapsed();
  if (g.unfit || !g.have_best) {
    // Nothing was scored: the constants stay as they were.
    c.ka = ka_before;
    return g.unfit ? run.refused(*g.unfit) : run.nothing_scored();
  }
  for (int k = 1; k <= kSlots; ++k)
    if (c.ka[k] > 0) c.ka[k] = ka_of(g.best[k]);
  full_fit(w.data, c);
  obs.grid_best_fitted(Shown{g.best, c.ka, c});
  s.pk_best = g.best;
  pohybka(w.data, c, s, modes);
  return run.finished(g.stopped, modes);
}

}  // namespace ferolan
