// The dA/dpH–pH diagram: slopes, mirroring, user coordinates, the pH read-out, and the data
// sets for which no scale exists.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/recording_canvas.h"
#include "window/view/plots.h"

namespace ferolan::testing {
namespace {

struct Diagram : ::testing::Test {
  std::unique_ptr<State> st = std::make_unique<State>();
  PlotView view;
  DataSet& d = st->data;
  RecordingCanvas box;

  // Spectra at the given pH; spectrum s has absorbance base[s] at each of `points` points.
  void fill(const std::vector<float>& ph, const std::vector<float>& base, int points) {
    d.resize(static_cast<int>(ph.size()), points);
    for (size_t s = 1; s <= ph.size(); ++s) {
      d.ph_values[s] = ph[s - 1];
      for (int w = 1; w <= points; ++w) d.absorbance[w][s] = base[s - 1];
    }
  }
  void draw() { picpH(d, view, box); }
};

TEST_F(Diagram, SlopesAreMirroredIntoTheirUserCoordinates) {
  // Change 0.1 per point between pH 2 and 4, 0.3 between 4 and 6, at 100 points: slopes 5, 15.
  fill({2, 4, 6}, {0.2f, 0.3f, 0.6f}, 100);
  d.spectrum_used[2] = 0;  // excluded spectra still take part
  draw();
  EXPECT_EQ(1, box.clears);
  ASSERT_EQ(1, box.scales);
  EXPECT_EQ(2, box.scale_left);
  EXPECT_EQ(4, box.scale_width);
  EXPECT_NEAR(5, box.scale_top, 1e-3);
  EXPECT_NEAR(10, box.scale_height, 1e-3);
  ASSERT_EQ(2u, box.ops.size());
  EXPECT_EQ(DrawOp::Point, box.ops[0].kind);
  EXPECT_EQ(3, box.ops[0].x);
  EXPECT_NEAR(15, box.ops[0].y, 1e-3);  // the smaller slope on the bottom edge
  EXPECT_EQ(DrawOp::Line, box.ops[1].kind);
  EXPECT_EQ(5, box.ops[1].x);
  EXPECT_NEAR(5, box.ops[1].y, 1e-3);  // the larger on the top edge
  const PlotView& p = view;
  EXPECT_TRUE(p.p1_scaled);
  EXPECT_EQ(2, p.p1_left);
  EXPECT_EQ(4, p.p1_width);
  EXPECT_NEAR(5, p.p1_top, 1e-3);
  EXPECT_NEAR(10, p.p1_height, 1e-3);
}

TEST_F(Diagram, SlopesSumOverEveryPointAndKeepTheirSign) {
  // Falling pH along the series: negative slopes, hi stays 0, the largest absolute slope at
  // the bottom, the pH axis running from high to low.
  fill({6, 4, 2}, {0.6f, 0.3f, 0.2f}, 100);
  draw();
  ASSERT_EQ(1, box.scales);
  EXPECT_EQ(6, box.scale_left);
  EXPECT_EQ(-4, box.scale_width);
  EXPECT_NEAR(-15, box.scale_top, 1e-3);
  EXPECT_NEAR(15, box.scale_height, 1e-3);
  ASSERT_EQ(2u, box.ops.size());
  EXPECT_EQ(5, box.ops[0].x);
  EXPECT_NEAR(0, box.ops[0].y, 1e-3);
  EXPECT_EQ(3, box.ops[1].x);
  EXPECT_NEAR(-10, box.ops[1].y, 1e-3);
}

TEST_F(Diagram, APolylineThroughEveryInterval) {
  fill({1, 2, 3, 5, 9}, {0, 1, 3, 4, 4.5f}, 2);  // slopes 2, 4, 1, 0.25
  draw();
  ASSERT_EQ(4u, box.ops.size());
  const double x[] = {1.5, 2.5, 4, 7};
  const double y[] = {0.25f + (4 - 2), 0.25f + (4 - 4), 0.25f + (4 - 1), 0.25f + (4 - 0.25f)};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(i ? DrawOp::Line : DrawOp::Point, box.ops[i].kind);
    EXPECT_EQ(kBlack, box.ops[i].colour);
    EXPECT_DOUBLE_EQ(x[i], box.ops[i].x);
    EXPECT_FLOAT_EQ(y[i], box.ops[i].y);
  }
}

TEST_F(Diagram, NoScaleLeavesTheBoxClearAndNoReadOut) {
  struct Case {
    const char* name;
    std::vector<float> ph, base;
  } cases[] = {
      {"one_spectrum", {5}, {0.5f}},
      {"equal_neighbouring_ph", {2, 3, 3, 4}, {0.1f, 0.2f, 0.3f, 0.5f}},
      {"two_spectra_rising", {2, 4}, {0.1f, 0.5f}},
      {"identical_spectra", {2, 4, 6}, {0.5f, 0.5f, 0.5f}},
      {"zero_ph_span", {3, 3}, {0.1f, 0.2f}},
      {"slopes_beyond_single", {2, 3, 4}, {-3e38f, 3e38f, 0}},
  };
  for (const Case& c : cases) {
    fill({2, 4, 6}, {0.25f, 0.375f, 0.75f}, 10);
    draw();
    ASSERT_TRUE(view.p1_scaled);
    fill(c.ph, c.base, 10);
    const int scales = box.scales;
    draw();
    EXPECT_TRUE(box.ops.empty()) << c.name;
    EXPECT_EQ(scales, box.scales) << c.name;
    EXPECT_FALSE(view.p1_scaled) << c.name;
    EXPECT_EQ("", picture1_readout(d, view, 85, '.')) << c.name;
  }
}

TEST_F(Diagram, TwoSpectraWithFallingPhStillHaveAScale) {
  fill({4, 2}, {0.5f, 0.1f}, 10);  // one negative slope: lo < hi = 0
  draw();
  EXPECT_EQ(1, box.scales);
  ASSERT_EQ(1u, box.ops.size());
}

TEST_F(Diagram, ReadOutShowsThePhUnderThePointer) {
  fill({2, 4, 12}, {0.1f, 0.2f, 0.6f}, 5);
  draw();
  ASSERT_TRUE(view.p1_scaled);
  // Picture1's drawing area is 170 pixels wide: pH 2 at x = 0, pH 12 at x = 170.
  EXPECT_EQ(" 2.0 ", picture1_readout(d, view, 0, '.'));
  EXPECT_EQ(" 7.3 ", picture1_readout(d, view, 5.26 * 17, '.'));
  EXPECT_EQ(" 7,3 ", picture1_readout(d, view, 5.26 * 17, ','));
  EXPECT_EQ(" 12.0 ", picture1_readout(d, view, 170, '.'));
  d.n_spectra = 1;
  EXPECT_EQ("", picture1_readout(d, view, 85, '.'));
}

}  // namespace
}  // namespace ferolan::testing
