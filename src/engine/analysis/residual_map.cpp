#include "engine/analysis/residual_map.h"

#include <algorithm>
#include <cmath>

namespace ferolan::analysis {

namespace {

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

ResidualDiagnostics residual_diagnostics(const DataSet& data, const CalcState& fitted,
                                         double outlier_factor) {
  ResidualDiagnostics d;
  d.outlier_factor = outlier_factor;
  d.spectra = included_spectra(data);
  for (int s : d.spectra) d.ph.push_back(data.ph_values[s]);
  const int points = data.n_wavelengths;
  for (int w = 1; w <= points; ++w) d.wavelengths.push_back(data.wavelengths[w]);
  d.r = residual_vector(data, fitted);
  const size_t n = d.spectra.size();
  if (n == 0 || points < 1) return d;

  d.s_spectrum.assign(n, 0);
  d.s_point.assign(points, 0);
  double total = 0;
  for (size_t i = 0; i < n; ++i)
    for (int w = 0; w < points; ++w) {
      const double sq = d.at(i, w) * d.at(i, w);
      d.s_spectrum[i] += sq;
      d.s_point[w] += sq;
      total += sq;
    }
  for (double& v : d.s_spectrum) v = std::sqrt(v / points);
  for (double& v : d.s_point) v = std::sqrt(v / n);
  d.s_a = std::sqrt(total / (double(points) * n));

  d.median_s_spectrum = median(d.s_spectrum);
  for (size_t i = 0; i < n; ++i)
    if (d.s_spectrum[i] > outlier_factor * d.median_s_spectrum) d.outliers.push_back(d.spectra[i]);
  return d;
}

}  // namespace ferolan::analysis
