#include "model/fit_grid.h"

#include "model/fit_kernel_job.h"

namespace ferolan::fit_grid {

namespace {

constexpr int kN = kForms;
static_assert(kN == kJobForms);
static_assert(kMaxPoints % 8 == 0, "the widest kernel's lanes past the grid stay in the rows");
// The kernels see the matrices as flat rows.
static_assert(sizeof(DataSet::absorbance) == sizeof(float) * (kMaxPoints + 1) * (kMaxSpectra + 1));
static_assert(sizeof(CalcState::eps_forms) == sizeof(float) * (kMaxPoints + 1) * (kForms + 1));
static_assert(sizeof(FitWork::eps) == sizeof(double) * kForms * kMaxPoints);
static_assert(sizeof(FitWork::rhs) == sizeof(double) * kForms * kMaxPoints);
static_assert(sizeof(FitWork::conc) == sizeof(double) * kForms * kMaxSpectra);

}  // namespace

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

double fit_points(const DataSet& data, CalcState& calc, int nu, int ng, int step) {
  FitWork& wk = calc.work;
  GridJob job;
  job.absorbance = data.absorbance[0].data();
  job.row_pitch = kMaxSpectra + 1;
  job.used = wk.used.data();
  job.nu = nu;
  job.conc = wk.conc[0].data();
  for (int k = 0; k < kN; ++k) {
    for (int j = 0; j < kN; ++j) {
      job.m[k][j] = wk.upper[k + 1][j + 1];
      job.factor[k][j] = wk.factor[k + 1][j + 1];
      job.active[k][j] = wk.active[k + 1][j + 1];
    }
  }
  job.ng = ng;
  job.step = step;
  job.at = wk.a.data();
  job.rhs = wk.rhs[0].data();
  job.eps = wk.eps[0].data();
  job.pitch = kMaxPoints;
  job.eps_forms = calc.eps_forms[0].data();
  job.eps_pitch = kForms + 1;
  const double s = current_grid_kernel()(job);

  calc.system_size = kN;
  for (int k = 1; k <= kN; ++k) {
    for (int j = 1; j <= kN; ++j) calc.norm_matrix[k][j] = wk.upper[k][j];
    calc.norm_rhs[k] = job.last_rhs[k - 1];
    calc.lsq_solution[k] = job.last_sol[k - 1];
  }
  return s;
}

}  // namespace ferolan::fit_grid
