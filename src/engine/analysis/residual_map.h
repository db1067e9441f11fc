// Where a fit fails: residuals per spectrum and per wavelength point, likely outliers.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/analysis/fit_access.h"

namespace ferolan::analysis {

struct ResidualDiagnostics {
  std::vector<int> spectra;          // included spectra, ascending pH
  std::vector<double> ph;            // their pH
  std::vector<int16_t> wavelengths;  // nm, points 1..n_wavelengths in source order
  std::vector<double> r;             // r[i * points + w]: measured - calculated (absorbance)
  double at(size_t i, size_t w) const { return r[i * wavelengths.size() + w]; }
  std::vector<double> s_spectrum;  // RMS residual of each included spectrum (absorbance)
  std::vector<double> s_point;     // RMS residual at each point over the spectra (absorbance)
  double s_a = 0;                  // RMS over everything, sqrt(s_a_sq) at fit_step 1
  double median_s_spectrum = 0;    // absorbance
  double outlier_factor = 3;
  std::vector<int> outliers;  // spectra with s_spectrum > factor × median
};

// Residual diagnostics of a full-resolution fit (fit_step 1, e.g. from fit_full) of data.
ResidualDiagnostics residual_diagnostics(const DataSet& data, const CalcState& fitted,
                                         double outlier_factor = 3);

}  // namespace ferolan::analysis
