// The optimisation: a multiplicative pattern search around the start values.
#include <algorithm>
#include <cmath>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "engine/model/fit.h"
#include "engine/model/uncertainty.h"
#include "engine/search/run.h"
#include "engine/search/workspace.h"

namespace ferolan {

namespace {

// A trial of a sweep planned for scoring on several threads.
struct Planned {
  Arr1<float, kSlots> pk;
  Arr1<double, kSlots> ka;
  Arr1<float, kSlots> exp;
};

// Fit states of the extra threads, and a second one for each thread, which scores every other
// trial beside it: made at the first sweep that needs them and kept for the rest of the
// search (a fit never allocates).
struct Helpers {
  int threads = 1;
  std::vector<std::unique_ptr<CalcState>> calc;
  std::vector<std::unique_ptr<CalcState>> beside;
  std::vector<Planned> plan;
  std::vector<double> scores;
};

// One sweep: every combination of exponents -1, -1 + h, ..., 1 of the varied slots whose
// pKa values do not fall from slot to slot, slot 1 outermost.
struct Sweep {
  Workspace w;
  SearchObserver& obs;
  const Arr1<float, kSlots>& base;
  float h;
  Arr1<float, kSlots> exp{};
  Arr1<float, kSlots> best_exp{};
  bool improved = false;
  bool stopped = false;
  std::vector<Planned>* plan = nullptr;  // set: trials are collected, not scored

