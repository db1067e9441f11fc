// The wavelength-grid part of the fast fit (used by rozrah only). Every function keeps the
// operation order of the per-point algorithm, so its results are bit for bit the same.
#pragma once

#include "state/state.h"

namespace ferolan::fit_grid {

// Eliminates work.upper as systema would, recording the factor and the skipped rows of
// every step.
void eliminate(FitWork& wk);

// Solves every grid point with the kernel in use: eps_forms at the grid points and the
// solver variables of the last point in calc. ng >= 1 grid points of step `step`; nu
// included spectra in work.used with their concentrations in work.conc. Returns the sum of
// the squared residuals over the included spectra (outer) and the grid (inner).
double fit_points(const DataSet& data, CalcState& calc, int nu, int ng, int step);

}  // namespace ferolan::fit_grid
