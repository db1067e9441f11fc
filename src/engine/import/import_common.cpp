#include "engine/import/import_common.h"

#include <cmath>
#include <limits>
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

}  // namespace ferolan
