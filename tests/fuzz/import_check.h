// Drives one import on a module that already holds a data set with a selection of the user's
// own, and checks what it leaves: either everything exactly as it was, or a data set that
// keeps every invariant of a completed import.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "engine/import/import.h"
#include "engine/import/import_common.h"
#include "fuzz_check.h"
#include "support/test_module.h"
#include "window/ui/events.h"
#include "window/ui/import_buttons.h"

namespace ferolan::fuzz {

template <typename T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
template <typename T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), sizeof(T) * a.size()) == 0);
}
template <typename T>
bool same_bits(const RowMatrix<T>& a, const RowMatrix<T>& b) {
  const size_t n = static_cast<size_t>(a.rows()) * static_cast<size_t>(a.pitch());
  return a.rows() == b.rows() && a.cols() == b.cols() && a.pitch() == b.pitch() &&
         (n == 0 || std::memcmp(a.data(), b.data(), sizeof(T) * n) == 0);
}
inline bool same_bits(const DataSet& a, const DataSet& b) {
  return same_bits(a.acid_conc, b.acid_conc) && a.n_spectra == b.n_spectra &&
         same_bits(a.ph_values, b.ph_values) && a.n_wavelengths == b.n_wavelengths &&
         same_bits(a.wavelengths, b.wavelengths) && same_bits(a.absorbance, b.absorbance) &&
         same_bits(a.a_max, b.a_max) && same_bits(a.spectrum_used, b.spectrum_used);
}
// The fit's results (its scratch is no result).
inline bool same_bits(const CalcState& a, const CalcState& b) {
  return same_bits(a.ka, b.ka) && same_bits(a.form_conc, b.form_conc) &&
         same_bits(a.eps_forms, b.eps_forms) && same_bits(a.norm_matrix, b.norm_matrix) &&
         same_bits(a.norm_rhs, b.norm_rhs) && same_bits(a.lsq_solution, b.lsq_solution) &&
         a.system_size == b.system_size && same_bits(a.s_a_sq, b.s_a_sq) &&
         same_bits(a.s_a_sq_best, b.s_a_sq_best) && a.fit_step == b.fit_step &&
         a.used_spectra_count == b.used_spectra_count && a.active_ka_count == b.active_ka_count &&
         a.fits == b.fits;
}

// One module that has imported a small table and had a spectrum unticked by the user; every
// input starts from a copy of that moment (a fresh module per input would spend its time
// allocating the state).
struct Start {
  testing::TestModule t;
  std::unique_ptr<State> st;
  PlotView view;
  std::vector<Control> controls;  // as all() lists them
  testing::RecordingCanvas canvases[3];
  std::unique_ptr<DataSet> scratch = std::make_unique<DataSet>();

  Start() {
    t.pf.clipboard =
        "0.001\t7\t3\t5\t9\r\n400\t0.7\t0.3\t0.5\t0.9\r\n401\t0.71\t0.31\t0.51\t0.91\r\n"
        "402\t-0.1\t1.3\t2.5\t0.2\r\n";
    FUZZ_CHECK(Command5_Click(*t));
    on_user_check(*t, t->ui.Check3[2], false);
    st = std::make_unique<State>(t->state);
    view = t->view;
    for (const Control* c : t->ui.all()) controls.push_back(*c);
    for (int i = 0; i < 3; ++i) canvases[i] = *canvas(i);
  }

  testing::RecordingCanvas* canvas(int i) {
    testing::RecordingCanvas* cv[3] = {&t.spectrs, &t.pict_e, &t.picture1};
    return cv[i];
  }

  void restore() {
    // Only an import that goes wrong touches the rest, and that stops the run.
    t->state.data = st->data;
    t->state.settings = st->settings;
    t->view = view;
    const std::vector<Control*> now = t->ui.all();
    for (size_t i = 0; i < now.size(); ++i) *now[i] = controls[i];
    for (int i = 0; i < 3; ++i) *canvas(i) = canvases[i];
    t.pf.messages.clear();
    t.pf.clipboard_writes = 0;
  }
};

inline void check_unchanged(Start& b) {
  testing::TestModule& t = b.t;
  FUZZ_CHECK(same_bits(t->state.data, b.st->data));
  FUZZ_CHECK(same_bits(t->state.settings, b.st->settings));
  FUZZ_CHECK(same_bits(t->view, b.view));
  FUZZ_CHECK(same_bits(t->state.calc, b.st->calc));
  FUZZ_CHECK(same_bits(t->state.search, b.st->search));
  const std::vector<Control*> now = t->ui.all();
  for (size_t i = 0; i < now.size(); ++i) {
    if (now[i] == &t->ui.Label9) continue;
    const Control& then = b.controls[i];
    FUZZ_CHECK(now[i]->text == then.text && now[i]->tooltip == then.tooltip);
    FUZZ_CHECK(now[i]->checked == then.checked && now[i]->enabled == then.enabled);
  }
  for (int k = 0; k < 3; ++k) {
    FUZZ_CHECK(b.canvases[k].ops.size() == b.canvas(k)->ops.size());
    FUZZ_CHECK(b.canvases[k].clears == b.canvas(k)->clears);
    FUZZ_CHECK(b.canvases[k].scales == b.canvas(k)->scales);
  }
  FUZZ_CHECK(std::string_view(t->ui.Label9.text).starts_with("Помилка імпорту: "));
}

