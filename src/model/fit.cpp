#include "model/fit.h"

#include <algorithm>
#include <cmath>

#include "model/fit_grid.h"

namespace ferolan {

namespace {

// [H+] of spectrum i. A search keeps the pH values fixed over thousands of trials, and the
// power costs as much as the rest of the concentrations; equal pH values (+0 and -0 too)
// give the same power, so the cached one is exactly the one computed.
double hydrogen(const DataSet& data, FitWork& wk, int i) {
  const float ph = data.ph_values[i];
  if (!wk.h_known[i] || !(wk.h_ph[i] == ph)) {
    wk.h[i] = std::pow(10.0, -static_cast<double>(ph));
    wk.h_ph[i] = ph;
    wk.h_known[i] = 1;
  }
  return wk.h[i];
}

// Forms' concentrations of spectrum i, each term multiplied out left to right.
void concentrations(const DataSet& data, CalcState& calc, int i, double c[kForms]) {
  const double h = hydrogen(data, calc.work, i);
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

}  // namespace

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
    }
    wk.used[nu++] = static_cast<int16_t>(i);
  }

  auto& m = wk.upper;
  for (int k = 1; k <= kForms; ++k)
    for (int j = 1; j <= kForms; ++j) m[k][j] = 0;
  for (int u = 0; u < nu; ++u)
    for (int k = 1; k <= kForms; ++k)
      for (int j = k; j <= kForms; ++j) m[k][j] = m[k][j] + wk.conc[u][j - 1] * wk.conc[u][k - 1];
  for (int k = 2; k <= kForms; ++k)
    for (int j = 1; j <= k - 1; ++j) m[k][j] = m[j][k];
  fit_grid::eliminate(wk);

  const int ng = nw >= 1 ? (nw - 1) / step + 1 : 0;
  const double s = ng > 0 ? fit_grid::fit_points(data, calc, nu, ng, step) : 0.0;
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
