#include <gtest/gtest.h>

#include <initializer_list>

#include "engine/model/fit.h"

namespace ferolan {
namespace {

// A system of order n from its rows (matrix entries followed by the right-hand side).
CalcState system_of(std::initializer_list<std::initializer_list<double>> rows) {
  CalcState c;
  int i = 0;
  for (const auto& row : rows) {
    ++i;
    int j = 0;
    for (double v : row) {
      ++j;
      if (j <= static_cast<int>(rows.size()))
        c.norm_matrix[i][j] = v;
      else
        c.norm_rhs[i] = v;
    }
  }
  c.system_size = static_cast<int16_t>(rows.size());
  for (auto& x : c.lsq_solution) x = 99;  // a solve must overwrite 1..n
  return c;
}

TEST(Systema, DiagonalSystemDividesOnly) {
  CalcState c = system_of({{2, 0, 0, 3}, {0, 4, 0, 1}, {0, 0, 8, -2}});
  systema(c);
  EXPECT_EQ(c.lsq_solution[1], 1.5);
  EXPECT_EQ(c.lsq_solution[2], 0.25);
  EXPECT_EQ(c.lsq_solution[3], -0.25);
  EXPECT_EQ(c.norm_matrix[2][2], 4);
  EXPECT_EQ(c.lsq_solution[4], 99);  // beyond the order
}

TEST(Systema, EliminatesBottomUpWithTheRowAbove) {
  CalcState c = system_of({{1, 2, 3, 1}, {2, 5, 4, 2}, {4, 1, 6, 3}});
  systema(c);
  // Row 2 became 0.5 · row 2 − row 1; with the pivot row it would be row 2 − 2 · row 1.
  EXPECT_EQ(c.norm_matrix[2][1], 0);
  EXPECT_EQ(c.norm_matrix[2][2], 0.5);
  EXPECT_EQ(c.norm_matrix[2][3], -1);
  EXPECT_EQ(c.norm_rhs[2], 0);
  EXPECT_EQ(c.norm_matrix[1][1], 1);  // the first row is never changed
  EXPECT_NEAR(c.lsq_solution[1], 0.65, 1e-15);
  EXPECT_NEAR(c.lsq_solution[2], 0.1, 1e-15);
  EXPECT_NEAR(c.lsq_solution[3], 0.05, 1e-15);
}

TEST(Systema, ZeroRowsAndColumnsGiveZeroUnknowns) {
  CalcState c;
  const double m[3][3] = {{4, 1, 2}, {1, 5, 1}, {2, 1, 6}};
  const double b[3] = {7, -3, 5};
  for (int i = 1; i <= 3; ++i) {
    for (int j = 1; j <= 3; ++j) c.norm_matrix[i][j] = m[i - 1][j - 1];
    c.norm_rhs[i] = b[i - 1];
  }
  c.system_size = 6;
  systema(c);
  for (int i = 4; i <= 6; ++i) EXPECT_EQ(c.lsq_solution[i], 0) << i;
  for (int i = 0; i < 3; ++i) {
    double lhs = 0;
    for (int j = 0; j < 3; ++j) lhs += m[i][j] * c.lsq_solution[j + 1];
    EXPECT_NEAR(lhs, b[i], 1e-12) << i;
  }
}

TEST(Systema, ZeroBelowTheDiagonalSkipsTheRow) {
  CalcState c = system_of({{2, 1, 1, 4}, {0, 3, 1, 5}, {0, 0, 4, 8}});
  systema(c);
  EXPECT_EQ(c.norm_matrix[2][2], 3);
  EXPECT_EQ(c.norm_matrix[3][3], 4);
  EXPECT_EQ(c.lsq_solution[3], 2);
  EXPECT_EQ(c.lsq_solution[2], 1);
  EXPECT_EQ(c.lsq_solution[1], 0.5);
}

TEST(Systema, ZeroAboveMakesTheRowTheNegatedRowAbove) {
  CalcState c = system_of({{0, 1, 4}, {2, 3, 5}});
  systema(c);
  EXPECT_EQ(c.norm_matrix[2][1], 0);
  EXPECT_EQ(c.norm_matrix[2][2], -1);
  EXPECT_EQ(c.norm_rhs[2], -4);
  EXPECT_EQ(c.lsq_solution[2], 4);
  EXPECT_EQ(c.lsq_solution[1], 0);  // its pivot is 0
}

TEST(Systema, SingularLastPivotGivesZero) {
  CalcState c = system_of({{1, 2, 3}, {2, 4, 7}});
  systema(c);
  EXPECT_EQ(c.norm_matrix[2][2], 0);
  EXPECT_EQ(c.lsq_solution[2], 0);
  EXPECT_EQ(c.lsq_solution[1], 3);  // solved as if the second unknown were 0
}

TEST(Systema, OrderOneAndAllZero) {
  CalcState one = system_of({{4, 2}});
  systema(one);
  EXPECT_EQ(one.lsq_solution[1], 0.5);
  CalcState zero;
  zero.system_size = 6;
  systema(zero);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(zero.lsq_solution[i], 0);
}

TEST(Systema, OrderOutsideTheArraysStaysInside) {
  CalcState c = system_of({{2, 0, 2}, {0, 2, 4}});
  c.system_size = 0;
  systema(c);
  EXPECT_EQ(c.lsq_solution[1], 99);
  c.system_size = 40;  // treated as the largest order
  systema(c);
  EXPECT_EQ(c.lsq_solution[1], 1);
  EXPECT_EQ(c.lsq_solution[2], 2);
}

}  // namespace
}  // namespace ferolan
