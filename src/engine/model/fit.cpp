#include "engine/model/fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/model/fit_kernel_job.h"

namespace ferolan {

namespace {

using fit_grid::FitJob;

static_assert(kForms == fit_grid::kJobForms);

int round_up8(int n) {
  return (n + 7) / 8 * 8;
}

// [H+] of spectrum i. A search keeps the pH values over thousands of trials, and the power
// costs as much as the rest of the concentrations; equal pH values (+0 and -0 too) give the
// same power, so the kept one is exactly the one computed.
double hydrogen(const DataSet& data, FitWork& wk, int i) {
  const float ph = data.ph_values[i];
  if (!wk.h_known[i] || !(wk.h_ph[i] == ph)) {
    wk.h_of[i] = std::pow(10.0, -static_cast<double>(ph));
    wk.h_ph[i] = ph;
    wk.h_known[i] = 1;
  }
  return wk.h_of[i];
}

// The included spectra and their [H+] into calc's work, and the job for its kernel.
fit_grid::FitJob make_job(const DataSet& data, CalcState& calc) {
  ++calc.fits;
  size_fit(data, calc);
  FitWork& wk = calc.work;
  const int ns = std::clamp(data.n_spectra, 0, data.spectra_capacity());
  const int nw = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  const int step = std::max<int>(calc.fit_step, 1);

  int nu = 0;
  double* h = wk.block.data() + wk.h;
  for (int i = 1; i <= ns; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    h[nu] = hydrogen(data, wk, i);
    wk.used[nu++] = i;
  }
  for (int u = nu; u % 8 != 0; ++u) h[u] = 1;  // lanes past the spectra stay finite

  FitJob job;
  job.used = wk.used.data();
  job.nu = nu;
  job.h = h;
  job.ka = calc.ka.data();
  job.acid_conc = static_cast<double>(data.acid_conc);
  job.absorbance = data.absorbance.data();
  job.row_pitch = data.absorbance.pitch();
  job.row_used =
      std::min(std::max(nu > 0 ? wk.used[nu - 1] + 1 : 0, fit_grid::kMinRowPitch), job.row_pitch);
  job.ng = nw >= 1 ? (nw - 1) / step + 1 : 0;
  job.step = step;
  job.conc = wk.block.data() + wk.conc;
  job.at = wk.block.data() + wk.a;
  job.at_chunk = fit_grid::kChunk * nu;
  job.rhs = wk.block.data() + wk.rhs;
  job.sol = wk.block.data() + wk.sol;
  job.eps = wk.block.data() + wk.eps;
  job.pitch = wk.pitch;
  job.at_rows = wk.a_rows.data();
  job.at_key = wk.a_key.data();
  job.form_conc = calc.form_conc.data();
  job.form_pitch = calc.form_conc.pitch();
  job.eps_forms = calc.eps_forms.data();
  job.eps_pitch = calc.eps_forms.pitch();
  return job;
}

// The solver's variables of the last grid point and the score into calc.
void finish(const DataSet& data, const FitJob& job, CalcState& calc) {
  const int nw = std::clamp(data.n_wavelengths, 0, data.points_capacity());
  if (job.ng > 0) {
    calc.system_size = kForms;
    for (int k = 1; k <= kForms; ++k) {
      for (int j = 1; j <= kForms; ++j) calc.norm_matrix[k][j] = job.m[k - 1][j - 1];
      calc.norm_rhs[k] = job.last_rhs[k - 1];
      calc.lsq_solution[k] = job.last_sol[k - 1];
    }
  }
  // An empty grid, or a fit whose spectra were never counted by chy_dostatno_spektriv, has
  // nothing to average: no score (NaN, which no search accepts), never a perfect 0.
  calc.s_a_sq =
      (nw == 0 || calc.used_spectra_count <= 0)
          ? std::numeric_limits<double>::quiet_NaN()
          : ((job.sum / static_cast<double>(nw)) / static_cast<double>(calc.used_spectra_count)) *
                static_cast<double>(job.step);
}

}  // namespace

void size_fit(const DataSet& data, CalcState& calc) {
  const int spectra = std::max(data.spectra_capacity(), 0);
  const int points = std::max(data.points_capacity(), 0);
  if (calc.form_conc.rows() <= spectra || calc.form_conc.cols() != kForms + 1)
    calc.form_conc.resize(std::max(spectra + 1, calc.form_conc.rows()), kForms + 1);
  if (calc.eps_forms.rows() <= points || calc.eps_forms.cols() != kForms + 1)
    calc.eps_forms.resize(std::max(points + 1, calc.eps_forms.rows()), kForms + 1);
  FitWork& wk = calc.work;
  const int row_pitch = data.absorbance.pitch();
  if (wk.spectra >= spectra && wk.points >= points && wk.row_pitch == row_pitch) return;
  // Grown only, and everything afresh: the kept [H+] and the gathered absorbances go too.
  wk.spectra = std::max(wk.spectra, spectra);
  wk.points = std::max(wk.points, points);
  wk.row_pitch = row_pitch;
  wk.pitch = round_up8(wk.points);
  const size_t ns = static_cast<size_t>(wk.spectra), pitch = static_cast<size_t>(wk.pitch);
  const size_t rows = static_cast<size_t>(round_up8(wk.spectra)) + 8;
  wk.used.assign(ns, 0);
  wk.h_ph.assign(ns + 1, 0.0f);
  wk.h_of.assign(ns + 1, 0.0);
  wk.h_known.assign(ns + 1, 0);
  // Every part starts on a 64-byte boundary: its size is a multiple of 8 doubles.
  wk.h = 0;
  wk.conc = wk.h + rows;
  wk.rhs = wk.conc + rows * fit_grid::kConcPitch;
  wk.sol = wk.rhs + kForms * pitch;
  wk.eps = wk.sol + kForms * pitch;
  wk.a = wk.eps + kForms * pitch;
  wk.block.reset(wk.a + std::max<size_t>(pitch * ns, 8));
  wk.a_rows.assign(static_cast<size_t>(wk.points) * static_cast<size_t>(row_pitch), 0.0f);
  wk.a_key.assign(3 + ns, 0);
}

// The normal matrix depends on the concentrations only, and the elimination never exchanges
// rows: the kernel eliminates it once per call and replays its steps on each point's
// right-hand side. Every sum keeps the order of the per-point algorithm, so the results are
// identical to solving the full system at every point.
void rozrah(const DataSet& data, CalcState& calc) {
  FitJob job = make_job(data, calc);
  fit_grid::current_fit_kernel()(&job, 1);
  finish(data, job, calc);
}

void rozrah_pair(const DataSet& data, CalcState& a, CalcState& b) {
  if (&a == &b || std::max<int>(a.fit_step, 1) != std::max<int>(b.fit_step, 1)) {
    rozrah(data, a);
    rozrah(data, b);
    return;
  }
  FitJob jobs[2] = {make_job(data, a), make_job(data, b)};
  fit_grid::current_fit_kernel()(jobs, 2);
  finish(data, jobs[0], a);
  finish(data, jobs[1], b);
}

double ka_of(float pk) {
  return std::pow(10.0, -static_cast<double>(pk));
}

bool ka_fits(float pk) {
  const double ka = ka_of(pk);
  return std::isfinite(pk) && std::isfinite(ka) && ka > 0;
}

int count_used_spectra(const DataSet& data) {
  int used = 0;
  for (size_t i = 1; i < data.spectrum_used.size(); ++i) used += data.spectrum_used[i];
  return used;
}

void chy_dostatno_spektriv(const DataSet& data, const SlotModes& modes, CalcState& calc) {
  const int used = count_used_spectra(data);
  int active = 1;
  for (int j = 2; j <= kSlots; ++j) active += modes[j] == SlotMode::Removed ? 0 : 1;
  calc.active_ka_count = static_cast<int16_t>(active);
  calc.used_spectra_count = used < active + 2 ? 0 : used;
}

}  // namespace ferolan