// The committed data set against the parser's own result over the earlier one: sorted
// stably by pH with the columns moved along, its maximum, all spectra included.
inline void check_committed(Start& b, ImportParser parse, std::string_view text) {
  testing::TestModule& t = b.t;
  const DataSet& d = t->state.data;
  const DataSet& old = b.st->data;
  const int n = d.n_spectra, nw = d.n_wavelengths;
  // A data.mdf may hold no spectrum at all (its pH list ends at once); a table holds one.
  FUZZ_CHECK(n >= (parse == parse_mdf ? 0 : 1) && n <= kWindowSpectra);
  FUZZ_CHECK(nw >= 1 && nw <= kWindowPoints);
  FUZZ_CHECK(std::isfinite(d.acid_conc) && d.acid_conc != 0);

  double top = 0;
  for (int s = 1; s <= n; ++s) {
    FUZZ_CHECK(std::isfinite(d.ph_values[s]));
    if (s > 1) FUZZ_CHECK(d.ph_values[s - 1] <= d.ph_values[s]);
    for (int w = 1; w <= nw; ++w) {
      FUZZ_CHECK(std::isfinite(d.absorbance[w][s]));
      if (static_cast<float>(top) < d.absorbance[w][s]) top = d.absorbance[w][s];
    }
  }
  FUZZ_CHECK(same_bits(top, d.a_max));
  for (int s = 1; s <= kWindowSpectra; ++s) {
    const bool in = s <= n;
    FUZZ_CHECK(d.spectrum_used[s] == (in ? 1 : 0));
    FUZZ_CHECK(t->ui.Check3[s].enabled == in && t->ui.Check3[s].checked == in);
    if (!in) FUZZ_CHECK(t->ui.Check3[s].text.empty());
  }
  // Entries beyond the new counts keep what the earlier data set left there; only the slot
  // after the last pH of a file held the first wavelength on the way and reads 0.
  for (int w = 0; w <= kWindowPoints; ++w)
    for (int s = 0; s <= kWindowSpectra; ++s)
      if (w == 0 || s == 0 || w > nw || s > n)
        FUZZ_CHECK(same_bits(old.absorbance[w][s], d.absorbance[w][s]));
  for (int w = nw + 1; w <= kWindowPoints; ++w) FUZZ_CHECK(old.wavelengths[w] == d.wavelengths[w]);
  for (int s = n + 1; s <= kWindowSpectra; ++s)
    FUZZ_CHECK(same_bits(old.ph_values[s], d.ph_values[s]) || (s == n + 1 && d.ph_values[s] == 0));

  DataSet* parsed = b.scratch.get();
  *parsed = old;
  std::string problem;
  FUZZ_CHECK(parse(text, *parsed, problem));
  std::vector<int> order(n);
  std::iota(order.begin(), order.end(), 1);
  std::stable_sort(order.begin(), order.end(),
                   [&](int x, int y) { return parsed->ph_values[x] < parsed->ph_values[y]; });
  FUZZ_CHECK(same_bits(parsed->acid_conc, d.acid_conc));
  FUZZ_CHECK(parsed->n_spectra == n && parsed->n_wavelengths == nw);
  for (int s = 1; s <= n; ++s) {
    FUZZ_CHECK(same_bits(parsed->ph_values[order[s - 1]], d.ph_values[s]));
    for (int w = 1; w <= nw; ++w)
      FUZZ_CHECK(same_bits(parsed->absorbance[w][order[s - 1]], d.absorbance[w][s]));
  }
  for (int w = 1; w <= nw; ++w) FUZZ_CHECK(parsed->wavelengths[w] == d.wavelengths[w]);

  for (const Control* c :
       {&t->ui.Command2, &t->ui.Command6, &t->ui.Command9, &t->ui.Command7, &t->ui.Command8})
    FUZZ_CHECK(c->enabled);
  FUZZ_CHECK(!t->ui.Command4.enabled);
  for (int k = 0; k < 3; ++k)
    for (const testing::DrawOp& op : b.canvas(k)->ops)
      FUZZ_CHECK(std::isfinite(op.x) && std::isfinite(op.y));
  // The model and the search keep the results of the earlier data set.
  FUZZ_CHECK(same_bits(t->state.calc, b.st->calc));
  FUZZ_CHECK(same_bits(t->state.search, b.st->search));
}

// import(module, platform, text) runs the import under test; parse is its parser.
template <typename Import>
void run_one(std::string_view text, Import import, ImportParser parse) {
  static Start start;
  start.restore();
  const bool done = import(*start.t, start.t.pf, text);
  FUZZ_CHECK(start.t.pf.messages.empty() && start.t.pf.clipboard_writes == 0);
  if (done)
    check_committed(start, parse, text);
  else
    check_unchanged(start);
}

}  // namespace ferolan::fuzz
