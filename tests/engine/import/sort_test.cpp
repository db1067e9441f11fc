// The imports' sort by pH: adjacent swaps on strictly greater pH, so equal pH keep their order
// and a pH that is no number stays where it is; ph_order names where each spectrum went.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "engine/import/import.h"

namespace ferolan {
namespace {

// The passes as the window's import makes them, moving every absorbance row at each swap.
void literal_sort(DataSet& d) {
  for (int pass = 1; pass <= d.n_spectra; ++pass)
    for (int s = 1; s < d.n_spectra; ++s) {
      if (!(d.ph_values[s] > d.ph_values[s + 1])) continue;
      std::swap(d.ph_values[s], d.ph_values[s + 1]);
      for (int w = 1; w <= d.n_wavelengths; ++w)
        std::swap(d.absorbance[w][s], d.absorbance[w][s + 1]);
    }
}

TEST(SortByPh, MovesEverySpectrumAsThePassesDo) {
  const float nan = std::nanf("");
  const std::vector<std::vector<float>> cases = {
      {7, 3, 5},
      {1, 2, 3, 4},
      {4, 3, 2, 1},
      {5, 2, 5, 2, 5},          // ties keep their order
      {6, nan, 2, 9, 1},        // a pH that is no number blocks the swaps around it
      {-0.0f, 0.0f, -0.0f, 3},  // +0 and -0 are equal
      {8},
      {},
  };
  for (const auto& ph : cases) {
    SCOPED_TRACE(::testing::PrintToString(ph));
    const int n = static_cast<int>(ph.size());
    DataSet d(n, 3);
    d.reserve(n + 4, 5);  // entries beyond the counts stay where they are
    for (int s = 1; s <= n; ++s) {
      d.ph_values[s] = ph[s - 1];
      for (int w = 1; w <= 3; ++w) d.absorbance[w][s] = static_cast<float>(10 * w + s);
    }
    d.ph_values[n + 1] = -5;
    d.absorbance[4][1] = 99;  // a row beyond the points
    DataSet want = d;
    literal_sort(want);
    const std::vector<int> order = ph_order(d);
    const DataSet given = d;
    sort_by_ph(d);
    ASSERT_EQ(order.size(), ph.size());
    for (int s = 1; s <= n; ++s) {
      // Bit for bit: the sign of a zero and a NaN's place count.
      EXPECT_EQ(std::signbit(d.ph_values[s]), std::signbit(want.ph_values[s])) << s;
      EXPECT_EQ(std::isnan(d.ph_values[s]), std::isnan(want.ph_values[s])) << s;
      if (!std::isnan(want.ph_values[s])) {
        EXPECT_EQ(d.ph_values[s], want.ph_values[s]) << s;
      }
      for (int w = 1; w <= 3; ++w) {
        EXPECT_EQ(d.absorbance[w][s], want.absorbance[w][s]) << w << "," << s;
        EXPECT_EQ(given.absorbance[w][order[s - 1] + 1], d.absorbance[w][s]) << w << "," << s;
      }
    }
    EXPECT_EQ(d.ph_values[n + 1], -5);
    EXPECT_EQ(d.absorbance[4][1], 99);
  }
}

}  // namespace
}  // namespace ferolan
