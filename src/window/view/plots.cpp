#include "window/view/plots.h"

#include <algorithm>
#include <cmath>

#include "engine/model/fit.h"
#include "window/view/plot_math.h"

namespace ferolan {

namespace {

// X of a wavelength: first point at 1, last at 401; false when the axis has no length.
struct XMap {
  int first = 0, span = 0;
  bool ok() const { return span != 0; }
  float operator()(int wavelength) const {
    return static_cast<float>(wavelength - first) / static_cast<float>(span) * 400.0f + 1.0f;
  }
};

XMap x_map(const DataSet& data, const PlotView& view) {
  return XMap{data.wavelengths[1], view.wl_last - data.wavelengths[1]};
}

// Absorbance scale of the spectra plot; false when it has no height.
bool a_scale_ok(const DataSet& data) {
  return data.n_wavelengths >= 1 && data.a_max > 0 && std::isfinite(data.a_max);
}

double y_of(float a, double a_max) {
  return drawable(251.0 - a / a_max * 250.0);
}

}  // namespace

void vyvid_vymiryanyh_spectriv(const DataSet& data, PlotView& view, Canvas& spectrs) {
  view.wl_last = data.wavelengths[data.n_wavelengths];
  spectrs.clear();
  const XMap X = x_map(data, view);
  // A scale without width or height has nothing sensible to show: leave the box clear.
  if (!X.ok() || !a_scale_ok(data)) return;
  for (int i = 1; i <= data.n_spectra; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    spectrs.point(1, y_of(data.absorbance[1][i], data.a_max), kBlack);
    for (int w = 1; w <= data.n_wavelengths; ++w)
      spectrs.line_to(X(data.wavelengths[w]), y_of(data.absorbance[w][i], data.a_max), kBlack);
  }
}

void vyvid_rozrahovanyh_spectriv(const DataSet& data, const PlotView& view, const CalcState& calc,
                                 Canvas& spectrs) {
  const XMap X = x_map(data, view);
  if (!X.ok() || !a_scale_ok(data)) return;
  auto a_calc = [&](int w, int i) { return static_cast<float>(calculated_absorbance(calc, w, i)); };
  for (int i = 1; i <= data.n_spectra; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    spectrs.point(1, y_of(a_calc(1, i), data.a_max), kLightRed);
    for (int w = 2; w <= data.n_wavelengths; ++w)
      spectrs.line_to(X(data.wavelengths[w]), y_of(a_calc(w, i), data.a_max), kLightRed);
  }
}

void vyvid_spectriv_form(const DataSet& data, PlotView& view, const CalcState& calc,
                         Canvas& spectrs, Canvas& pict_e) {
  const int* kColour = kFormColour;
  vyvid_vymiryanyh_spectriv(data, view, spectrs);
  float e_top = 0;
  for (int j = 1; j <= kForms; ++j)
    for (int w = 1; w <= data.n_wavelengths; ++w) e_top = std::max(e_top, calc.eps_forms[w][j]);
  // The highest curve stays below the legend along the top edge.
  e_top = static_cast<float>(e_top * 1.15);
  pict_e.clear();
  const XMap X = x_map(data, view);
  if (!X.ok() || data.n_wavelengths < 1 || !(e_top > 0) || !std::isfinite(e_top)) return;
  auto y_e = [&](float e) { return drawable(251.0 - e / static_cast<double>(e_top) * 250.0); };
  for (int j = 1; j <= kForms; ++j) {
    pict_e.point(1, y_e(calc.eps_forms[1][j]), kBlack);
    for (int w = 2; w <= data.n_wavelengths; ++w)
      pict_e.line_to(X(data.wavelengths[w]), y_e(calc.eps_forms[w][j]), kColour[j]);
  }
}

}  // namespace ferolan
