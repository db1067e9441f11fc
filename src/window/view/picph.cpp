#include <algorithm>
#include <cmath>
#include <vector>

#include "window/view/plots.h"

namespace ferolan {

void picpH(const DataSet& data, PlotView& view, Canvas& picture1) {
  picture1.clear();
  view.p1_scaled = false;
  const int n = data.n_spectra;
  // The batch tool draws this diagram too, for data sets of any size.
  std::vector<float> ph_mid(static_cast<size_t>(std::max(n, 1)) + 1);
  std::vector<float> da_sum(ph_mid.size());
  // Slope of interval i (between spectra i and i + 1): the summed change per pH unit.
  for (int i = 1; i <= n - 1; ++i) {
    ph_mid[i] =
        static_cast<float>((static_cast<double>(data.ph_values[i + 1]) + data.ph_values[i]) / 2);
    for (int w = 1; w <= data.n_wavelengths; ++w)
      da_sum[i] += std::fabs(data.absorbance[w][i] - data.absorbance[w][i + 1]);
    da_sum[i] /= data.ph_values[i + 1] - data.ph_values[i];
  }
  float lo = 1e10f, hi = 0;
  for (int i = 1; i <= n - 1; ++i) {
    if (da_sum[i] < lo) lo = da_sum[i];
    if (da_sum[i] > hi) hi = da_sum[i];
  }
  // Mirrored, so that the largest slope lies on the top edge.
  for (int i = 1; i <= n - 1; ++i) da_sum[i] = lo + (hi - da_sum[i]);

  const float left = data.ph_values[1], width = data.ph_values[n > 0 ? n : 1] - left;
  const float top = lo, height = hi - lo;
  // Equal neighbouring pH, a zero pH span or a flat curve give no scale: the box stays clear.
  bool ok = n >= 2 && width != 0 && height != 0 && std::isfinite(width) && std::isfinite(height);
  for (int i = 1; ok && i <= n - 1; ++i) ok = std::isfinite(da_sum[i]);
  if (!ok) return;

  picture1.set_scale(left, top, width, height);
  view.p1_scaled = true;
  view.p1_left = left;
  view.p1_top = top;
  view.p1_width = width;
  view.p1_height = height;
  picture1.point(ph_mid[1], da_sum[1], kBlack);
  for (int i = 2; i <= n - 1; ++i) picture1.line_to(ph_mid[i], da_sum[i], kBlack);
}

}  // namespace ferolan
