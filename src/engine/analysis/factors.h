// How many absorbing forms the measured spectra support, before any fit.
#pragma once

#include <string>
#include <vector>

#include "engine/data/data_set.h"

namespace ferolan::analysis {

struct FactorOptions {
  double noise = 0;     // absorbance; > 0: the caller's noise σ, 0: estimated from the data
  double factor = 1.5;  // a rank-k model is enough once its residual RMS <= factor × noise
};

struct FactorAnalysis {
  int points = 0;                    // m: wavelength points (rows)
  int spectra = 0;                   // n: included spectra (columns)
  std::vector<double> singular;      // s_1 >= s_2 >= ..., min(m, n) values (absorbance)
  std::vector<double> share;         // s_k² / sum s², fraction of the total sum of squares
  std::vector<double> residual_rms;  // [k]: sqrt(sum_{i>k} s_i² / ((m-k)(n-k))), k = 0..r-1
  std::vector<double> rms_to_noise;  // [k]: residual_rms[k] / noise
  double noise = 0;                  // σ used for the comparison (absorbance)
  bool noise_given = false;          // true: from FactorOptions, false: estimated
  double noise_floor = 0;            // smallest σ the decomposition resolves; an estimate
                                     // below it is raised to it
  int noise_from = 0;                // estimated as residual_rms[noise_from], min(6, r-1):
                                     // with r <= 6 values at most r-1 forms can be suggested
  double noise_singular_value = 0;   // σ(√m + √n): about the largest singular value of noise
  std::vector<double> sv_to_noise;   // s_k / noise_singular_value: >> 1 signal, ~1 noise
  double factor = 1.5;               // threshold used on rms_to_noise
  int suggested_forms = 0;           // smallest k >= 1 with rms_to_noise[k] <= factor;
                                     // 0 when every absorbance is 0
  bool reached_noise = true;         // false: no k up to 6 reached it; suggestion capped
  double residual_noise = 0;         // residual_rms[suggested_forms] (0 if none is left)
};

// Singular values and suggested number of forms of the included absorbance matrix
// (all n_wavelengths points × included spectra); needs at least one point and one spectrum.
FactorAnalysis factor_analysis(const DataSet& data, const FactorOptions& options = {});

// "data support N forms, i.e. N−1 constants" (1 form/constant in the singular).
std::string factor_summary(const FactorAnalysis& fa);

}  // namespace ferolan::analysis
