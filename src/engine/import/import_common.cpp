#include "engine/import/import_common.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <utility>

#include "engine/import/import.h"

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

std::vector<int> ph_order(const DataSet& d) {
  const int n = std::max(d.n_spectra, 0);
  std::vector<int> order(static_cast<size_t>(n));
  std::iota(order.begin(), order.end(), 0);
  // n passes of adjacent swaps on strictly greater pH: equal pH keep their order, and a pH
  // that is no number stays where it is.
  std::vector<float> ph(d.ph_values.begin() + 1, d.ph_values.begin() + 1 + n);
  for (int pass = 1; pass <= n; ++pass)
    for (int s = 0; s + 1 < n; ++s) {
      if (!(ph[s] > ph[s + 1])) continue;
      std::swap(ph[s], ph[s + 1]);
      std::swap(order[s], order[s + 1]);
    }
  return order;
}

void sort_by_ph(DataSet& d) {
  // The passes run on the pH values alone; each absorbance row is then moved once.
  const std::vector<int> order = ph_order(d);
  const int n = static_cast<int>(order.size());
  std::vector<float> moved(order.size());
  auto permute = [&](float* row) {  // row[1..n]
    for (int i = 0; i < n; ++i) moved[i] = row[order[i] + 1];
    std::copy(moved.begin(), moved.end(), row + 1);
  };
  permute(d.ph_values.data());
  for (int w = 1; w <= d.n_wavelengths; ++w) permute(d.absorbance[w].data());
}

void find_a_max(DataSet& d) {
  d.a_max = 0;
  for (int s = 1; s <= d.n_spectra; ++s)
    for (int w = 1; w <= d.n_wavelengths; ++w)
      if (static_cast<float>(d.a_max) < d.absorbance[w][s]) d.a_max = d.absorbance[w][s];
}

}  // namespace ferolan
