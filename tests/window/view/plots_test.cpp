// The measured, calculated and forms' spectra plots: their pixel mappings, colours, guards
// against an undefined scale, and the pointer read-outs.
#include "window/view/plots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "engine/model/fit.h"
#include "support/recording_canvas.h"

namespace ferolan::testing {
namespace {

struct Plots : ::testing::Test {
  std::unique_ptr<State> st = std::make_unique<State>();
  PlotView view;
  DataSet& d = st->data;
  RecordingCanvas spectrs, pict_e;

  // Wavelengths first, first + step, ...; absorbance a(w, s); every spectrum included.
  void fill(int spectra, int points, int first, int step, float (*a)(int, int)) {
    d.resize(spectra, points);
    size_fit(d, st->calc);
    d.a_max = 0;
    for (int w = 1; w <= points; ++w) {
      d.wavelengths[w] = static_cast<int16_t>(first + step * (w - 1));
      for (int s = 1; s <= spectra; ++s) {
        d.absorbance[w][s] = a(w, s);
        d.a_max = std::max<double>(d.a_max, a(w, s));
      }
    }
    for (int s = 1; s <= spectra; ++s) d.spectrum_used[s] = 1;
  }
  void draw() { vyvid_vymiryanyh_spectriv(d, view, spectrs); }
  double y(float a) const { return 251 - a / d.a_max * 250; }
};

float ramp(int w, int s) {
  return 0.1f * w * s;
}

TEST_F(Plots, MeasuredSpectraSpanTheBox) {
  fill(2, 5, 300, 100, ramp);  // 300..700 nm, a_max = 1.0
  draw();
  EXPECT_EQ(700, view.wl_last);
  ASSERT_EQ(2u * 6, spectrs.ops.size());
  // Spectrum 1: a point at x = 1, then a line to every point, all black.
  EXPECT_EQ(DrawOp::Point, spectrs.ops[0].kind);
  EXPECT_DOUBLE_EQ(1, spectrs.ops[0].x);
  EXPECT_DOUBLE_EQ(y(ramp(1, 1)), spectrs.ops[0].y);
  const double xs[] = {1, 101, 201, 301, 401};
  for (int w = 1; w <= 5; ++w) {
    EXPECT_EQ(DrawOp::Line, spectrs.ops[w].kind);
    EXPECT_DOUBLE_EQ(xs[w - 1], spectrs.ops[w].x);
    EXPECT_DOUBLE_EQ(y(ramp(w, 1)), spectrs.ops[w].y);
  }
  // The absorbance equal to a_max touches y = 1.
  EXPECT_DOUBLE_EQ(401, spectrs.ops[11].x);
  EXPECT_DOUBLE_EQ(1, spectrs.ops[11].y);
  for (const DrawOp& op : spectrs.ops) EXPECT_EQ(kBlack, op.colour);
}

TEST_F(Plots, DescendingWavelengthsPutTheFirstAtTheLeft) {
  fill(1, 3, 700, -200, ramp);
  draw();
  EXPECT_EQ(300, view.wl_last);
  ASSERT_EQ(4u, spectrs.ops.size());
  EXPECT_DOUBLE_EQ(1, spectrs.ops[1].x);    // 700 nm
  EXPECT_DOUBLE_EQ(201, spectrs.ops[2].x);  // 500 nm
  EXPECT_DOUBLE_EQ(401, spectrs.ops[3].x);  // 300 nm
  EXPECT_EQ(" A = 0.000 (700 нм) ", spectrs_readout(d, view, 1, 251, '.'));
}

TEST_F(Plots, ExcludedSpectraAreNeitherBlackNorRed) {
  fill(3, 4, 400, 10, ramp);
  d.spectrum_used[2] = 0;
  for (int w = 1; w <= 4; ++w) st->calc.eps_forms[w][1] = 1;
  for (int s = 1; s <= 3; ++s) st->calc.form_conc[s][1] = 0.5f;
  draw();
  EXPECT_EQ(2u * 5, spectrs.ops.size());
  EXPECT_DOUBLE_EQ(y(ramp(1, 3)), spectrs.ops[5].y);  // spectrum 3, not 2
  spectrs.ops.clear();
  vyvid_rozrahovanyh_spectriv(d, view, st->calc, spectrs);
  EXPECT_EQ(2u * 4, spectrs.ops.size());
}

TEST_F(Plots, CalculatedSpectraAreLightRedOverTheMeasured) {
  fill(1, 3, 300, 200, ramp);  // a_max 0.3
  // A_calc(w) = 0.2·eps(w, 2) + 0.1·eps(w, 5).
  st->calc.form_conc[1][2] = 0.2f;
  st->calc.form_conc[1][5] = 0.1f;
  const float e2[] = {0, 1.5f, 0, 0.3f}, e5[] = {0, 0, 3, 0};
  for (int w = 1; w <= 3; ++w) {
    st->calc.eps_forms[w][2] = e2[w];
    st->calc.eps_forms[w][5] = e5[w];
  }
  draw();
  const int clears = spectrs.clears;
  vyvid_rozrahovanyh_spectriv(d, view, st->calc, spectrs);
  EXPECT_EQ(clears, spectrs.clears);
  ASSERT_EQ(4u + 3u, spectrs.ops.size());
  const DrawOp* red = &spectrs.ops[4];
  const double want_y[] = {251 - 0.3 / 0.3f * 250, 251 - 0.3 / 0.3f * 250,
                           251 - static_cast<double>(0.06f) / 0.3f * 250};
  EXPECT_EQ(DrawOp::Point, red[0].kind);
  EXPECT_DOUBLE_EQ(1, red[0].x);
  EXPECT_DOUBLE_EQ(201, red[1].x);
  EXPECT_DOUBLE_EQ(401, red[2].x);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(want_y[k], red[k].y, 1e-4) << k;
    EXPECT_EQ(kLightRed, red[k].colour);
  }
}

TEST_F(Plots, UndefinedScalesLeaveTheBoxClear) {
  struct Case {
    const char* name;
    void (*setup)(DataSet&);
  } cases[] = {
      {"a_max_0", [](DataSet& d) { d.a_max = 0; }},
      {"all_negative", [](DataSet& d) { d.a_max = -1; }},
      {"single_point", [](DataSet& d) { d.n_wavelengths = 1; }},
      {"same_first_and_last", [](DataSet& d) { d.wavelengths[3] = d.wavelengths[1]; }},
      {"no_data", [](DataSet& d) { d.n_wavelengths = 0; }},
  };
  for (const Case& c : cases) {
    fill(2, 3, 400, 5, ramp);
    c.setup(d);
    spectrs.ops.push_back({DrawOp::Point, 5, 5, 0});
    draw();
    EXPECT_TRUE(spectrs.ops.empty()) << c.name;
    vyvid_rozrahovanyh_spectriv(d, view, st->calc, spectrs);
    EXPECT_TRUE(spectrs.ops.empty()) << c.name;
  }
}

TEST_F(Plots, FormsSpectraInTheirColoursBelowTheLegend) {
  fill(2, 3, 400, 50, ramp);
  view.wl_last = 0;
  for (int w = 1; w <= 3; ++w)
    for (int j = 1; j <= 3; ++j) st->calc.eps_forms[w][j] = 100.0f * j * w;  // top 900
  const int measured_clears = spectrs.clears;
  vyvid_spectriv_form(d, view, st->calc, spectrs, pict_e);
  EXPECT_EQ(measured_clears + 1, spectrs.clears);  // the measured spectra are redrawn
  EXPECT_EQ(500, view.wl_last);
  ASSERT_EQ(6u * 3, pict_e.ops.size());
  const float e_top = static_cast<float>(900.0f * 1.15);
  const int colours[] = {kBlack, kGreen, kRed, kLightBlue, kLightRed, kLightMagenta};
  for (int j = 1; j <= 6; ++j) {
    const DrawOp* f = &pict_e.ops[(j - 1) * 3];
    EXPECT_EQ(DrawOp::Point, f[0].kind);
    EXPECT_EQ(kBlack, f[0].colour) << "the first pixel is in the foreground colour";
    EXPECT_DOUBLE_EQ(1, f[0].x);
    EXPECT_DOUBLE_EQ(201, f[1].x);
    EXPECT_DOUBLE_EQ(401, f[2].x);
    for (int k = 1; k < 3; ++k) EXPECT_EQ(colours[j - 1], f[k].colour) << j;
    for (int k = 0; k < 3; ++k) {
      const float e = st->calc.eps_forms[k + 1][j];
      EXPECT_DOUBLE_EQ(251 - e / static_cast<double>(e_top) * 250, f[k].y);
    }
  }
  // The largest value lies just under the legend; absent forms run along the bottom.
  EXPECT_NEAR(251 - 250 / 1.15, pict_e.ops[8].y, 1e-4);
  EXPECT_DOUBLE_EQ(251, pict_e.ops[17].y);
}

TEST_F(Plots, FormsPlotWithoutScaleIsLeftClear) {
  fill(2, 3, 400, 50, ramp);
  pict_e.ops.push_back({DrawOp::Point, 5, 5, 0});
  vyvid_spectriv_form(d, view, st->calc, spectrs, pict_e);  // every eps 0
  EXPECT_TRUE(pict_e.ops.empty());
  EXPECT_EQ(2u * 4, spectrs.ops.size());
  st->calc.eps_forms[2][3] = 5;
  d.n_wavelengths = 1;  // a single point has no wavelength axis
  vyvid_spectriv_form(d, view, st->calc, spectrs, pict_e);
  EXPECT_TRUE(pict_e.ops.empty());
}

TEST_F(Plots, ReadOuts) {
  fill(2, 5, 300, 100, ramp);
  draw();
  EXPECT_EQ(" A = 0.500 (500 нм) ", spectrs_readout(d, view, 201, 126, '.'));
  EXPECT_EQ(" A = 0,500 (500 нм) ", spectrs_readout(d, view, 201, 126, ','));
  EXPECT_EQ(" A = 1.000 (700 нм) ", spectrs_readout(d, view, 401, 1, '.'));
  EXPECT_EQ(" A = 0.412 (450 нм) ", spectrs_readout(d, view, 151, 251 - 103, '.'));
  EXPECT_EQ(" 500 нм ", pict_e_readout(d, view, 201, '.'));
  EXPECT_EQ(" 300 нм ", pict_e_readout(d, view, 1, '.'));
  d.n_spectra = 1;  // one spectrum: the forms' tooltip stays as it is
  EXPECT_EQ("", pict_e_readout(d, view, 201, '.'));
  EXPECT_EQ(" A = 0.500 (500 нм) ", spectrs_readout(d, view, 201, 126, '.'));
}

TEST_F(Plots, ReadOutIsTheInverseOfTheMapping) {
  fill(2, 2, 250, 600, ramp);  // 250..850 nm
  draw();
  for (int nm = 250; nm <= 850; nm += 37) {
    const double x = (nm - 250) / 600.0f * 400.0f + 1.0f;
    EXPECT_EQ(std::string(" ") + std::to_string(nm) + " нм ", pict_e_readout(d, view, x, '.'))
        << nm;
  }
}

}  // namespace
}  // namespace ferolan::testing
