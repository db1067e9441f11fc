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

#include "fuzz_check.h"
#include "import/import.h"
#include "import/import_common.h"
#include "search/events.h"
#include "support/test_module.h"

namespace ferolan::fuzz {

template <typename T>
std::vector<unsigned char> bytes_of(const T& v) {
  std::vector<unsigned char> b(sizeof v);
  std::memcpy(b.data(), &v, sizeof v);
  return b;
}

template <typename T>
bool same_bits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Before {
  std::vector<unsigned char> data, settings, calc, search;
  DataSet data_copy;
  struct Ctl {
    std::string text, tooltip;
    bool checked, enabled;
  };
  std::vector<Ctl> controls;
  size_t ops[3];
  int clears[3], scales;
  size_t messages;
  int clipboard_writes;
};

inline testing::RecordingCanvas* canvas(testing::TestModule& t, int i) {
  testing::RecordingCanvas* cv[3] = {&t.spectrs, &t.pict_e, &t.picture1};
  return cv[i];
}

inline void take(testing::TestModule& t, Before& b) {
  b.data = bytes_of(t->st.data);
  b.settings = bytes_of(t->st.settings);
  b.calc = bytes_of(t->st.calc);
  b.search = bytes_of(t->st.search);
  b.data_copy = t->st.data;
  for (Control* c : t->ui.all())
    if (c != &t->ui.Label9) b.controls.push_back({c->text, c->tooltip, c->checked, c->enabled});
  for (int i = 0; i < 3; ++i) {
    b.ops[i] = canvas(t, i)->ops.size();
    b.clears[i] = canvas(t, i)->clears;
  }
  b.scales = t.picture1.scales;
  b.messages = t.pf.messages.size();
  b.clipboard_writes = t.pf.clipboard_writes;
}

inline void check_unchanged(testing::TestModule& t, const Before& b) {
  FUZZ_CHECK(bytes_of(t->st.data) == b.data);
  FUZZ_CHECK(bytes_of(t->st.settings) == b.settings);
  FUZZ_CHECK(bytes_of(t->st.calc) == b.calc);
  FUZZ_CHECK(bytes_of(t->st.search) == b.search);
  size_t i = 0;
  for (Control* c : t->ui.all()) {
    if (c == &t->ui.Label9) continue;
    const Before::Ctl& s = b.controls[i++];
    FUZZ_CHECK(s.text == c->text && s.tooltip == c->tooltip);
    FUZZ_CHECK(s.checked == c->checked && s.enabled == c->enabled);
  }
  for (int k = 0; k < 3; ++k) {
    FUZZ_CHECK(b.ops[k] == canvas(t, k)->ops.size());
    FUZZ_CHECK(b.clears[k] == canvas(t, k)->clears);
  }
  FUZZ_CHECK(b.scales == t.picture1.scales);
  FUZZ_CHECK(std::string_view(t->ui.Label9.text).starts_with("Помилка імпорту: "));
}

// The committed data set against the parser's own result over the earlier one: sorted
// stably by pH with the columns moved along, its maximum, all spectra included.
inline void check_committed(testing::TestModule& t, const Before& b, ImportParser parse,
                            std::string_view text) {
  const DataSet& d = t->st.data;
  const DataSet& old = b.data_copy;
  const int n = d.n_spectra, nw = d.n_wavelengths;
  FUZZ_CHECK(n >= 1 && n <= kMaxSpectra);
  FUZZ_CHECK(nw >= 1 && nw <= kMaxPoints);
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
  for (int s = 1; s <= kMaxSpectra; ++s) {
    const bool in = s <= n;
    FUZZ_CHECK(d.spectrum_used[s] == (in ? 1 : 0));
    FUZZ_CHECK(t->ui.Check3[s].enabled == in && t->ui.Check3[s].checked == in);
    if (!in) FUZZ_CHECK(t->ui.Check3[s].text.empty());
  }
  // Entries beyond the new counts keep what the earlier data set left there; only the slot
  // after the last pH of a file held the first wavelength on the way and reads 0.
  for (int w = 0; w <= kMaxPoints; ++w)
    for (int s = 0; s <= kMaxSpectra; ++s)
      if (w == 0 || s == 0 || w > nw || s > n)
        FUZZ_CHECK(same_bits(old.absorbance[w][s], d.absorbance[w][s]));
  for (int w = nw + 1; w <= kMaxPoints; ++w) FUZZ_CHECK(old.wavelengths[w] == d.wavelengths[w]);
  for (int s = n + 1; s <= kMaxSpectra; ++s)
    FUZZ_CHECK(same_bits(old.ph_values[s], d.ph_values[s]) || (s == n + 1 && d.ph_values[s] == 0));

  auto parsed = std::make_unique<DataSet>(old);
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
    for (const testing::DrawOp& op : canvas(t, k)->ops)
      FUZZ_CHECK(std::isfinite(op.x) && std::isfinite(op.y));
  // The model and the search keep the results of the earlier data set.
  FUZZ_CHECK(bytes_of(t->st.calc) == b.calc);
  FUZZ_CHECK(bytes_of(t->st.search) == b.search);
}

// import(module, text) runs the import under test; parse is its parser.
template <typename Import>
void run_one(std::string_view text, Import import, ImportParser parse) {
  testing::TestModule t;
  t.pf.clipboard =
      "0.001\t7\t3\t5\t9\r\n400\t0.7\t0.3\t0.5\t0.9\r\n401\t0.71\t0.31\t0.51\t0.91\r\n"
      "402\t-0.1\t1.3\t2.5\t0.2\r\n";
  FUZZ_CHECK(Command5_Click(*t));
  on_user_check(*t, t->ui.Check3[2], false);

  Before before;
  take(t, before);
  const bool done = import(*t, t.pf, text);
  FUZZ_CHECK(t.pf.messages.size() == before.messages);
  FUZZ_CHECK(t.pf.clipboard_writes == before.clipboard_writes);
  if (done)
    check_committed(t, before, parse, text);
  else
    check_unchanged(t, before);
}

}  // namespace ferolan::fuzz
