// Generated measurements for the search tests: spectra of an acid with known pKa values,
// built from one Gaussian band per form, with optional deterministic noise.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/data/state.h"

namespace ferolan::testing {

struct AcidRecipe {
  std::vector<double> pka;  // the true constants, pKa1 first; one to five of them
  int n_spectra = 10;
  double ph_first = 1, ph_last = 11;  // evenly spaced
  int n_points = 60;
  int wl_first = 250, wl_step = 5;  // nm
  double acid_conc = 1e-4;          // mol/L
  double noise = 0;                 // standard deviation of the added absorbance noise
  uint64_t seed = 1;
};

// Absorbance per mol/L of form j (1..6) at wavelength wl: a band that each form places
// elsewhere, so that the forms can be told apart.
double acid_eps(int j, double wl, const AcidRecipe& recipe);

DataSet make_acid_data(const AcidRecipe& recipe);

// How close a search must come to the true constants of a recovery set-up. The noise
// (0.001 on about 1200 absorbances) moves the least-squares optimum by about 0.002 pKa, the
// searches stop at steps of 0.002 (automatic grid) or a factor of 1.0001 (optimisation,
// 0.001 at pKa 8), and the manual grid's own step is 0.01: 0.01 holds all of them with room
// and still fails a search that ends one grid step off.
constexpr double kRecoveryTolerance = 0.01;

// The recovery set-up of the search tests: n (1..3) constants out of 3.2, 5.7, 8.1,
// 12 spectra at pH 1..11, 100 points, noise of standard deviation 0.001.
AcidRecipe recovery_acid(int n);

// Spectra that are zero everywhere: every trial scores exactly 0, so all trials tie.
DataSet make_flat_data(int n_spectra, int n_points);

}  // namespace ferolan::testing
