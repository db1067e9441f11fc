#include "support/fit_reference.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/model/fit.h"

namespace ferolan::testing {

void rozrah_reference(const DataSet& data, CalcState& calc) {
  ++calc.fits;
  size_fit(data, calc);
  const int ns = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  const int nw = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  const int step = std::max<int>(calc.fit_step, 1);
  const auto& ka = calc.ka;
  auto& c = calc.form_conc;
  auto& e = calc.eps_forms;
  auto& m = calc.norm_matrix;
  auto& b = calc.norm_rhs;

  for (int i = 1; i <= ns; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    const double h = std::pow(10.0, -static_cast<double>(data.ph_values[i]));
    const double t0 = h * h * h * h * h;
    const double t1 = h * h * h * h * ka[1];
    const double t2 = h * h * h * ka[1] * ka[2];
    const double t3 = h * h * ka[1] * ka[2] * ka[3];
    const double t4 = ka[1] * h * ka[2] * ka[3] * ka[4];
    const double t5 = ka[2] * ka[1] * ka[3] * ka[4] * ka[5];
    const double d = t0 + t1 + t2 + t3 + t4 + t5;
    const double q = d / static_cast<double>(data.acid_conc);
    c[i][1] = static_cast<float>(t0 / q);
    c[i][2] = static_cast<float>(t1 / q);
    c[i][3] = static_cast<float>(t2 / q);
    c[i][4] = static_cast<float>(t3 / q);
    c[i][5] = static_cast<float>(t4 / q);
    c[i][6] = static_cast<float>(t5 / q);
  }

  for (int w = 1; w <= nw; w += step) {
    for (int k = 1; k <= 6; ++k) {
      for (int j = 1; j <= 6; ++j) m[k][j] = 0;
      b[k] = 0;
    }
    for (int i = 1; i <= ns; ++i) {
      if (data.spectrum_used[i] == 0) continue;
      for (int k = 1; k <= 6; ++k) {
        for (int j = k; j <= 6; ++j)
          m[k][j] = m[k][j] + static_cast<double>(c[i][j]) * static_cast<double>(c[i][k]);
        b[k] = b[k] + static_cast<double>(data.absorbance[w][i]) * static_cast<double>(c[i][k]);
      }
    }
    for (int k = 2; k <= 6; ++k)
      for (int j = 1; j <= k - 1; ++j) m[k][j] = m[j][k];
    calc.system_size = 6;
    systema(calc);
    for (int j = 1; j <= 6; ++j) {
      const double x = calc.lsq_solution[j];
      e[w][j] = x < 0 ? 0.0f : x > 200000 ? 200000.0f : static_cast<float>(x);
    }
  }

  double s = 0;
  for (int i = 1; i <= ns; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    for (int w = 1; w <= nw; w += step) {
      double a_calc = 0;
      for (int j = 1; j <= 6; ++j)
        a_calc = a_calc + static_cast<double>(c[i][j]) * static_cast<double>(e[w][j]);
      const double r = static_cast<double>(data.absorbance[w][i]) - a_calc;
      s = s + r * r;
    }
  }
  calc.s_a_sq = (nw == 0 || calc.used_spectra_count <= 0)
                    ? std::numeric_limits<double>::quiet_NaN()
                    : ((s / nw) / calc.used_spectra_count) * static_cast<double>(step);
}

}  // namespace ferolan::testing
