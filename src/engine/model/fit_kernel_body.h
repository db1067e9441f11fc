// The fit for one vector width W, included by one translation unit per instruction set.
// Each lane is one spectrum, one matrix entry or one grid point and performs the operations
// of the per-point algorithm in its order; vector operations are plain IEEE operations lane
// by lane and nothing is fused or reassociated, so every width gives the bits of the scalar
// code. Everything here has internal linkage: code built for one instruction set must never
// be picked by the linker for another, so the standard library is not used here either.
#pragma once

#include "engine/model/fit_kernel_job.h"

namespace ferolan::fit_grid {
namespace {

constexpr int kN = kJobForms;
constexpr double kEpsMax = 200000;

template <int W>
struct Lanes;
template <>
struct Lanes<2> {
  using D = double __attribute__((vector_size(16)));
  using I = int32_t __attribute__((vector_size(16)));
  using F = float __attribute__((vector_size(8)));
};
template <>
struct Lanes<4> {
  using D = double __attribute__((vector_size(32)));
  using I = int32_t __attribute__((vector_size(32)));
  using F = float __attribute__((vector_size(16)));
};
template <>
struct Lanes<8> {
  using D = double __attribute__((vector_size(64)));
  using I = int32_t __attribute__((vector_size(64)));
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
// right, into the conc rows (form_conc is written in the shadow of the residual sum).
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
      for (int j = 0; j < kN; ++j) row[j] = c[j][l];
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

// Where `at` keeps the absorbance of included spectrum u at grid point g.
inline double* at_of(const FitJob& job, int u, int g) {
  return job.at + static_cast<long>(g / kChunk) * job.at_chunk + u * kChunk + g % kChunk;
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
    if (run >= T::kSpectra) {
      for (int g = 0; g < padded; g += T::kPoints) {
        for (int p = 0; p < T::kPoints; ++p) {
          const int h = g + p < ng ? g + p : ng - 1;
          rows[p] = col + (1 + h * job.step) * job.row_pitch;
        }
        for (int s = 0;; s += T::kSpectra) {
          if (s > run - T::kSpectra) s = run - T::kSpectra;
          T::block(rows, s, at_of(job, u + s, g), kChunk);
          if (s == run - T::kSpectra) break;
        }
      }
    } else {
      for (int s = 0; s < run; ++s) {
        for (int h = 0; h < padded; ++h) {
          const int w = 1 + (h < ng ? h : ng - 1) * job.step;
          *at_of(job, u + s, h) = static_cast<double>(col[w * job.row_pitch + s]);
        }
      }
    }
    u += run;
  }
}

// Whether `at` was gathered for this grid and these spectra (its rows may differ since).
bool same_key(const FitJob& job) {
  const int32_t* key = job.at_key;
  if (key[0] != job.ng || key[1] != job.step || key[2] != job.nu) return false;
  for (int u = 0; u < job.nu; ++u)
    if (key[3 + u] != job.used[u]) return false;
  return true;
}

// Gathers `at` and notes what from.
template <class T>
void gather(FitJob& job, int padded) {
  gather_absorbance<T>(job, padded);
  const int pitch = job.row_pitch;
  const long stride = static_cast<long>(job.step) * pitch;
  for (int g = 0; g < job.ng; ++g)
    __builtin_memcpy(job.at_rows + static_cast<long>(g) * pitch,
                     job.absorbance + pitch + g * stride, sizeof(float) * pitch);
  int32_t* key = job.at_key;
  key[0] = job.ng;
  key[1] = job.step;
  key[2] = job.nu;
  for (int u = 0; u < job.nu; ++u) key[3 + u] = job.used[u];
}

// Whether the absorbance rows of the grid differ in any bit from the rows `at` was gathered
// from. Inlined: a call from the residual sums costs their registers (10-20 % of a fit).
template <int W>
[[gnu::always_inline]] inline bool rows_changed(const FitJob& job) {
  using I = typename Lanes<W>::I;
  constexpr int kLanes = 2 * W;
  static_assert(kLanes <= kMinRowPitch);
  const long pitch = job.row_pitch;
  const long stride = job.step * pitch;
  const long last = job.row_used - kLanes;  // the last vector overlaps the one before
  I diff = {};
  for (int g = 0; g < job.ng; ++g) {
    const float* row = job.absorbance + pitch + g * stride;
    const float* saved = job.at_rows + g * pitch;
    I x, y;
    for (long o = 0; o < last; o += kLanes) {
      __builtin_memcpy(&x, row + o, sizeof x);
      __builtin_memcpy(&y, saved + o, sizeof y);
      diff |= x ^ y;
    }
    __builtin_memcpy(&x, row + last, sizeof x);
    __builtin_memcpy(&y, saved + last, sizeof y);
    diff |= x ^ y;
  }
  for (int l = 1; l < kLanes; ++l) diff[0] |= diff[l];
  return diff[0] != 0;
}

// The right-hand sides of B blocks of W grid points from g on.
template <int W, int B>
inline void right_hand_sides(FitJob& job, int g) {
  using V = typename Lanes<W>::D;
  V b[B][kN] = {};
  const double* at[B];
  for (int h = 0; h < B; ++h) at[h] = at_of(job, 0, g + h * W);
  const double* c = job.conc;
  for (int u = 0; u < job.nu; ++u, c += kConcPitch) {
    V a[B];
    for (int h = 0; h < B; ++h) a[h] = load<V>(at[h] + u * kChunk);
    for (int k = 0; k < kN; ++k) {
      const double ck = c[k];
      for (int h = 0; h < B; ++h) b[h][k] = b[h][k] + a[h] * ck;
    }
  }
  for (int k = 0; k < kN; ++k)
    for (int h = 0; h < B; ++h) store(job.rhs + k * job.pitch + g + h * W, b[h][k]);
}

// The elimination steps replayed on the right-hand sides, the back substitution and the
// clamping, each one step for the whole grid at a time: the points are independent, so
// nothing waits for a division.
template <int W>
void solve(FitJob& job, int padded) {
  using V = typename Lanes<W>::D;
  for (int k = 0; k < kN - 1; ++k) {
    for (int i = kN - 1; i >= k + 1; --i) {
      if (!job.active[k][i]) continue;
      const double f = job.factor[k][i];
      double* b = job.rhs + i * job.pitch;
      const double* above = b - job.pitch;
      for (int g = 0; g < padded; g += W) store(b + g, load<V>(b + g) * f - load<V>(above + g));
    }
  }
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
  for (int k = 0; k < kN; ++k) {
    job.last_rhs[k] = job.rhs[k * job.pitch + job.ng - 1];
    job.last_sol[k] = job.sol[k * job.pitch + job.ng - 1];
  }
}

inline void store_eps_forms(FitJob& job, int g) {
  float* out = job.eps_forms + (1 + g * job.step) * job.eps_pitch + 1;
  for (int j = 0; j < kN; ++j) out[j] = static_cast<float>(job.eps[j * job.pitch + g]);
}

inline void store_form_conc(FitJob& job, int u) {
  float* out = job.form_conc + job.used[u] * job.form_pitch + 1;
  for (int j = 0; j < kN; ++j) out[j] = static_cast<float>(job.conc[u * kConcPitch + j]);
}

// The sums of the squared residuals of N jobs (their absorbances are the first job's): for
// each, one chain of additions over the included spectra (outer) and the grid (inner), in the
// order of the per-point algorithm. A chain takes one addition's latency per term whatever
// else runs, so the squares of W points at a time, the other job's chain and the stores of the
// results are done in its shadow. The check of the absorbance rows (when `rows_changed_out` is
// given) runs after it: in the shadow too it crowded the chain's registers, and both spilled.
template <int W, int N>
void residual_sums(FitJob* jobs, bool* rows_changed_out) {
  using V = typename Lanes<W>::D;
  const bool check = rows_changed_out != nullptr;
  FitJob& first = jobs[0];
  const int whole = first.ng / W * W;
  const int rest = first.ng - whole;
  double s[N] = {};
  for (int u = 0; u < first.nu; ++u) {
    const auto square = [&](const FitJob& job, int g, const double* at) {
      const double* c = job.conc + u * kConcPitch;
      // The per-point sum starts from 0; 0 + x differs from x only for x = -0, and a zero's
      // sign does not reach the square.
      V a_calc = c[0] * load<V>(job.eps + g);
      for (int j = 1; j < kN; ++j) a_calc = a_calc + c[j] * load<V>(job.eps + j * job.pitch + g);
      const V r = load<V>(at) - a_calc;
      return r * r;
    };
    // `at` of this spectrum chunk by chunk, without a multiplication per point.
    const double* chunk = at_of(first, u, 0);
    for (int g = 0; g < whole; g += W) {
      V q[N];
      for (int n = 0; n < N; ++n) q[n] = square(jobs[n], g, chunk + g % kChunk);
      for (int l = 0; l < W; ++l)
        for (int n = 0; n < N; ++n) s[n] = s[n] + q[n][l];
      if ((g + W) % kChunk == 0) chunk += first.at_chunk;
    }
    if (rest > 0) {
      V q[N];
      for (int n = 0; n < N; ++n) q[n] = square(jobs[n], whole, at_of(first, u, whole));
      for (int l = 0; l < rest; ++l)
        for (int n = 0; n < N; ++n) s[n] = s[n] + q[n][l];
    }
    for (int g = u; g < first.ng; g += first.nu)
      for (int n = 0; n < N; ++n) store_eps_forms(jobs[n], g);
    for (int n = 0; n < N; ++n) store_form_conc(jobs[n], u);
  }
  if (first.nu == 0)
    for (int n = 0; n < N; ++n)
      for (int g = 0; g < first.ng; ++g) store_eps_forms(jobs[n], g);
  if (check) *rows_changed_out = rows_changed<W>(first);
  for (int n = 0; n < N; ++n) jobs[n].sum = s[n];
}

// Two blocks share each concentration's broadcast; with AVX-512 a broadcast used once is folded
// into the multiplication instead, which spares a shuffle per concentration.
template <int W>
void all_right_hand_sides(FitJob& job, int padded) {
  constexpr int kBlocks = W == 8 ? 1 : 2;
  int g = 0;
  for (; g + kBlocks * W <= padded; g += kBlocks * W) right_hand_sides<W, kBlocks>(job, g);
  if (g < padded) right_hand_sides<W, 1>(job, g);
}

// N jobs on the same spectra and grid, each with its own constants.
template <int W, int N, class T>
void run_fits(FitJob* jobs) {
  FitJob& first = jobs[0];
  for (int n = 0; n < N; ++n) concentrations<W>(jobs[n]);
  if (first.ng == 0) {
    for (int n = 0; n < N; ++n) {
      for (int u = 0; u < first.nu; ++u) store_form_conc(jobs[n], u);
      jobs[n].sum = 0;
    }
    return;
  }
  for (int n = 0; n < N; ++n) {
    normal_matrix<W>(jobs[n]);
    eliminate(jobs[n]);
  }
  const int padded = (first.ng + W - 1) / W * W;
  // With the same grid and spectra as last time, the absorbances are very likely the same:
  // fit with them and check the rows meanwhile; if they changed, gather and fit again.
  bool check = same_key(first);
  if (!check) gather<T>(first, padded);
  for (;;) {
    for (int n = 0; n < N; ++n) {
      jobs[n].at = first.at;
      all_right_hand_sides<W>(jobs[n], padded);
      solve<W>(jobs[n], padded);
    }
    bool changed = false;
    residual_sums<W, N>(jobs, check ? &changed : nullptr);
    if (!changed) return;
    gather<T>(first, padded);
    check = false;
  }
}

// One job, or two that share the first's absorbances.
template <int W, class T>
void run_jobs(FitJob* jobs, int n) {
  if (n == 2)
    run_fits<W, 2, T>(jobs);
  else
    run_fits<W, 1, T>(jobs);
}

}  // namespace
}  // namespace ferolan::fit_grid
