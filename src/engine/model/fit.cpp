#include "engine/model/fit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/model/fit_kernel_job.h"

namespace ferolan {

namespace {

using fit_grid::FitJob;

static_assert(kForms == fit_grid::kJobForms);
static_assert(kMaxPoints % 8 == 0, "the widest kernel's lanes past the grid stay in the rows");
static_assert(FitWork::kRows >= (kMaxSpectra + 7) / 8 * 8 + 1);
static_assert(kMaxSpectra + 1 == fit_grid::kRowPitch);
static_assert(sizeof(FitWork::a) ==
              sizeof(double) * fit_grid::kAtChunk * kMaxPoints / fit_grid::kChunk);
static_assert(sizeof(FitWork::conc[0]) == sizeof(double) * fit_grid::kConcPitch);
// The kernels see the matrices as flat rows.
static_assert(sizeof(DataSet::absorbance) == sizeof(float) * (kMaxPoints + 1) * (kMaxSpectra + 1));
static_assert(sizeof(CalcState::form_conc) == sizeof(float) * (kMaxSpectra + 1) * (kForms + 1));
static_assert(sizeof(CalcState::eps_forms) == sizeof(float) * (kMaxPoints + 1) * (kForms + 1));
static_assert(sizeof(FitWork::rhs) == sizeof(double) * kForms * kMaxPoints);
static_assert(sizeof(FitWork::a_rows) == sizeof(DataSet::absorbance[0]) * kMaxPoints);
static_assert(FitWork{}.a_key.size() == fit_grid::kAtKey && kMaxSpectra == 50);

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
  FitWork& wk = calc.work;
  const int ns = std::clamp<int>(data.n_spectra, 0, kMaxSpectra);
  const int nw = std::clamp<int>(data.n_wavelengths, 0, kMaxPoints);
  const int step = std::max<int>(calc.fit_step, 1);

  int nu = 0;
  for (int i = 1; i <= ns; ++i) {
    if (data.spectrum_used[i] == 0) continue;
    wk.h[nu] = hydrogen(data, wk, i);
    wk.used[nu++] = static_cast<int16_t>(i);
  }
  for (int u = nu; u % 8 != 0; ++u) wk.h[u] = 1;  // lanes past the spectra stay finite

  FitJob job;
  job.used = wk.used.data();
  job.nu = nu;
  job.h = wk.h.data();
  job.ka = calc.ka.data();
  job.acid_conc = static_cast<double>(data.acid_conc);
  job.absorbance = data.absorbance[0].data();
  job.ng = nw >= 1 ? (nw - 1) / step + 1 : 0;
  job.step = step;
  job.conc = wk.conc[0].data();
  job.at = wk.a.data();
  job.rhs = wk.rhs[0].data();
  job.sol = wk.sol[0].data();
  job.eps = wk.eps[0].data();
  job.pitch = kMaxPoints;
  job.at_rows = wk.a_rows[0].data();
  job.at_key = wk.a_key.data();
  job.form_conc = calc.form_conc[0].data();
  job.form_pitch = kForms + 1;
  job.eps_forms = calc.eps_forms[0].data();
  job.eps_pitch = kForms + 1;
  return job;
}

// The solver's variables of the last grid point and the score into calc.
void finish(const DataSet& data, const FitJob& job, CalcState& calc) {
  const int nw = std::clamp<int>(data.n_wavelengths, 0, kMaxPoints);
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
  for (int i = 1; i <= kMaxSpectra; ++i) used += data.spectrum_used[i];
  return used;
}

void chy_dostatno_spektriv(const DataSet& data, const SlotModes& modes, CalcState& calc) {
  const int used = count_used_spectra(data);
  int active = 1;
  for (int j = 2; j <= kSlots; ++j) active += modes[j] == SlotMode::Removed ? 0 : 1;
  calc.active_ka_count = static_cast<int16_t>(active);
  calc.used_spectra_count = static_cast<int16_t>(used < active + 2 ? 0 : used);
}

}  // namespace ferolan
