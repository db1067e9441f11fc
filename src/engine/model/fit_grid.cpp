#include "engine/model/fit_grid.h"

#include <algorithm>
#include <cstring>

namespace ferolan::fit_grid {

namespace {

constexpr int kN = kForms;  // order of the normal equations
constexpr double kEpsMax = 200000;

// Two grid points side by side, one per lane. GCC/Clang vector operations are plain IEEE
// operations lane by lane, so each lane computes exactly what the scalar code would.
using V2 = double __attribute__((vector_size(16)));
using F2 = float __attribute__((vector_size(8)));

V2 load2(const double* p) {
  V2 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

void store2(double* p, V2 v) {
  std::memcpy(p, &v, sizeof v);
}

// Four grid points go together, two vectors of two; lanes past the last point repeat it.
constexpr int kHalves = 2;
constexpr int kGroup = 2 * kHalves;
using Group = V2[kHalves];
static_assert(kMaxPoints % kGroup == 0, "a group never reaches past the arrays");

void store_group(double* p, const Group& v) {
  for (int h = 0; h < kHalves; ++h) store2(p + 2 * h, v[h]);
}

// Right-hand sides of grid points g[0..3]; keeps the absorbances in double for the residuals.
void right_hand_sides(const DataSet& data, FitWork& wk, int nu, const int g[kGroup], int step) {
  const float* rows[kGroup];
  for (int p = 0; p < kGroup; ++p) rows[p] = data.absorbance[1 + g[p] * step].data();
  Group b[kN] = {};
  double* a_out = wk.a.data() + g[0];
  for (int u = 0; u < nu; ++u, a_out += kMaxPoints) {
    const int i = wk.used[u];
    Group a;
    for (int h = 0; h < kHalves; ++h) a[h] = V2{rows[2 * h][i], rows[2 * h + 1][i]};
    store_group(a_out, a);
    const auto& c = wk.conc2[u];
    for (int k = 0; k < kN; ++k) {
      const V2 ck = load2(c[k].data());
      for (int h = 0; h < kHalves; ++h) b[k][h] = b[k][h] + a[h] * ck;
    }
  }
  for (int k = 0; k < kN; ++k) store_group(wk.rhs[k].data() + g[0], b[k]);
}

// The elimination steps, the back substitution and the clamping, each one step for every
// grid point at a time: the points are independent, so nothing waits for a division.
void solve_all(CalcState& calc, int ng, int step) {
  FitWork& wk = calc.work;
  const auto& m = wk.upper;
  auto& b = wk.rhs;
  auto& x = wk.sol;
  const int n2 = (ng + 1) / 2 * 2;  // whole pairs; the lanes past ng are never read
  for (int k = 1; k <= kN - 1; ++k) {
    for (int i = kN; i >= k + 1; --i) {
      if (!wk.active[k][i]) continue;
      const double f = wk.factor[k][i];
      double* bi = b[i - 1].data();
      const double* above = b[i - 2].data();
      for (int g = 0; g < n2; g += 2) store2(bi + g, load2(bi + g) * f - load2(above + g));
    }
  }

  for (int i = kN; i >= 1; --i) {
    double* xi = x[i - 1].data();
    const double* bi = b[i - 1].data();
    const double pivot = m[i][i];
    if (pivot == 0) {
      for (int g = 0; g < n2; ++g) xi[g] = 0;
      continue;
    }
    if (i == kN) {
      for (int g = 0; g < n2; g += 2) store2(xi + g, load2(bi + g) / pivot);
      continue;
    }
    for (int g = 0; g < n2; g += 2) {
      V2 s{};
      for (int j = i + 1; j <= kN; ++j) s = m[i][j] * load2(x[j - 1].data() + g) + s;
      store2(xi + g, (load2(bi + g) - s) / pivot);
    }
  }

  const V2 zero{}, top = V2{} + kEpsMax;
  for (int j = 0; j < kForms; ++j) {
    for (int g = 0; g < n2; g += 2) {
      const V2 v = load2(x[j].data() + g);
      const V2 single = __builtin_convertvector(__builtin_convertvector(v, F2), V2);
      store2(wk.eps[j].data() + g, v < zero ? zero : (v > top ? top : single));
    }
    for (int g = 0; g < ng; ++g)
      calc.eps_forms[1 + g * step][j + 1] = static_cast<float>(wk.eps[j][g]);
  }
}

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

void solve(const DataSet& data, CalcState& calc, int nu, int ng, int step) {
  FitWork& wk = calc.work;
  for (int u = 0; u < nu; ++u)
    for (int j = 0; j < kForms; ++j) wk.conc2[u][j] = {wk.conc[u][j], wk.conc[u][j]};
  int g[kGroup];
  const auto group_at = [&](int g0) {
    for (int p = 0; p < kGroup; ++p) g[p] = std::min(g0 + p, ng - 1);
  };
  for (int g0 = 0; g0 < ng; g0 += kGroup) {
    group_at(g0);
    right_hand_sides(data, wk, nu, g, step);
  }
  solve_all(calc, ng, step);
  calc.system_size = kN;
  for (int k = 1; k <= kN; ++k) {
    for (int j = 1; j <= kN; ++j) calc.norm_matrix[k][j] = wk.upper[k][j];
    calc.norm_rhs[k] = wk.rhs[k - 1][ng - 1];
    calc.lsq_solution[k] = wk.sol[k - 1][ng - 1];
  }
}

// The sum itself is one chain of additions in a fixed order; the residuals of the next
// points are computed two at a time in its shadow.
double residual_sum(const FitWork& wk, int nu, int ng) {
  double s = 0;
  for (int u = 0; u < nu; ++u) {
    const auto& c = wk.conc[u];
    const double* a = wk.a.data() + u * kMaxPoints;
    int g = 0;
    for (; g + 1 < ng; g += 2) {
      V2 a_calc{};
      for (int j = 0; j < kForms; ++j) a_calc = a_calc + c[j] * load2(wk.eps[j].data() + g);
      const V2 r = load2(a + g) - a_calc;
      const V2 sq = r * r;
      s = s + sq[0];
      s = s + sq[1];
    }
    if (g < ng) {
      double a_calc = 0;
      for (int j = 0; j < kForms; ++j) a_calc = a_calc + c[j] * wk.eps[j][g];
      const double r = a[g] - a_calc;
      s = s + r * r;
    }
  }
  return s;
}

}  // namespace ferolan::fit_grid
