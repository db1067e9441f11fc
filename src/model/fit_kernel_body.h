// The grid part of the fit for one vector width W, included by one translation unit per
// instruction set. Each lane is one grid point and performs the operations of the per-point
// algorithm in its order; vector operations are plain IEEE operations lane by lane and
// nothing is fused or reassociated, so every width gives the bits of the scalar code.
// Everything here has internal linkage: code built for one instruction set must never be
// picked by the linker for another, so neither may the standard library be used here.
#pragma once

#include "model/fit_kernel_job.h"

namespace ferolan::fit_grid {
namespace {

constexpr int kN = kJobForms;
constexpr double kEpsMax = 200000;

template <int W>
struct Lanes;
template <>
struct Lanes<2> {
  using D = double __attribute__((vector_size(16)));
  using F = float __attribute__((vector_size(8)));
};
template <>
struct Lanes<4> {
  using D = double __attribute__((vector_size(32)));
  using F = float __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
  using D = double __attribute__((vector_size(64)));
  using F = float __attribute__((vector_size(32)));
};

template <class V>
inline V load(const double* p) {
  V v;
  __builtin_memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
inline void store(double* p, V v) {
  __builtin_memcpy(p, &v, sizeof v);
}

// at[u][g] for g < ng and copies of the last point up to `padded`, so that the lanes past
// the grid solve a harmless system whose results are never read. T moves a block of
// T::kPoints points × T::kSpectra neighbouring spectra; a run of neighbours longer than a
// block ends with a block that overlaps the one before it.
template <class T>
void gather_absorbance(GridJob& job, int padded) {
  const int ng = job.ng;
  const float* rows[T::kPoints];
  for (int u = 0; u < job.nu;) {
    int run = 1;
    while (u + run < job.nu && job.used[u + run] == job.used[u] + run) ++run;
    const float* col = job.absorbance + job.used[u];
    double* out = job.at + u * job.pitch;
    if (run >= T::kSpectra) {
      for (int g = 0; g < padded; g += T::kPoints) {
        for (int p = 0; p < T::kPoints; ++p) {
          const int h = g + p < ng ? g + p : ng - 1;
          rows[p] = col + (1 + h * job.step) * job.row_pitch;
        }
        for (int s = 0;; s += T::kSpectra) {
          if (s > run - T::kSpectra) s = run - T::kSpectra;
          T::block(rows, s, out + s * job.pitch + g, job.pitch);
          if (s == run - T::kSpectra) break;
        }
      }
    } else {
      for (int s = 0; s < run; ++s) {
        double* row = out + s * job.pitch;
        for (int h = 0; h < padded; ++h)
          row[h] =
              static_cast<double>(col[(1 + (h < ng ? h : ng - 1) * job.step) * job.row_pitch + s]);
      }
    }
    u += run;
  }
}

// The right-hand sides of B blocks of W grid points from g on.
template <int W, int B>
inline void right_hand_sides(GridJob& job, int g) {
  using V = typename Lanes<W>::D;
  V b[B][kN] = {};
  const double* at = job.at + g;
  const double* c = job.conc;
  for (int u = 0; u < job.nu; ++u, at += job.pitch, c += kN) {
    V a[B];
    for (int h = 0; h < B; ++h) a[h] = load<V>(at + h * W);
    for (int k = 0; k < kN; ++k) {
      const double ck = c[k];
      for (int h = 0; h < B; ++h) b[h][k] = b[h][k] + a[h] * ck;
    }
  }
  for (int k = 0; k < kN; ++k)
    for (int h = 0; h < B; ++h) store(job.rhs + k * job.pitch + g + h * W, b[h][k]);
}

// Elimination replay, back substitution and clamping of grid points g..g+W-1.
template <int W>
inline void solve_block(GridJob& job, int g) {
  using V = typename Lanes<W>::D;
  using F = typename Lanes<W>::F;
  V b[kN];
  for (int k = 0; k < kN; ++k) b[k] = load<V>(job.rhs + k * job.pitch + g);
  for (int k = 0; k < kN - 1; ++k)
    for (int i = kN - 1; i >= k + 1; --i)
      if (job.active[k][i]) b[i] = b[i] * job.factor[k][i] - b[i - 1];

  V x[kN];
  const auto& m = job.m;
  x[kN - 1] = m[kN - 1][kN - 1] != 0 ? b[kN - 1] / m[kN - 1][kN - 1] : V{};
  for (int i = kN - 2; i >= 0; --i) {
    V s = {};
    for (int j = i + 1; j < kN; ++j) s = m[i][j] * x[j] + s;
    x[i] = m[i][i] != 0 ? (b[i] - s) / m[i][i] : V{};
  }

  const V zero = {}, top = zero + kEpsMax;
  const int lanes = job.ng - g < W ? job.ng - g : W;
  float* e_out = job.eps_forms + (1 + g * job.step) * job.eps_pitch + 1;
  for (int j = 0; j < kN; ++j) {
    const V single = __builtin_convertvector(__builtin_convertvector(x[j], F), V);
    const V e = x[j] < zero ? zero : (x[j] > top ? top : single);
    store(job.eps + j * job.pitch + g, e);
    for (int l = 0; l < lanes; ++l)
      e_out[l * job.step * job.eps_pitch + j] = static_cast<float>(e[l]);
  }
  if (lanes < W || g + W == job.ng) {
    for (int k = 0; k < kN; ++k) {
      job.last_rhs[k] = b[k][lanes - 1];
      job.last_sol[k] = x[k][lanes - 1];
    }
  }
}

// One chain of additions over the included spectra (outer) and the grid (inner), in the
// order of the per-point algorithm; the squared residuals of W points at a time are
// computed in its shadow.
template <int W>
double residual_sum(const GridJob& job) {
  using V = typename Lanes<W>::D;
  const int whole = job.ng / W * W;
  const int rest = job.ng - whole;
  double s = 0;
  for (int u = 0; u < job.nu; ++u) {
    const double* c = job.conc + u * kN;
    const double* a = job.at + u * job.pitch;
    const auto square = [&](int g) {
      V a_calc = {};
      for (int j = 0; j < kN; ++j) a_calc = a_calc + c[j] * load<V>(job.eps + j * job.pitch + g);
      const V r = load<V>(a + g) - a_calc;
      return r * r;
    };
    for (int g = 0; g < whole; g += W) {
      const V q = square(g);
      for (int l = 0; l < W; ++l) s = s + q[l];
    }
    if (rest > 0) {
      const V q = square(whole);
      for (int l = 0; l < rest; ++l) s = s + q[l];
    }
  }
  return s;
}

template <int W, class T>
double run_grid(GridJob& job) {
  const int padded = (job.ng + W - 1) / W * W;
  gather_absorbance<T>(job, padded);
  int g = 0;
  for (; g + 2 * W <= padded; g += 2 * W) right_hand_sides<W, 2>(job, g);
  if (g < padded) right_hand_sides<W, 1>(job, g);
  for (g = 0; g < padded; g += W) solve_block<W>(job, g);
  return residual_sum<W>(job);
}

}  // namespace
}  // namespace ferolan::fit_grid
