// Shared by the import, plot and selection tests: tables as text, snapshots of everything an
// import may change, and the invariants that hold after every import.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/test_module.h"

namespace ferolan::testing {

// Rows of cells joined by sep, every row ended by eol.
inline std::string table(const std::vector<std::vector<std::string>>& rows,
                         const std::string& sep = "\t", const std::string& eol = "\r\n") {
  std::string t;
  for (const auto& r : rows) {
    for (size_t c = 0; c < r.size(); ++c) t += (c ? sep : "") + r[c];
    t += eol;
  }
  return t;
}

inline bool same_data(const DataSet& a, const DataSet& b) {
  return a.acid_conc == b.acid_conc && a.n_spectra == b.n_spectra && a.ph_values == b.ph_values &&
         a.n_wavelengths == b.n_wavelengths && a.wavelengths == b.wavelengths &&
         a.absorbance == b.absorbance && a.a_max == b.a_max && a.spectrum_used == b.spectrum_used;
}

// Everything a failed import must leave alone (the hint line excepted).
struct Snapshot {
  std::unique_ptr<DataSet> data;
  PlotView view;
  struct Ctl {
    std::string text, tooltip;
    bool checked, enabled;
  };
  std::vector<Ctl> controls;
  size_t ops[3];
  int clears[3];
  int scales;

  explicit Snapshot(TestModule& t) : data(std::make_unique<DataSet>(t->state.data)) {
    view = t->view;
    for (Control* c : t->ui.all())
      if (c != &t->ui.Label9) controls.push_back({c->text, c->tooltip, c->checked, c->enabled});
    RecordingCanvas* cv[3] = {&t.spectrs, &t.pict_e, &t.picture1};
    for (int i = 0; i < 3; ++i) {
      ops[i] = cv[i]->ops.size();
      clears[i] = cv[i]->clears;
    }
    scales = t.picture1.scales;
  }

  void expect_unchanged(TestModule& t) const {
    EXPECT_TRUE(same_data(*data, t->state.data)) << "data set changed";
    EXPECT_EQ(view.wl_last, t->view.wl_last);
    EXPECT_EQ(view.p1_scaled, t->view.p1_scaled);
    size_t i = 0;
    for (Control* c : t->ui.all()) {
      if (c == &t->ui.Label9) continue;
      const Ctl& s = controls[i++];
      EXPECT_EQ(s.text, c->text) << c->display_name();
      EXPECT_EQ(s.tooltip, c->tooltip) << c->display_name();
      EXPECT_EQ(s.checked, c->checked) << c->display_name();
      EXPECT_EQ(s.enabled, c->enabled) << c->display_name();
    }
    RecordingCanvas* cv[3] = {&t.spectrs, &t.pict_e, &t.picture1};
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(ops[k], cv[k]->ops.size()) << "canvas " << k << " drawn on";
      EXPECT_EQ(clears[k], cv[k]->clears) << "canvas " << k << " cleared";
    }
    EXPECT_EQ(scales, t.picture1.scales);
  }
};

// An input an import must refuse, and what it says.
struct Refusal {
  const char* name;
  std::string text;
  std::string message;  // empty: only the common beginning is checked
};

// After a refused import: nothing changed, and the hint line, not a message box, says why.
inline void expect_refused(TestModule& t, const Snapshot& before, const std::string& message) {
  before.expect_unchanged(t);
  const std::string& hint = t->ui.Label9.text;
  EXPECT_TRUE(hint.starts_with("Помилка імпорту: ")) << hint;
  if (!message.empty()) {
    EXPECT_EQ(message, hint);
  }
  EXPECT_TRUE(t.pf.messages.empty());
}

// What holds after every completed import (a data.mdf may hold no spectra at all).
inline void expect_import_invariants(TestModule& t, int min_spectra = 1) {
  const DataSet& d = t->state.data;
  const Controls& ui = t->ui;
  ASSERT_GE(d.n_spectra, min_spectra);
  ASSERT_LE(d.n_spectra, kWindowSpectra);
  ASSERT_GE(d.n_wavelengths, 1);
  ASSERT_LE(d.n_wavelengths, kWindowPoints);
  double top = 0;
  for (int s = 1; s <= d.n_spectra; ++s) {
    if (s > 1) {
      EXPECT_LE(d.ph_values[s - 1], d.ph_values[s]) << "pH not sorted at " << s;
    }
    for (int w = 1; w <= d.n_wavelengths; ++w) {
      EXPECT_TRUE(std::isfinite(d.absorbance[w][s]));
      top = std::max<double>(top, d.absorbance[w][s]);
    }
  }
  EXPECT_EQ(top, d.a_max);
  for (int s = 1; s <= kWindowSpectra; ++s) {
    const bool in = s <= d.n_spectra;
    EXPECT_EQ(in ? 1 : 0, d.spectrum_used[s]) << s;
    EXPECT_EQ(in, ui.Check3[s].enabled) << s;
    EXPECT_EQ(in, ui.Check3[s].checked) << s;
    if (!in) {
      EXPECT_EQ("", ui.Check3[s].text) << s;
    }
  }
  for (const Control* c : {&ui.Command2, &ui.Command6, &ui.Command9, &ui.Command7, &ui.Command8})
    EXPECT_TRUE(c->enabled) << c->name;
  EXPECT_FALSE(ui.Command4.enabled);
  for (const RecordingCanvas* cv : {&t.spectrs, &t.pict_e, &t.picture1})
    for (const DrawOp& op : cv->ops) {
      EXPECT_TRUE(std::isfinite(op.x));
      EXPECT_TRUE(std::isfinite(op.y));
    }
}

}  // namespace ferolan::testing
