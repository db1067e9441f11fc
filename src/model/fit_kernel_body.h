// The fit for one vector width W, included by one translation unit per instruction set.
// Each lane is one spectrum, one matrix entry or one grid point and performs the operations
// of the per-point algorithm in its order; vector operations are plain IEEE operations lane
// by lane and nothing is fused or reassociated, so every width gives the bits of the scalar
// code. Everything here has internal linkage: code built for one instruction set must never
// be picked by the linker for another, so the standard library is not used here either.
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

template <class V>
inline V splat(double x) {
  V v;
  for (unsigned l = 0; l < sizeof v / sizeof x; ++l) v[l] = x;
  return v;
}

// The value as Single, back in Double.
template <int W>
inline typename Lanes<W>::D single(typename Lanes<W>::D v) {
  using F = typename Lanes<W>::F;
  return __builtin_convertvector(__builtin_convertvector(v, F), typename Lanes<W>::D);
}

// Forms' concentrations of W included spectra at a time, each term multiplied out left to
// right: conc rows and form_conc.
template <int W>
void concentrations(FitJob& job) {
  using V = typename Lanes<W>::D;
  const double* ka = job.ka;
  const double t5 = ka[2] * ka[1] * ka[3] * ka[4] * ka[5];
  for (int u0 = 0; u0 < job.nu; u0 += W) {
    const V h = load<V>(job.h + u0);
    V t[kN];
    t[0] = h * h * h * h * h;
    t[1] = h * h * h * h * ka[1];
    t[2] = h * h * h * ka[1] * ka[2];
    t[3] = h * h * ka[1] * ka[2] * ka[3];
    t[4] = ka[1] * h * ka[2] * ka[3] * ka[4];
    t[5] = splat<V>(t5);
    const V d = t[0] + t[1] + t[2] + t[3] + t[4] + t[5];
    const V q = d / job.acid_conc;
    V c[kN];
    for (int j = 0; j < kN; ++j) c[j] = single<W>(t[j] / q);
    const int lanes = job.nu - u0 < W ? job.nu - u0 : W;
    for (int l = 0; l < lanes; ++l) {
      double* row = job.conc + (u0 + l) * kConcPitch;
      float* out = job.form_conc + job.used[u0 + l] * job.form_pitch + 1;
      for (int j = 0; j < kN; ++j) {
        row[j] = c[j][l];
        out[j] = static_cast<float>(c[j][l]);
      }
    }
  }
}

// The upper triangle of the normal matrix: lane j of accumulator (k, v) sums c(u, j)·c(u, k)
// over the included spectra, j = k + v·W + lane; lanes past the last form are never read.
template <int W>
void normal_matrix(FitJob& job) {
  using V = typename Lanes<W>::D;
  constexpr int kV = (kN + W - 1) / W;
  V acc[kN][kV] = {};
  for (int u = 0; u < job.nu; ++u) {
    const double* c = job.conc + u * kConcPitch;
    for (int k = 0; k < kN; ++k)
      for (int v = 0; v * W < kN - k; ++v) acc[k][v] = acc[k][v] + load<V>(c + k + v * W) * c[k];
  }
  for (int k = 0; k < kN; ++k)
    for (int j = k; j < kN; ++j) job.m[k][j] = acc[k][(j - k) / W][(j - k) % W];
  for (int k = 1; k < kN; ++k)
    for (int j = 0; j < k; ++j) job.m[k][j] = job.m[j][k];
}

// Eliminates the normal matrix as the solver would, recording the factor and the skipped
// rows of every step.
void eliminate(FitJob& job) {
  auto& m = job.m;
  for (int k = 0; k < kN - 1; ++k) {
    for (int i = kN - 1; i >= k + 1; --i) {
      job.active[k][i] = m[i][k] != 0;
      if (!job.active[k][i]) continue;
      const double f = m[i - 1][k] / m[i][k];
      job.factor[k][i] = f;
      for (int j = k; j < kN; ++j) m[i][j] = m[i][j] * f - m[i - 1][j];
    }
  }
}

// at[u][g] for g < ng and copies of the last point up to `padded`, so that the lanes past
// the grid solve a harmless system whose results are never read. T moves a block of
// T::kPoints points × T::kSpectra neighbouring spectra; a run of neighbours longer than a
// block ends with a block that overlaps the one before it.
template <class T>
void gather_absorbance(FitJob& job, int padded) {
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
        for (int h = 0; h < padded; ++h) {
          const int w = 1 + (h < ng ? h : ng - 1) * job.step;
          row[h] = static_cast<double>(col[w * job.row_pitch + s]);
        }
      }
    }
    u += run;
  }
}

