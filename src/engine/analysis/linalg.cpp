#include "engine/analysis/linalg.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace ferolan::analysis {

std::vector<double> singular_values(const std::vector<double>& a, int rows, int cols) {
  // Work on the orientation with fewer columns: the rotations cost columns² × rows.
  const bool transpose = cols > rows;
  const int m = transpose ? cols : rows;
  const int n = transpose ? rows : cols;
  std::vector<std::vector<double>> col(n, std::vector<double>(m));
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const double v = a[static_cast<size_t>(r) * cols + c];
      if (transpose)
        col[r][c] = v;
      else
        col[c][r] = v;
    }

  // Hestenes: rotate column pairs until every pair is orthogonal to working precision; the
  // column norms are then the singular values. Converges quadratically, a few sweeps.
  const double tol = 1e-15;
  for (int sweep = 0; sweep < 60; ++sweep) {
    bool rotated = false;
    for (int p = 0; p < n - 1; ++p) {
      for (int q = p + 1; q < n; ++q) {
        double alpha = 0, beta = 0, gamma = 0;
        for (int i = 0; i < m; ++i) {
          alpha += col[p][i] * col[p][i];
          beta += col[q][i] * col[q][i];
          gamma += col[p][i] * col[q][i];
        }
        if (gamma == 0 || std::abs(gamma) <= tol * std::sqrt(alpha * beta)) continue;
        rotated = true;
        const double zeta = (beta - alpha) / (2 * gamma);
        const double t = std::copysign(1.0, zeta) / (std::abs(zeta) + std::sqrt(1 + zeta * zeta));
        const double c = 1 / std::sqrt(1 + t * t);
        const double s = c * t;
        for (int i = 0; i < m; ++i) {
          const double xp = col[p][i], xq = col[q][i];
          col[p][i] = c * xp - s * xq;
          col[q][i] = s * xp + c * xq;
        }
      }
    }
    if (!rotated) break;
  }

  std::vector<double> sv(n);
  for (int k = 0; k < n; ++k) {
    double sum = 0;
    for (double x : col[k]) sum += x * x;
    sv[k] = std::sqrt(sum);
  }
  std::sort(sv.begin(), sv.end(), std::greater<>());
  return sv;
}

bool invert(std::vector<double>& a, int n) {
  auto at = [&](int r, int c) -> double& { return a[static_cast<size_t>(r) * n + c]; };
  double scale = 0;
  for (int i = 0; i < n; ++i) scale = std::max(scale, std::abs(at(i, i)));
  if (!(scale > 0)) return false;
  std::vector<double> inv(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; ++i) inv[static_cast<size_t>(i) * n + i] = 1;
  auto iv = [&](int r, int c) -> double& { return inv[static_cast<size_t>(r) * n + c]; };
  for (int k = 0; k < n; ++k) {
    int piv = k;
    for (int r = k + 1; r < n; ++r)
      if (std::abs(at(r, k)) > std::abs(at(piv, k))) piv = r;
    if (!(std::abs(at(piv, k)) > 1e-13 * scale)) return false;
    for (int c = 0; c < n; ++c) {
      std::swap(at(k, c), at(piv, c));
      std::swap(iv(k, c), iv(piv, c));
    }
    const double d = at(k, k);
    for (int c = 0; c < n; ++c) {
      at(k, c) /= d;
      iv(k, c) /= d;
    }
    for (int r = 0; r < n; ++r) {
      if (r == k || at(r, k) == 0) continue;
      const double f = at(r, k);
      for (int c = 0; c < n; ++c) {
        at(r, c) -= f * at(k, c);
        iv(r, c) -= f * iv(k, c);
      }
    }
  }
  a = inv;
  return true;
}

}  // namespace ferolan::analysis
