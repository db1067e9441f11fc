// Deterministic generated spectra of an acid with known constants and known noise.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/analysis/fit_access.h"
#include "engine/data/state.h"

namespace ferolan::testing {

struct SyntheticRecipe {
  std::vector<double> pk = {4.0, 7.0};  // true pKa of slots 1..k; the others are removed
  int spectra = 21;                     // evenly spaced in pH
  double ph_lo = 2.0, ph_hi = 9.0;
  int points = 121;  // wavelengths wl_first, wl_first + wl_step, ...
  int wl_first = 220, wl_step = 2;
  double acid_conc = 1e-4;  // mol/L
  double noise = 0.002;     // σ of the Gaussian noise added to every absorbance
  uint32_t seed = 1;
};

struct Synthetic {
  std::unique_ptr<DataSet> data;
  analysis::KaSet ka{};  // the true constants
};

// Forms' spectra are one or two Gaussian bands per form peaking near absorbance 1 at the
// recipe's concentration; the noise comes from std::mt19937 through Box-Muller (portable).
Synthetic make_synthetic(const SyntheticRecipe& recipe);

// Adds Gaussian noise of σ = sigma to every point of spectrum s (a corrupted measurement).
void corrupt_spectrum(DataSet& data, int s, double sigma, uint32_t seed);

analysis::KaSet ka_of(const std::vector<double>& pk);

// The data set as a tab-separated table (concentration, pH row, one row per wavelength), the
// layout the batch tool reads, with enough digits to give back the same Singles.
std::string table_text(const DataSet& d);

// The first k slots fitted, the rest removed.
inline SlotModes fitted(int k) {
  SlotModes m{};
  for (int j = 1; j <= kSlots; ++j) m[j] = j <= k ? SlotMode::Fitted : SlotMode::Removed;
  return m;
}

// pKa values by slot, from slot 1.
inline Arr1<double, kSlots> pks(const std::vector<double>& v) {
  Arr1<double, kSlots> out{};
  for (size_t i = 0; i < v.size(); ++i) out[i + 1] = v[i];
  return out;
}

}  // namespace ferolan::testing
