// The wavelength-grid part of the fast fit (used by rozrah only). Every function keeps the
// operation order of the per-point algorithm, so its results are bit for bit the same.
#pragma once

#include "engine/data/state.h"

namespace ferolan::fit_grid {

// Eliminates work.upper as systema would, recording the factor and the skipped rows of
// every step.
void eliminate(FitWork& wk);

// Solves every grid point: eps_forms at the grid points, the clamped spectra in work.eps,
// the absorbances of the included spectra in work.a, and the solver variables of the last
// point in calc. ng >= 1 grid points of step `step`; nu included spectra in work.used.
void solve(const DataSet& data, CalcState& calc, int nu, int ng, int step);

// Sum of the squared residuals over the included spectra (outer) and the grid (inner).
double residual_sum(const FitWork& wk, int nu, int ng);

}  // namespace ferolan::fit_grid
