#include "model/fit.h"

#include <algorithm>
#include <cmath>

namespace ferolan {

namespace {

constexpr int kN = kForms;  // order of the normal equations
constexpr double kEpsMax = 200000;

float clamp_eps(double x) {
  if (x < 0) return 0;
  if (x > kEpsMax) return static_cast<float>(kEpsMax);
  return static_cast<float>(x);
}

// Forms' concentrations of spectrum i, each term multiplied out left to right.
void concentrations(const DataSet& data, const CalcState& calc, int i, double c[kForms]) {
  const double h = std::pow(10.0, -static_cast<double>(data.ph_values[i]));
  const auto& ka = calc.ka;
  double t[kForms];
  t[0] = h * h * h * h * h;
  t[1] = h * h * h * h * ka[1];
  t[2] = h * h * h * ka[1] * ka[2];
  t[3] = h * h * ka[1] * ka[2] * ka[3];
  t[4] = ka[1] * h * ka[2] * ka[3] * ka[4];
  t[5] = ka[2] * ka[1] * ka[3] * ka[4] * ka[5];
  const double d = t[0] + t[1] + t[2] + t[3] + t[4] + t[5];
  const double q = d / static_cast<double>(data.acid_conc);
  for (int j = 0; j < kForms; ++j) c[j] = t[j] / q;
}

// Elimination of systema on the matrix alone, recording what each step did to the rows,
// so that the same steps can be replayed on any right-hand side.
void eliminate(FitWork& wk) {
  auto& m = wk.upper;
  for (int k = 1; k <= kN - 1; ++k) {
    for (int i = kN; i >= k + 1; --i) {
      wk.active[k][i] = m[i][k] != 0;
      if (!wk.active[k][i]) continue;
      const double f = m[i - 1][k] / m[i][k];
      wk.factor[k][i] = f;
      for (int j = k; j <= kN; ++j) m[i][j] = m[i][j] * f - m[i - 1][j];
    }
  }
}

void replay(const FitWork& wk, double b[kN + 1]) {
  for (int k = 1; k <= kN - 1; ++k)
    for (int i = kN; i >= k + 1; --i)
      if (wk.active[k][i]) b[i] = b[i] * wk.factor[k][i] - b[i - 1];
}

void back_substitute(const Arr2<double, kForms, kForms>& m, const double b[kN + 1],
                     double x[kN + 1]) {
  for (int i = 1; i <= kN - 1; ++i) x[i] = 0;
  x[kN] = m[kN][kN] != 0 ? b[kN] / m[kN][kN] : 0;
  for (int i = kN - 1; i >= 1; --i) {
    double s = 0;
    for (int j = i + 1; j <= kN; ++j) s = m[i][j] * x[j] + s;
    x[i] = m[i][i] != 0 ? (b[i] - s) / m[i][i] : 0;
  }
}

}  // namespace

void systema(CalcState& calc) {
  const int n = std::clamp<int>(calc.system_size, 0, kN);
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

// The normal matrix depends on the concentrations only, and the elimination never exchanges
// rows: it is eliminated once per call and its steps are replayed on each point's right-hand
// side. Every sum keeps the order of the per-point algorithm, so the results are identical
// to solving the full system at every point.
void rozrah(const DataSet& data, CalcState& calc) {
  ++calc.fits;
  FitWork& wk = calc.work;
  const int ns = std::clamp<int>(data.n_spectra, 0, kMaxSpectra);
  const int nw = std::clamp<int>(data.n_wavelengths, 0, kMaxPoints);
  const int step = std::max<int>(calc.fit_step, 1);

  int nu = 0;
  for (int i = 1; i <= ns; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    double c[kForms];
    concentrations(data, calc, i, c);
    for (int j = 0; j < kForms; ++j) {
      const float cf = static_cast<float>(c[j]);
      calc.form_conc[i][j + 1] = cf;
      wk.conc[nu][j] = cf;
      wk.conc_t[j][nu] = cf;
    }
    wk.used[nu++] = static_cast<int16_t>(i);
  }

  auto& m = wk.upper;
  for (int k = 1; k <= kN; ++k)
    for (int j = 1; j <= kN; ++j) m[k][j] = 0;
  for (int u = 0; u < nu; ++u)
    for (int k = 1; k <= kN; ++k)
      for (int j = k; j <= kN; ++j) m[k][j] = m[k][j] + wk.conc[u][j - 1] * wk.conc[u][k - 1];
  for (int k = 2; k <= kN; ++k)
    for (int j = 1; j <= k - 1; ++j) m[k][j] = m[j][k];
  eliminate(wk);

  const int ng = nw >= 1 ? (nw - 1) / step + 1 : 0;
  double b[kN + 1] = {}, x[kN + 1] = {};
  for (int g = 0; g < ng; ++g) {
    const int w = 1 + g * step;
    const auto& a_src = data.absorbance[w];
    double* a = wk.a_row.data();
    for (int u = 0; u < nu; ++u) a[u] = a_src[wk.used[u]];

    double rhs[kForms] = {};
    for (int u = 0; u < nu; ++u)
      for (int k = 0; k < kForms; ++k) rhs[k] = rhs[k] + a[u] * wk.conc[u][k];
    for (int k = 0; k < kForms; ++k) b[k + 1] = rhs[k];
    replay(wk, b);
    back_substitute(m, b, x);

    double e[kForms];
    for (int j = 0; j < kForms; ++j) {
      const float ef = clamp_eps(x[j + 1]);
      calc.eps_forms[w][j + 1] = ef;
      e[j] = ef;
    }
    double* r2 = wk.r2.data() + g * nu;
    for (int u = 0; u < nu; ++u) {
      double calc_a = 0;
      for (int j = 0; j < kForms; ++j) calc_a = calc_a + wk.conc_t[j][u] * e[j];
      const double r = a[u] - calc_a;
      r2[u] = r * r;
    }
  }

  // The score runs over spectra first, then points, as the reference sum does.
  double s = 0;
  for (int u = 0; u < nu; ++u)
    for (int g = 0; g < ng; ++g) s = s + wk.r2[g * nu + u];

  if (ng > 0) {
    calc.system_size = kN;
    for (int k = 1; k <= kN; ++k) {
      for (int j = 1; j <= kN; ++j) calc.norm_matrix[k][j] = m[k][j];
      calc.norm_rhs[k] = b[k];
      calc.lsq_solution[k] = x[k];
    }
  }
  // An empty grid or no counted spectra leaves nothing to average: the score is 0.
  calc.s_a_sq =
      (nw == 0 || calc.used_spectra_count <= 0)
          ? 0.0
          : ((s / static_cast<double>(nw)) / static_cast<double>(calc.used_spectra_count)) *
                static_cast<double>(step);
}

void chy_dostatno_spektriv(const DataSet& data, const Controls& ui, CalcState& calc) {
  int used = 0;
  for (int i = 1; i <= kMaxSpectra; ++i) used += data.spectrum_used[i];
  int active = 1;
  for (int j = 2; j <= kSlots; ++j) active += ui.Check2[j].checked ? 0 : 1;
  calc.active_ka_count = static_cast<int16_t>(active);
  calc.used_spectra_count = static_cast<int16_t>(used < active + 2 ? 0 : used);
}

}  // namespace ferolan
