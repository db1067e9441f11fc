#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include "import/import.h"
#include "import/import_common.h"
#include "view/format.h"
#include "view/plots.h"

namespace ferolan {

bool to_single(double v, float& out) {
  const float f = static_cast<float>(v);
  if (!std::isfinite(f)) return false;
  out = f;
  return true;
}

bool to_wavelength(double v, int16_t& out) {
  if (!std::isfinite(v)) return false;
  const double r = std::nearbyint(v);
  if (r < std::numeric_limits<int16_t>::min() || r > std::numeric_limits<int16_t>::max())
    return false;
  out = static_cast<int16_t>(r);
  return true;
}

void sort_by_ph(DataSet& d) {
  // n passes of adjacent swaps on strictly greater pH: equal pH keep their order.
  for (int pass = 1; pass <= d.n_spectra; ++pass)
    for (int s = 1; s < d.n_spectra; ++s) {
      if (!(d.ph_values[s] > d.ph_values[s + 1])) continue;
      std::swap(d.ph_values[s], d.ph_values[s + 1]);
      for (int w = 1; w <= d.n_wavelengths; ++w)
        std::swap(d.absorbance[w][s], d.absorbance[w][s + 1]);
    }
}

void find_a_max(DataSet& d) {
  d.a_max = 0;
  for (int s = 1; s <= d.n_spectra; ++s)
    for (int w = 1; w <= d.n_wavelengths; ++w)
      if (static_cast<float>(d.a_max) < d.absorbance[w][s]) d.a_max = d.absorbance[w][s];
}

void commit_import(Module& m, const DataSet& parsed) {
  Controls& ui = m.ui;
  DataSet& d = m.st.data;
  ui.set_text(ui.LabC, format_single(parsed.acid_conc, "#.#0e+00", m.dec()));
  d = parsed;
  sort_by_ph(d);
  find_a_max(d);

  // Drawn first with the previous selection, then again with the new one.
  m.pict_e.clear();
  vyvid_vymiryanyh_spectriv(d, m.st.settings, m.spectrs);
  picpH(d, m.st.settings, m.picture1);

  for (int i = 1; i <= kMaxSpectra; ++i) {
    ui.set_enabled(ui.Check3[i], false);
    ui.set_text(ui.Check3[i], "");
    ui.set_checked(ui.Check3[i], false);  // its handler keeps spectrum_used in step
    d.spectrum_used[i] = 0;
  }
  for (int s = 1; s <= d.n_spectra; ++s) {
    ui.set_enabled(ui.Check3[s], true);
    ui.set_text(ui.Check3[s], format_single(d.ph_values[s], "0.00", m.dec()));
    ui.set_checked(ui.Check3[s], true);
    d.spectrum_used[s] = 1;
  }

  m.pict_e.clear();
  vyvid_vymiryanyh_spectriv(d, m.st.settings, m.spectrs);

  for (Control* c : {&ui.Command2, &ui.Command6, &ui.Command9, &ui.Command7, &ui.Command8})
    ui.set_enabled(*c, true);
  ui.set_enabled(ui.Command4, false);  // no forms' spectra for the new data yet
}

bool run_import(Module& m, ImportParser parse, std::string_view text, const Control& button) {
  auto work = std::make_unique<DataSet>(m.st.data);
  std::string problem;
  if (!parse(text, *work, problem)) {
    m.ui.say(button, problem);
    return false;
  }
  // The problem of an earlier attempt no longer holds.
  if (std::string_view(m.ui.Label9.text).starts_with(kImportProblem)) {
    m.ui.said_by = nullptr;
    show_hint(m.ui, button);
  }
  commit_import(m, *work);
  return true;
}

}  // namespace ferolan
