// The fit of one pKa set: forms' concentrations, forms' spectra by least squares, the score.
#pragma once

#include "engine/data/state.h"

namespace ferolan {

// 10^-pKa; ka_fits says whether it is a positive, finite double for a finite pKa.
double ka_of(float pk);
bool ka_fits(float pk);

// Solves norm_matrix · x = norm_rhs (order system_size) into lsq_solution: elimination
// without pivoting, bottom-up with the row above; a zero pivot gives a zero unknown.
void systema(CalcState& calc);

// Fits the forms' spectra for calc.ka over the included spectra on the grid of fit_step and
// leaves the mean squared residual in s_a_sq, divided by used_spectra_count as
// chy_dostatno_spektriv left it. With no wavelength point, or that count 0 (no check made, or
// too few spectra), there is nothing to average and s_a_sq is NaN, no score; a fit_step below
// 1 counts as 1. Allocates only when calc has no room for data yet (size_fit); a search sizes
// its states when it starts, so that no trial allocates. evaluate() (engine/search/search.h)
// makes the check itself.
void rozrah(const DataSet& data, CalcState& calc);

// Room in calc (the forms' arrays and the fit's scratch) for a fit of data, grown only: a
// state keeps the room of the largest data set it fitted.
void size_fit(const DataSet& data, CalcState& calc);

// rozrah(data, a) and then rozrah(data, b), with the same results in both, taken side by side:
// scoring trials two at a time is faster than one by one. Both need the same fit_step (else
// they are fitted one after the other, as is a state paired with itself).
void rozrah_pair(const DataSet& data, CalcState& a, CalcState& b);

// Calculated absorbance of spectrum s at point w: the forms' concentrations times their
// spectra, summed in form order in double. Every display, export and residual uses this.
inline double calculated_absorbance(const CalcState& fit, int w, int s) {
  double a = 0;
  for (int j = 1; j <= kForms; ++j)
    a += static_cast<double>(fit.eps_forms[w][j]) * static_cast<double>(fit.form_conc[s][j]);
  return a;
}

// Number of spectra marked as taking part (every flag of the array, as the searches count).
int count_used_spectra(const DataSet& data);

// Counts the included spectra and the constants not removed (slot 1 always counts); sets
// used_spectra_count to 0 when there are fewer than active_ka_count + 2 spectra.
void chy_dostatno_spektriv(const DataSet& data, const SlotModes& modes, CalcState& calc);

}  // namespace ferolan
