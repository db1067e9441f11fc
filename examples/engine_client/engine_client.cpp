// A program of its own on the engine alone: a data set of 150 spectra made from arrays, the
// three searches, the optimisation cancelled from a second thread, and the fit each result
// carries. Build: it sees only the engine's public headers and links only the engine
// (ferolan_engine_api, see tests/CMakeLists.txt); `make test` runs it.
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "engine/data/data_set.h"
#include "engine/search/cancel.h"
#include "engine/search/search.h"

using namespace ferolan;

namespace {

// Spectra of an acid with pKa 4.2 and 8.9: three forms, one Gaussian band each.
void make_arrays(int spectra, int points, std::vector<double>& ph, std::vector<double>& wl,
                 std::vector<double>& a) {
  const double pka[] = {4.2, 8.9}, centre[] = {260, 300, 340}, height[] = {8000, 12000, 15000};
  const double conc = 1e-4;
  for (int s = 0; s < spectra; ++s) ph.push_back(1 + 12.0 * s / (spectra - 1));
  for (int w = 0; w < points; ++w) wl.push_back(220 + w);
  for (int s = 0; s < spectra; ++s) {
    const double h = std::pow(10.0, -ph[s]);
    const double k1 = std::pow(10.0, -pka[0]), k2 = std::pow(10.0, -pka[1]);
    const double d = h * h + k1 * h + k1 * k2;
    const double frac[] = {h * h / d, k1 * h / d, k1 * k2 / d};
    for (int w = 0; w < points; ++w) {
      double v = 0;
      for (int j = 0; j < 3; ++j)
        v += conc * frac[j] * height[j] * std::exp(-std::pow((wl[w] - centre[j]) / 25, 2));
      a.push_back(v);
    }
  }
}

// Counts the scored trials; the second thread watches the count. With `hold_at`, the search
// waits at that trial until the token is cancelled, so that the cancel surely arrives while
// it runs, however the threads are scheduled.
struct Watch : SearchObserver {
  std::atomic<long> trials{0};
  long hold_at = 0;
  const CancelToken* token = nullptr;
  void scored(const TrialScore&) override {
    if (++trials == hold_at)
      while (!token->cancelled()) std::this_thread::yield();
  }
};

const char* outcome_name(Outcome o) {
  switch (o) {
    case Outcome::Finished:
      return "finished";
    case Outcome::Stopped:
      return "stopped";
    case Outcome::Refused:
      return "refused";
    case Outcome::NothingScored:
      return "nothing scored";
  }
  return "";
}

// The fit at the result, from the result's own arrays.
void print_fit(const SearchResult& r) {
  const FitArrays& f = r.fit;
  const size_t first = 0, last = f.spectra.size() - 1;
  std::printf("  forms' concentrations (mol/L) of spectra %d, %d:", f.spectra[first],
              f.spectra[last]);
  for (size_t u : {first, last})
    for (int j = 0; j < 3; ++j) std::printf(" %.3e", f.form_conc[u * kForms + j]);
  const int p = 40;  // the 41st point
  std::printf("\n  forms' spectra (absorbance per mol/L) at point %d:", p + 1);
  for (int j = 0; j < 3; ++j) std::printf(" %.1f", f.form_spectra[p * kForms + j]);
  double worst = 0;
  for (double v : f.residuals) worst = std::fmax(worst, std::fabs(v));
  std::printf("\n  residuals: %zu, largest %.2e\n", f.residuals.size(), worst);
}

}  // namespace

using SearchFn = SearchResult (*)(const DataSet&, const ModelSetup&, SearchObserver&,
                                  const CancelToken*);

int main() {
  std::vector<double> ph, wl, a;
  make_arrays(150, 200, ph, wl, a);
  const DataSetResult made = make_data_set(ph, wl, a, 1e-4);
  if (!made) {
    std::fprintf(stderr, "%s: %s\n", made.problem.code.c_str(), made.problem.english.c_str());
    return 1;
  }
  const DataSet& data = *made.data;

  ModelSetup setup;
  setup.slot[1] = {SlotMode::Fitted, 4.0f, 3.5f, 5.0f, 0.1f};
  setup.slot[2] = {SlotMode::Fitted, 9.0f, 8.5f, 9.5f, 0.1f};
  for (int k = 3; k <= kSlots; ++k) setup.slot[k].mode = SlotMode::Removed;

  int status = 0;
  for (const auto& [name, search] : {std::pair{"manual grid", static_cast<SearchFn>(&manual_grid)},
                                     std::pair{"automatic grid", static_cast<SearchFn>(&auto_grid)},
                                     std::pair{"optimisation, cancelled from a second thread",
                                               static_cast<SearchFn>(&optimise)}}) {
    CancelToken token;
    Watch watch;
    const bool cancel = search == static_cast<SearchFn>(&optimise);
    if (cancel) {
      setup.level = 3;
      watch.hold_at = 20;
      watch.token = &token;
    }
    // The second thread cancels once the search is under way.
    std::atomic<bool> done{false};
    std::thread canceller([&] {
      while (cancel && !done && watch.trials < 20) std::this_thread::yield();
      if (cancel) token.cancel();
    });
    const SearchResult r = search(data, setup, watch, &token);
    done = true;
    canceller.join();
    std::printf("%s: %s after %ld trials, pKa1 = %.3f ± %.3f, pKa2 = %.3f ± %.3f, s(A) = %.3e\n",
                name, outcome_name(r.outcome), r.trials, r.pk_best[1], r.u[1], r.pk_best[2], r.u[2],
                r.s_a);
    print_fit(r);
    if (r.outcome != (cancel ? Outcome::Stopped : Outcome::Finished)) status = 1;
    // A finished search finds the constants the spectra were made with.
    if (!cancel && (std::fabs(r.pk_best[1] - 4.2) > 0.05 || std::fabs(r.pk_best[2] - 8.9) > 0.05))
      status = 1;
    if (r.fit.spectra.size() != 150 || r.fit.residuals.size() != 150u * 200u) status = 1;
  }
  return status;
}
