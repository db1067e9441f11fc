#include "engine/analysis/fit_access.h"

#include "engine/model/fit.h"

namespace ferolan::analysis {

std::vector<int> included_spectra(const DataSet& data) {
  std::vector<int> out;
  for (int s = 1; s <= data.n_spectra; ++s)
    if (data.spectrum_used[s] != 0) out.push_back(s);
  return out;
}

int present_forms(const KaSet& ka) {
  for (int k = 1; k <= kSlots; ++k)
    if (ka[k] == 0) return k;
  return kForms;
}

const char* form_name(int j) {
  static const char* const names[kForms + 1] = {"", "H5A", "H4A⁻", "H3A²⁻", "H2A³⁻", "HA⁴⁻", "A⁵⁻"};
  return j >= 1 && j <= kForms ? names[j] : "";
}

std::unique_ptr<CalcState> fit_full(const DataSet& data, const KaSet& ka) {
  auto calc = std::make_unique<CalcState>();
  calc->ka = ka;
  calc->fit_step = 1;
  calc->used_spectra_count = static_cast<int16_t>(count_used_spectra(data));
  rozrah(data, *calc);
  return calc;
}

std::vector<double> residual_vector(const DataSet& data, const CalcState& fitted) {
  const int points = data.n_wavelengths;
  std::vector<double> r;
  for (int s : included_spectra(data)) {
    for (int w = 1; w <= points; ++w) {
      r.push_back(static_cast<double>(data.absorbance[w][s]) - calculated_absorbance(fitted, w, s));
    }
  }
  return r;
}

double residual_sum_of_squares(const std::vector<double>& r) {
  double sum = 0;
  for (double x : r) sum += x * x;
  return sum;
}

}  // namespace ferolan::analysis
