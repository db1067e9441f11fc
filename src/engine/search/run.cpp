#include "engine/search/run.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "engine/model/fit.h"

namespace ferolan {

RunRecord::RunRecord(Workspace w)
    : w_(w), t0_(std::chrono::steady_clock::now()), fits0_(w.calc.fits) {
  w.search.trials = 0;
  size_fit(w.data, w.calc);  // the only allocation of the fit during a run
}

SearchResult RunRecord::base(Outcome outcome) const {
  SearchResult r;
  r.outcome = outcome;
  r.trials = w_.search.trials;
  r.fits = w_.calc.fits - fits0_;
  r.s_a_thinned = std::sqrt(w_.search.s_a_sq_trial);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0_).count();
  return r;
}

SearchResult RunRecord::refused(Refusal why) const {
  SearchResult r = base(Outcome::Refused);
  r.refusal = why;
  return r;
}

SearchResult RunRecord::nothing_scored() const {
  return base(Outcome::NothingScored);
}

SearchResult RunRecord::finished(bool stopped, const SlotModes& modes) const {
  SearchResult r = base(stopped ? Outcome::Stopped : Outcome::Finished);
  r.modes = modes;
  r.pk_best = w_.search.pk_best;
  r.u = w_.search.uncertainty;
  for (int k = 1; k <= kSlots; ++k)
    r.ka[k] = modes[k] == SlotMode::Removed ? 0.0 : ka_of(r.pk_best[k]);
  r.s_a = std::sqrt(w_.calc.s_a_sq);
  r.fit = fit_arrays(w_.data, w_.calc);
  return r;
}

FitArrays fit_arrays(const DataSet& data, const CalcState& fit) {
  FitArrays a;
  const int ns = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  for (int s = 1; s <= ns; ++s)
    if (data.spectrum_used[s] != 0) a.spectra.push_back(s);
  const int np = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  const size_t nu = a.spectra.size();
  a.points = np;
  a.form_conc.reserve(nu * kForms);
  for (int s : a.spectra)
    for (int j = 1; j <= kForms; ++j) a.form_conc.push_back(fit.form_conc[s][j]);
  a.form_spectra.reserve(static_cast<size_t>(np) * kForms);
  for (int w = 1; w <= np; ++w)
    for (int j = 1; j <= kForms; ++j) a.form_spectra.push_back(fit.eps_forms[w][j]);
  a.calculated.reserve(nu * static_cast<size_t>(np));
  a.residuals.reserve(nu * static_cast<size_t>(np));
  for (int s : a.spectra)
    for (int w = 1; w <= np; ++w) {
      const double c = calculated_absorbance(fit, w, s);
      a.calculated.push_back(c);
      a.residuals.push_back(static_cast<double>(data.absorbance[w][s]) - c);
    }
  return a;
}

namespace {

// A run context of this thread's, lent for one call and kept for the next: fresh scratch for a
// data set of 50 x 1000 costs more in page faults than an evaluation takes. Its buffers are
// reused and its values start afresh, so a call sees exactly what a new context would. A call
// made while the thread's context is lent (an observer that searches) gets a new one.
class SpareContext {
 public:
  SpareContext() : run_(std::exchange(spare(), nullptr)) {
    if (!run_) {
      run_ = std::make_unique<RunContext>();
      return;
    }
    CalcState& c = run_->calc;
    FitWork work = std::move(c.work);
    RowMatrix<float> form_conc = std::move(c.form_conc), eps_forms = std::move(c.eps_forms);
    c = CalcState{};
    for (RowMatrix<float>* m : {&form_conc, &eps_forms})
      std::fill_n(m->data(), static_cast<size_t>(m->rows()) * static_cast<size_t>(m->pitch()),
                  0.0f);
    c.work = std::move(work);
    c.form_conc = std::move(form_conc);
    c.eps_forms = std::move(eps_forms);
    run_->search = SearchState{};
  }
  ~SpareContext() {
    if (!spare()) spare() = std::move(run_);
  }
  SpareContext(const SpareContext&) = delete;
  SpareContext& operator=(const SpareContext&) = delete;
  RunContext* operator->() { return run_.get(); }

