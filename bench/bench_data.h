// The data set on which the window is timed against the batch tool: an acid with five
// constants, 50 spectra from pH 1 to 14, 1000 wavelengths, a little noise.
#pragma once

#include <cstdio>
#include <string>

#include "engine/import/import.h"
#include "support/acid_spectra.h"

namespace ferolan::bench {

inline testing::AcidRecipe five_constant_recipe() {
  testing::AcidRecipe recipe;
  recipe.pka = {2.5, 4.5, 6.5, 8.5, 10.5};
  recipe.n_spectra = kWindowSpectra;
  recipe.ph_first = 1;
  recipe.ph_last = 14;
  recipe.n_points = kWindowPoints;
  recipe.wl_first = 200;
  recipe.wl_step = 1;
  recipe.noise = 0.002;
  return recipe;
}

// The data set as data.mdf holds it.
inline std::string mdf_text(const DataSet& d) {
  std::string out;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", static_cast<double>(d.acid_conc));
  out += buf;
  for (int s = 1; s <= d.n_spectra; ++s) {
    std::snprintf(buf, sizeof buf, " %.2f", static_cast<double>(d.ph_values[s]));
    out += buf;
  }
  out += '\n';
  for (int w = 1; w <= d.n_wavelengths; ++w) {
    out += std::to_string(d.wavelengths[w]);
    for (int s = 1; s <= d.n_spectra; ++s) {
      std::snprintf(buf, sizeof buf, " %.5f", static_cast<double>(d.absorbance[w][s]));
      out += buf;
    }
    out += '\n';
  }
  return out;
}

}  // namespace ferolan::bench
