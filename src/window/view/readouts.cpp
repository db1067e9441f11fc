#include <string>

#include "engine/format/format.h"
#include "window/view/plots.h"

namespace ferolan {

namespace {
// Wavelength under pixel x of either spectra plot: the inverse of their X mapping.
float wavelength_at(const DataSet& data, const PlotView& view, double x) {
  const int first = data.wavelengths[1];
  return static_cast<float>((view.wl_last - first) / 400.0 * (x - 1) + first);
}
}  // namespace

std::string spectrs_readout(const DataSet& data, const PlotView& view, double x, double y,
                            char dec) {
  const double a = (251 - y) * data.a_max / 250;
  return " A = " + format_mask(a, "0.000", dec) + " (" +
         format_single(wavelength_at(data, view, x), "0", dec) + " нм) ";
}

std::string pict_e_readout(const DataSet& data, const PlotView& view, double x, char dec) {
  if (data.n_spectra <= 1) return "";
  std::string tip = " ";
  tip += format_single(wavelength_at(data, view, x), "0", dec);
  return tip + " нм ";
}

std::string picture1_readout(const DataSet& data, const PlotView& view, double x, char dec) {
  // Without user coordinates there is no pH to show.
  if (data.n_spectra <= 1 || !view.p1_scaled) return "";
  const double ph = view.p1_left + x * view.p1_width / kPicture1Width;
  std::string tip = " ";
  tip += format_single(static_cast<float>(ph), "0.0", dec);
  return tip + " ";
}

}  // namespace ferolan
