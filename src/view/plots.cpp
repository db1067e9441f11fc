#include "view/plots.h"

#include <cmath>

namespace ferolan {

namespace {

// X of point w: first point at 1, last at 401; false when the axis has no length.
struct XMap {
  int first = 0, span = 0;
  bool ok() const { return span != 0; }
  float operator()(int wavelength) const {
    return static_cast<float>(wavelength - first) / static_cast<float>(span) * 400.0f + 1.0f;
  }
};

XMap x_map(const DataSet& data, const Settings& settings) {
  return XMap{data.wavelengths[1], settings.wl_last - data.wavelengths[1]};
}

}  // namespace

void vyvid_vymiryanyh_spectriv(const DataSet& data, Settings& settings, Canvas& spectrs) {
  settings.wl_last = data.wavelengths[data.n_wavelengths];
  spectrs.clear();
  const XMap X = x_map(data, settings);
  // A scale without width or height has nothing sensible to show: leave the box clear.
  if (!X.ok() || !(data.a_max > 0) || !std::isfinite(data.a_max)) return;
  auto Y = [&](float a) { return 251.0 - a / data.a_max * 250.0; };
  for (int i = 1; i <= data.n_spectra; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    spectrs.point(1, Y(data.absorbance[1][i]), kBlack);
    for (int w = 1; w <= data.n_wavelengths; ++w)
      spectrs.line_to(X(data.wavelengths[w]), Y(data.absorbance[w][i]), kBlack);
  }
}

}  // namespace ferolan
