#include "engine/data/state.h"

#include <algorithm>

namespace ferolan {

void DataSet::reserve(int spectra, int points) {
  spectra = std::max({spectra, spectra_capacity(), 0});
  points = std::max({points, points_capacity(), 0});
  ph_values.resize(static_cast<size_t>(spectra) + 1);
  spectrum_used.resize(static_cast<size_t>(spectra) + 1);
  wavelengths.resize(static_cast<size_t>(points) + 1);
  absorbance.resize(points + 1, spectra + 1, 16);
}

void DataSet::resize(int spectra, int points) {
  reserve(spectra, points);
  n_spectra = spectra;
  n_wavelengths = points;
}

void set_start_values(State& st) {
  st.search.opt_factor_min = 1.0001f;
  st.search.step_factor_start = 1.5f;
  st.calc.fit_step = 10;
  st.settings.path_len = 1;
}

}  // namespace ferolan
