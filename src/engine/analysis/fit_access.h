// Shared pieces of the diagnostics: which spectra and forms take part, a full-resolution fit
// on a private state, and the residuals that the fit does not store.
#pragma once

#include <memory>
#include <vector>

#include "engine/data/state.h"

namespace ferolan::analysis {

using KaSet = Arr1<double, kSlots>;  // ka[1..5] = 10^-pKa, exactly 0 for a removed constant

// Included spectra (spectrum_used != 0) among 1..n_spectra, ascending (pH order).
std::vector<int> included_spectra(const DataSet& data);

// Number of forms the constants leave present: forms 1..k where slot k is the first removed
// constant, 6 when none is removed.
int present_forms(const KaSet& ka);

// Legend formula of form j = 1..6 (UTF-8): H5A, H4A⁻, H3A²⁻, H2A³⁻, HA⁴⁻, A⁵⁻.
const char* form_name(int j);

// Fits ka at full wavelength resolution (fit_step 1) on a fresh state; requires at least one
// included spectrum. The returned state holds form_conc, eps_forms and s_a_sq of that fit.
std::unique_ptr<CalcState> fit_full(const DataSet& data, const KaSet& ka);

// Residuals A(w, i) - sum_j form_conc[i][j]·eps_forms[w][j] (absorbance) of a full-resolution
// fit, for each included spectrum i (ascending) and within it each point w = 1..n_wavelengths.
std::vector<double> residual_vector(const DataSet& data, const CalcState& fitted);

// Sum of squares of residual_vector (absorbance²).
double residual_sum_of_squares(const std::vector<double>& r);

}  // namespace ferolan::analysis
