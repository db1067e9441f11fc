#include "engine/analysis/linalg.h"

#include <gtest/gtest.h>

#include <cmath>

namespace ferolan::analysis {
namespace {

// rows × cols matrix sum_k s_k u_k v_kᵀ from orthonormal Walsh-type columns, so the singular
// values are known exactly.
std::vector<double> from_factors(int rows, int cols, const std::vector<double>& s) {
  auto walsh = [](int k, int i, int len) {
    return ((__builtin_popcount(k & i) % 2) ? -1.0 : 1.0) / std::sqrt(double(len));
  };
  std::vector<double> a(static_cast<size_t>(rows) * cols, 0.0);
  for (size_t k = 0; k < s.size(); ++k)
    for (int r = 0; r < rows; ++r)
      for (int c = 0; c < cols; ++c)
        a[r * cols + c] += s[k] * walsh(int(k), r, rows) * walsh(int(k) * 3 % cols, c, cols);
  return a;
}

TEST(SingularValues, RecoversKnownValuesInEitherOrientation) {
  struct Case {
    int rows, cols;
    std::vector<double> s;
  };
  const Case cases[] = {
      {8, 4, {5.0, 2.0, 0.25, 1e-6}},
      {4, 8, {3.0, 1.0}},         // wider than tall: works on the transpose
      {16, 16, {7.0, 7.0, 1.0}},  // a repeated value
  };
  for (const Case& c : cases) {
    const std::vector<double> sv =
        singular_values(from_factors(c.rows, c.cols, c.s), c.rows, c.cols);
    ASSERT_EQ(sv.size(), size_t(std::min(c.rows, c.cols)));
    std::vector<double> want = c.s;
    want.resize(sv.size(), 0.0);
    for (size_t i = 0; i < sv.size(); ++i)
      EXPECT_NEAR(sv[i], want[i], 1e-12) << c.rows << "x" << c.cols << " i=" << i;
  }
}

TEST(SingularValues, MatchesSquareRootsOfGramEigenvaluesOfAGeneralMatrix) {
  // 3 × 2 with AᵀA = [[35, 44], [44, 56]]: eigenvalues 45.5 ± sqrt(10.5² + 44²).
  const std::vector<double> a = {1, 2, 3, 4, 5, 6};
  const std::vector<double> sv = singular_values(a, 3, 2);
  const double d = std::sqrt(10.5 * 10.5 + 44.0 * 44.0);
  EXPECT_NEAR(sv[0], std::sqrt(45.5 + d), 1e-12);
  EXPECT_NEAR(sv[1], std::sqrt(45.5 - d), 1e-12);
}

TEST(Invert, InvertsWithPivotingAndRefusesSingular) {
  std::vector<double> a = {0, 2, 1, 1, 1, 0, 3, 0, 1};  // zero leading entry needs a swap
  const std::vector<double> orig = a;
  ASSERT_TRUE(invert(a, 3));
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += orig[r * 3 + k] * a[k * 3 + c];
      EXPECT_NEAR(sum, r == c ? 1.0 : 0.0, 1e-14);
    }
  std::vector<double> singular = {1, 2, 2, 4};
  EXPECT_FALSE(invert(singular, 2));
}

}  // namespace
}  // namespace ferolan::analysis
