#include <algorithm>

#include "engine/model/fit.h"

namespace ferolan {

// Elimination bottom-up with the row above, no pivoting, no row exchange.
void systema(CalcState& calc) {
  const int n = std::clamp<int>(calc.system_size, 0, kForms);
  auto& m = calc.norm_matrix;
  auto& b = calc.norm_rhs;
  auto& x = calc.lsq_solution;
  if (n == 0) return;
  for (int k = 1; k <= n - 1; ++k) {
    for (int i = n; i >= k + 1; --i) {
      if (m[i][k] == 0) continue;
      const double f = m[i - 1][k] / m[i][k];
      for (int j = k; j <= n; ++j) m[i][j] = m[i][j] * f - m[i - 1][j];
      b[i] = b[i] * f - b[i - 1];
    }
  }
  for (int i = 1; i <= n - 1; ++i) x[i] = 0;
  x[n] = m[n][n] != 0 ? b[n] / m[n][n] : 0;
  for (int i = n - 1; i >= 1; --i) {
    double s = 0;
    for (int j = i + 1; j <= n; ++j) s = m[i][j] * x[j] + s;
    x[i] = m[i][i] != 0 ? (b[i] - s) / m[i][i] : 0;
  }
}

}  // namespace ferolan