// The right-hand sides of B blocks of W grid points from g on, with the elimination steps
// replayed on them.
template <int W, int B>
inline void right_hand_sides(FitJob& job, int g) {
  using V = typename Lanes<W>::D;
  V b[B][kN] = {};
  const double* at = job.at + g;
  const double* c = job.conc;
  for (int u = 0; u < job.nu; ++u, at += job.pitch, c += kConcPitch) {
    V a[B];
    for (int h = 0; h < B; ++h) a[h] = load<V>(at + h * W);
    for (int k = 0; k < kN; ++k) {
      const double ck = c[k];
      for (int h = 0; h < B; ++h) b[h][k] = b[h][k] + a[h] * ck;
    }
  }
  for (int k = 0; k < kN - 1; ++k) {
    for (int i = kN - 1; i >= k + 1; --i) {
      if (!job.active[k][i]) continue;
      const double f = job.factor[k][i];
      for (int h = 0; h < B; ++h) b[h][i] = b[h][i] * f - b[h][i - 1];
    }
  }
  for (int k = 0; k < kN; ++k)
    for (int h = 0; h < B; ++h) store(job.rhs + k * job.pitch + g + h * W, b[h][k]);
}

// Back substitution one unknown at a time over the whole grid, then the clamping: the
// points are independent, so nothing waits for a division.
template <int W>
void solve(FitJob& job, int padded) {
  using V = typename Lanes<W>::D;
  const auto& m = job.m;
  for (int i = kN - 1; i >= 0; --i) {
    double* x = job.sol + i * job.pitch;
    const double* b = job.rhs + i * job.pitch;
    const double pivot = m[i][i];
    if (pivot == 0) {
      for (int g = 0; g < padded; g += W) store(x + g, V{});
    } else if (i == kN - 1) {
      for (int g = 0; g < padded; g += W) store(x + g, load<V>(b + g) / pivot);
    } else {
      for (int g = 0; g < padded; g += W) {
        V s = {};
        for (int j = i + 1; j < kN; ++j) s = m[i][j] * load<V>(job.sol + j * job.pitch + g) + s;
        store(x + g, (load<V>(b + g) - s) / pivot);
      }
    }
  }

  const V zero = {}, top = splat<V>(kEpsMax);
  for (int j = 0; j < kN; ++j) {
    const double* x = job.sol + j * job.pitch;
    double* e = job.eps + j * job.pitch;
    for (int g = 0; g < padded; g += W) {
      const V v = load<V>(x + g);
      store(e + g, v < zero ? zero : (v > top ? top : single<W>(v)));
    }
  }
  for (int g = 0; g < job.ng; ++g) {
    float* out = job.eps_forms + (1 + g * job.step) * job.eps_pitch + 1;
    for (int j = 0; j < kN; ++j) out[j] = static_cast<float>(job.eps[j * job.pitch + g]);
  }
  for (int k = 0; k < kN; ++k) {
    job.last_rhs[k] = job.rhs[k * job.pitch + job.ng - 1];
    job.last_sol[k] = job.sol[k * job.pitch + job.ng - 1];
  }
}

// One chain of additions over the included spectra (outer) and the grid (inner), in the
// order of the per-point algorithm; the squared residuals of W points at a time are
// computed in its shadow.
template <int W>
double residual_sum(const FitJob& job) {
  using V = typename Lanes<W>::D;
  const int whole = job.ng / W * W;
  const int rest = job.ng - whole;
  double s = 0;
  for (int u = 0; u < job.nu; ++u) {
    const double* c = job.conc + u * kConcPitch;
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
double run_fit(FitJob& job) {
  concentrations<W>(job);
  if (job.ng == 0) return 0;
  normal_matrix<W>(job);
  eliminate(job);
  const int padded = (job.ng + W - 1) / W * W;
  gather_absorbance<T>(job, padded);
  int g = 0;
  for (; g + 2 * W <= padded; g += 2 * W) right_hand_sides<W, 2>(job, g);
  if (g < padded) right_hand_sides<W, 1>(job, g);
  solve<W>(job, padded);
  return residual_sum<W>(job);
}

}  // namespace
}  // namespace ferolan::fit_grid