  void slot(int k);
  void trial();
  void take(const Arr1<float, kSlots>& e, double score);
};

void Sweep::slot(int k) {
  SearchState& s = w.search;
  CalcState& c = w.calc;
  const float last = s.pk_free[k];
  for (float e = -last; e <= last; e += h) {
    // The factor is read afresh: a stop handled at a yield sets it to 1.
    const double f = std::pow(static_cast<double>(s.step_factor), static_cast<double>(e));
    s.pk[k] = static_cast<float>(static_cast<double>(base[k]) * f);
    if (k > 1 && s.pk[k] < s.pk[k - 1]) continue;
    if (k == 1 || c.ka[k] > 0) {
      // A value whose constant underflows to 0 would pass for a removed one: skip it.
      if (!ka_fits(s.pk[k])) continue;
      c.ka[k] = ka_of(s.pk[k]);
    }
    exp[k] = e;
    if (k < kSlots)
      slot(k + 1);
    else
      trial();
    if (stopped) return;
  }
  if (k == 3) obs.elapsed();
}

void Sweep::trial() {
  if (stop_requested(w)) {
    stopped = true;
    return;
  }
  if (plan) {
    plan->push_back({w.search.pk, w.calc.ka, exp});
    return;
  }
  yield_to(w, obs);
  score_trial(w, obs, w.search.pk);
  take(exp, w.calc.s_a_sq);
}

void Sweep::take(const Arr1<float, kSlots>& e, double score) {
  if (accept_score(w.calc, score)) {
    best_exp = e;
    improved = true;
  }
}

// A state that fits like calc: the same grid and count of spectra.
void share_settings(const CalcState& from, CalcState& to) {
  to.fit_step = from.fit_step;
  to.used_spectra_count = from.used_spectra_count;
  to.active_ka_count = from.active_ka_count;
}

// Fits made in the helpers' states, which the search counts as its own.
long helper_fits(const Helpers& h) {
  long fits = 0;
  for (const auto& c : h.calc) fits += c->fits;
  for (const auto& c : h.beside) fits += c->fits;
  return fits;
}

// Scores the collected trials: the extra threads take the first chunks, this thread the last
// one, so that calc ends with the last trial's fit as a sequential sweep leaves it. Each thread
// scores its trials two at a time, the earlier one in its second state. Then the trials are
// counted, told and accepted in loop order.
void score_planned(Workspace w, SearchObserver& obs, Sweep& sweep, Helpers& h) {
  const std::vector<Planned>& plan = h.plan;
  const size_t n = plan.size();
  if (n == 0) return;
  // Threads pay off only for the larger sweeps of the higher levels.
  const size_t parts = n < 512 ? 1 : static_cast<size_t>(h.threads);
  while (h.calc.size() + 1 < parts) h.calc.push_back(std::make_unique<CalcState>(w.calc));
  while (h.beside.size() < parts) h.beside.push_back(std::make_unique<CalcState>(w.calc));
  h.scores.assign(n, 0.0);
  const CancelToken* cancel = w.cancel;
  auto run = [&](CalcState& calc, CalcState& beside, size_t from, size_t to) {
    size_t i = from;
    if ((to - from) % 2 == 1) {
      calc.ka = plan[i].ka;
      rozrah(w.data, calc);
      h.scores[i++] = calc.s_a_sq;
    }
    for (; i < to; i += 2) {
      if (cancel && cancel->cancelled()) return;
      beside.ka = plan[i].ka;
      calc.ka = plan[i + 1].ka;
      rozrah_pair(w.data, beside, calc);
      h.scores[i] = beside.s_a_sq;
      h.scores[i + 1] = calc.s_a_sq;
    }
  };
  for (auto& c : h.calc) share_settings(w.calc, *c);
  for (auto& c : h.beside) share_settings(w.calc, *c);
  const long helper_fits_before = helper_fits(h);
  std::vector<std::thread> threads;
  size_t started = 0;
  try {
    for (; started + 1 < parts; ++started)
      threads.emplace_back(run, std::ref(*h.calc[started]), std::ref(*h.beside[started]),
                           n * started / parts, n * (started + 1) / parts);
  } catch (const std::system_error&) {
    // The system allows no more threads: the parts not started are scored here, with the
    // same states, so the scores are the same.
  }
  const Arr1<double, kSlots> ka_after = w.calc.ka;
  run(w.calc, *h.beside[parts - 1], n * (parts - 1) / parts, n);
  for (size_t t = started; t + 1 < parts; ++t)
    run(*h.calc[t], *h.beside[t], n * t / parts, n * (t + 1) / parts);
  w.calc.ka = ka_after;
  for (std::thread& t : threads) t.join();
  w.calc.fits += helper_fits(h) - helper_fits_before;
  if (cancel && cancel->cancelled()) {
    // Some trials may be unscored: the sweep ends as a stop before a trial would end it.
    sweep.stopped = true;
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    ++w.search.trials;
    w.search.s_a_sq_trial = h.scores[i];
    obs.scored(TrialScore{w.search.trials, plan[i].pk, plan[i].ka, h.scores[i], w.calc.fit_step});
    sweep.take(plan[i].exp, h.scores[i]);
  }
}

}  // namespace

bool optimisation_sweeps(Workspace w, SearchObserver& obs, Arr1<float, kSlots>& base_pk, float h,
                         int progress_len) {
  SearchState& s = w.search;
  CalcState& c = w.calc;
  Helpers helpers;
  helpers.threads = std::max(obs.sweep_threads(), 1);
  const bool planned = obs.plan_sweeps();
  for (;;) {
    Sweep sweep{w, obs, base_pk, h};
    if (planned) {
      helpers.plan.clear();
      sweep.plan = &helpers.plan;
      sweep.slot(1);
      score_planned(w, obs, sweep, helpers);
    } else {
      sweep.slot(1);
    }
    if (sweep.stopped) return true;
    yield_to(w, obs);
    if (sweep.improved) {
      const double F = s.step_factor;
      for (int k = 1; k <= kSlots; ++k)
        s.pk[k] =
            static_cast<float>(base_pk[k] * std::pow(F, static_cast<double>(sweep.best_exp[k])));
      for (int k = 1; k <= kSlots; ++k)
        if (c.ka[k] > 0) c.ka[k] = ka_of(s.pk[k]);
      base_pk = s.pk;
      rozrah(w.data, c);
      const double thinned = c.s_a_sq;
      full_fit(w.data, c);
      obs.best(BestKind::Optimisation, thinned, Shown{s.pk, c.ka, c});
      continue;
    }
    s.step_factor = (s.step_factor - 1.0f) / 2.0f + 1.0f;
    progress_len += 2;
    obs.progress(progress_len);
    if (s.step_factor < s.opt_factor_min) return false;
  }
}

SearchResult optimise(Workspace w, const ModelSetup& setup, SearchObserver& obs) {
  SearchState& s = w.search;
  CalcState& c = w.calc;
  RunRecord run(w);
  if (auto r = check_setup(SearchKind::Optimisation, setup, c, s)) return run.refused(*r);
  Arr1<float, kSlots> base_pk = s.pk;
  chy_dostatno_spektriv(w.data, setup.modes(), c);
  if (c.used_spectra_count == 0) return run.refused({Msg::TooFewSpectra, 0});
  if (auto r = data_problem(w.data)) return run.refused(*r);
  rozrah(w.data, c);
  if (auto r = score_problem(w.data, c)) return run.refused(*r);
  c.s_a_sq_best = static_cast<float>(c.s_a_sq);
  s.step_factor = s.step_factor_start;
  const double thinned = c.s_a_sq;
  full_fit(w.data, c);
  obs.best(BestKind::OptimisationStart, thinned, Shown{s.pk, c.ka, c});
  static constexpr float kExponentStep[] = {1.0f, 1.0f, 0.5f, 0.25f};
  const float h = kExponentStep[setup.level >= 1 && setup.level <= 3 ? setup.level : 1];
  const bool stopped = optimisation_sweeps(w, obs, base_pk, h, 2);
  s.pk_best = base_pk;
  pohybka(w.data, c, s, setup.modes());
  return run.finished(stopped, setup.modes());
}

}  // namespace ferolan