 private:
  static std::unique_ptr<RunContext>& spare() {
    thread_local std::unique_ptr<RunContext> kept;
    return kept;
  }
  std::unique_ptr<RunContext> run_;
};

using SearchFn = SearchResult (*)(Workspace, const ModelSetup&, SearchObserver&);

SearchResult in_own_context(SearchFn search, const DataSet& data, const ModelSetup& setup,
                            SearchObserver& obs, const CancelToken* cancel) {
  SpareContext run;
  return search(Workspace{data, run->calc, run->search, cancel}, setup, obs);
}

}  // namespace

SearchResult optimise(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                      const CancelToken* cancel) {
  return in_own_context(optimise, data, setup, obs, cancel);
}

SearchResult manual_grid(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                         const CancelToken* cancel) {
  return in_own_context(manual_grid, data, setup, obs, cancel);
}

SearchResult auto_grid(const DataSet& data, const ModelSetup& setup, SearchObserver& obs,
                       const CancelToken* cancel) {
  return in_own_context(auto_grid, data, setup, obs, cancel);
}

Evaluation evaluate(const DataSet& data, const Arr1<float, kSlots>& pk, const SlotModes& modes) {
  Evaluation e;
  SpareContext run;
  CalcState* calc = &run->calc;
  chy_dostatno_spektriv(data, modes, *calc);
  if (calc->used_spectra_count == 0) {
    e.refusal = Refusal{Msg::TooFewSpectra, 0};
    return e;
  }
  for (int k = 1; k <= kSlots; ++k) {
    if (modes[k] == SlotMode::Removed) continue;
    if (!start_value_ok(pk[k])) {
      e.refusal = Refusal{Msg::StartValues, k};
      return e;
    }
    e.ka[k] = ka_of(pk[k]);
  }
  if ((e.refusal = data_problem(data))) return e;
  calc->ka = e.ka;
  calc->fit_step = 10;
  rozrah(data, *calc);
  if ((e.refusal = score_problem(data, *calc))) return e;
  e.s_a_thinned = std::sqrt(calc->s_a_sq);
  full_fit(data, *calc);
  e.s_a = std::sqrt(calc->s_a_sq);
  e.fit = fit_arrays(data, *calc);
  return e;
}

void score_trial(Workspace w, SearchObserver& obs, const Arr1<float, kSlots>& pk) {
  rozrah(w.data, w.calc);
  ++w.search.trials;
  w.search.s_a_sq_trial = w.calc.s_a_sq;
  obs.scored(TrialScore{w.search.trials, pk, w.calc.ka, w.calc.s_a_sq, w.calc.fit_step});
}

std::optional<Refusal> start_grid(Workspace w, const SlotModes& modes) {
  chy_dostatno_spektriv(w.data, modes, w.calc);
  if (w.calc.used_spectra_count == 0) return Refusal{Msg::TooFewSpectra, 0};
  w.search.step_factor = 1.5f;
  return std::nullopt;
}

std::optional<Refusal> data_problem(const DataSet& data) {
  const int ns = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  const int np = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  for (int s = 1; s <= ns; ++s) {
    if (data.spectrum_used[s] == 0) continue;
    const double h = std::pow(10.0, -static_cast<double>(data.ph_values[s]));
    if (!std::isfinite(data.ph_values[s]) || !std::isfinite(h * h * h * h * h))
      return Refusal{Msg::PhOutOfRange, 0};
    for (int p = 1; p <= np; ++p)
      if (!std::isfinite(data.absorbance[p][s])) return Refusal{Msg::AbsorbanceTooLarge, 0};
  }
  return std::nullopt;
}

std::optional<Refusal> score_problem(const DataSet& data, const CalcState& calc) {
  if (std::isfinite(static_cast<float>(calc.s_a_sq))) return std::nullopt;
  const int ns = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  for (int s = 1; s <= ns; ++s) {
    if (data.spectrum_used[s] == 0) continue;
    for (int j = 1; j <= kForms; ++j)
      if (!std::isfinite(calc.form_conc[s][j])) return Refusal{Msg::PhOutOfRange, 0};
  }
  return Refusal{Msg::AbsorbanceTooLarge, 0};
}

}  // namespace ferolan
