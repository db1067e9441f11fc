// Fractions of the acid's forms over pH for a constant set.
#pragma once

#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::analysis {

struct Speciation {
  std::vector<int> forms;        // present forms 1..present_forms(ka)
  std::vector<double> ph;        // grid, ascending
  std::vector<double> fraction;  // fraction[p * forms.size() + f], mole fraction (0..1)
  double at(size_t p, size_t f) const { return fraction[p * forms.size() + f]; }
};

// Fractions of each present form at n_points pH values evenly from ph_lo to ph_hi inclusive
// (n_points >= 2; 1 gives ph_lo alone); each row sums to 1.
Speciation speciation(const KaSet& ka, double ph_lo, double ph_hi, int n_points);

// The same over the pH range of the included spectra.
Speciation speciation(const DataSet& data, const KaSet& ka, int n_points = 101);

}  // namespace ferolan::analysis
