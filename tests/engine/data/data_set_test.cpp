// A data set from arrays: every refusal with its code and place, then what a good set becomes.
#include "engine/data/data_set.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "engine/import/import.h"

namespace ferolan {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct Arrays {
  std::vector<double> ph = {3, 5, 7};
  std::vector<double> wl = {400, 401};
  std::vector<double> a = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};  // spectrum by spectrum
  double conc = 1e-4;
};

TEST(DataSetFromArrays, RefusesBadNumbersWithTheirCodeAndPlace) {
  struct Case {
    const char* what;
    void (*spoil)(Arrays&);
    const char* code;
    int spectrum, point;
  } cases[] = {
      {"no spectrum", [](Arrays& x) { x.ph.clear(), x.a.clear(); }, "no_spectra", 0, 0},
      {"no point", [](Arrays& x) { x.wl.clear(), x.a.clear(); }, "no_points", 0, 0},
      {"nothing at all",
       [](Arrays& x) {
         x = Arrays{{}, {}, {}, 1};
       },
       "no_spectra", 0, 0},
      {"one absorbance short", [](Arrays& x) { x.a.pop_back(); }, "size_mismatch", 0, 0},
      {"one absorbance too many", [](Arrays& x) { x.a.push_back(0); }, "size_mismatch", 0, 0},
      {"points × spectra the other way", [](Arrays& x) { x.wl.push_back(402); }, "size_mismatch", 0,
       0},
      {"concentration nan", [](Arrays& x) { x.conc = kNan; }, "concentration_not_a_number", 0, 0},
      {"concentration inf", [](Arrays& x) { x.conc = -kInf; }, "concentration_not_a_number", 0, 0},
      {"concentration beyond a float", [](Arrays& x) { x.conc = 1e39; },
       "concentration_not_a_number", 0, 0},
      {"concentration 0", [](Arrays& x) { x.conc = 0; }, "concentration_not_positive", 0, 0},
      {"concentration below a float's least", [](Arrays& x) { x.conc = 1e-50; },
       "concentration_not_positive", 0, 0},
      {"concentration negative", [](Arrays& x) { x.conc = -1e-4; }, "concentration_not_positive", 0,
       0},
      {"pH nan (a text read as nan)", [](Arrays& x) { x.ph[1] = kNan; }, "ph_not_a_number", 2, 0},
      {"pH inf", [](Arrays& x) { x.ph[2] = kInf; }, "ph_not_a_number", 3, 0},
      {"pH beyond a float", [](Arrays& x) { x.ph[0] = -1e39; }, "ph_not_a_number", 1, 0},
      {"pH whose [H+]^5 overflows", [](Arrays& x) { x.ph[1] = -70; }, "ph_out_of_range", 2, 0},
      {"wavelength nan", [](Arrays& x) { x.wl[1] = kNan; }, "wavelength_not_a_number", 0, 2},
      {"wavelength inf", [](Arrays& x) { x.wl[0] = kInf; }, "wavelength_not_a_number", 0, 1},
      {"wavelength past 16 bits", [](Arrays& x) { x.wl[1] = 40000; }, "wavelength_out_of_range", 0,
       2},
      {"wavelength rounding past 16 bits", [](Arrays& x) { x.wl[0] = 32767.5; },
       "wavelength_out_of_range", 0, 1},
      {"wavelength below 16 bits", [](Arrays& x) { x.wl[0] = -32769; }, "wavelength_out_of_range",
       0, 1},
      {"absorbance nan", [](Arrays& x) { x.a[1 * 2 + 1] = kNan; }, "absorbance_not_a_number", 2, 2},
      {"absorbance beyond a float", [](Arrays& x) { x.a[2 * 2 + 0] = 1e39; },
       "absorbance_not_a_number", 3, 1},
  };
  std::set<std::string> codes;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arrays x;
    c.spoil(x);
    const DataSetResult r = make_data_set(x.ph, x.wl, x.a, x.conc);
    EXPECT_FALSE(r);
    EXPECT_EQ(r.data, nullptr);
    EXPECT_EQ(r.problem.code, c.code);
    EXPECT_EQ(r.problem.spectrum, c.spectrum);
    EXPECT_EQ(r.problem.point, c.point);
    EXPECT_FALSE(r.problem.english.empty());
    EXPECT_FALSE(r.problem.ukrainian.empty());
    // The sentences name the place they refuse.
    for (int at : {c.spectrum, c.point})
      if (at > 0) {
        EXPECT_NE(r.problem.english.find(std::to_string(at)), std::string::npos);
        EXPECT_NE(r.problem.ukrainian.find("№" + std::to_string(at)), std::string::npos);
      }
    codes.insert(r.problem.code);
  }
  EXPECT_EQ(codes.size(), 10u);  // every code above is reachable
}

TEST(DataSetFromArrays, SortsByPhAsTheImportsDoAndFindsTheMaximum) {
  Arrays x;
  x.ph = {7, 3, 5, 3};
  x.wl = {400.5, 401.5, 250};  // stored as the window stores them: whole nm, halves to even
  x.a = {0.7,  0.71, 0.72,     // pH 7
         0.3,  0.31, -0.32,    // pH 3, first
         0.5,  0.51, 0.52,     // pH 5
         0.33, 0.34, 0.35};    // pH 3, second
  const DataSetResult r = make_data_set(x.ph, x.wl, x.a, x.conc);
  ASSERT_TRUE(r) << r.problem.english;
  const DataSet& d = *r.data;
  EXPECT_EQ(d.n_spectra, 4);
  EXPECT_EQ(d.n_wavelengths, 3);
  EXPECT_EQ(d.acid_conc, 1e-4f);
  const float ph[] = {3, 3, 5, 7};
  const float first[] = {0.3f, 0.33f, 0.5f, 0.7f};
  const float last[] = {-0.32f, 0.35f, 0.52f, 0.72f};
  for (int s = 1; s <= 4; ++s) {
    EXPECT_EQ(d.ph_values[s], ph[s - 1]);
    EXPECT_EQ(d.absorbance[1][s], first[s - 1]);
    EXPECT_EQ(d.absorbance[3][s], last[s - 1]);
    EXPECT_EQ(d.spectrum_used[s], 1);
  }
  EXPECT_EQ(d.wavelengths[1], 400);
  EXPECT_EQ(d.wavelengths[2], 402);
  EXPECT_EQ(d.wavelengths[3], 250);  // source order, not sorted
  EXPECT_EQ(d.a_max, 0.72f);
}

TEST(DataSetFromArrays, AllNegativeAbsorbancesGiveAMaximumOfZero) {
  Arrays x;
  for (double& v : x.a) v = -v;
  const DataSetResult r = make_data_set(x.ph, x.wl, x.a, x.conc);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.data->a_max, 0);
}

// The arrays of an imported file give back the data set the import gives.
TEST(DataSetFromArrays, TheExampleFileAsArraysIsTheImportedDataSet) {
  std::ifstream f(std::string(FEROLAN_EXAMPLES) + "/data.mdf", std::ios::binary);
  const std::string text(std::istreambuf_iterator<char>(f), {});
  auto parsed = std::make_unique<DataSet>();
  std::string problem;
  ASSERT_TRUE(parse_mdf(text, *parsed, problem)) << problem;
  const DataSet& p = *parsed;
  Arrays x;
  x.conc = p.acid_conc;
  x.ph.assign(p.ph_values.begin() + 1, p.ph_values.begin() + 1 + p.n_spectra);
  x.wl.assign(p.wavelengths.begin() + 1, p.wavelengths.begin() + 1 + p.n_wavelengths);
  x.a.clear();
  for (int s = 1; s <= p.n_spectra; ++s)
    for (int w = 1; w <= p.n_wavelengths; ++w) x.a.push_back(p.absorbance[w][s]);
  const DataSetResult r = make_data_set(x.ph, x.wl, x.a, x.conc);
  ASSERT_TRUE(r) << r.problem.english;
  sort_by_ph(*parsed);
  find_a_max(*parsed);
  const DataSet& d = *r.data;
  EXPECT_EQ(d.n_spectra, p.n_spectra);
  EXPECT_EQ(d.n_wavelengths, p.n_wavelengths);
  EXPECT_EQ(d.acid_conc, p.acid_conc);
  for (int s = 1; s <= d.n_spectra; ++s) {
    EXPECT_EQ(d.ph_values[s], p.ph_values[s]) << s;
    for (int w = 1; w <= d.n_wavelengths; ++w) EXPECT_EQ(d.absorbance[w][s], p.absorbance[w][s]);
  }
  for (int w = 1; w <= d.n_wavelengths; ++w) EXPECT_EQ(d.wavelengths[w], p.wavelengths[w]) << w;
  EXPECT_EQ(d.a_max, p.a_max);
}

// Beyond the window's 50 spectra × 1000 points the data set is taken whole, in memory as
// large as it needs, and sorted as a small one is.
TEST(DataSetFromArrays, AnySizeIsTakenWhole) {
  for (const auto& [ns, np] : {std::pair{51, 3}, std::pair{2, 1001}, std::pair{150, 2000}}) {
    SCOPED_TRACE(std::to_string(ns) + " x " + std::to_string(np));
    Arrays x;
    x.ph.clear();
    x.wl.clear();
    x.a.clear();
    // pH falling with the spectrum number, so that the sort reverses them.
    for (int s = 0; s < ns; ++s) x.ph.push_back(12.0 - 10.0 * s / ns);
    for (int w = 0; w < np; ++w) x.wl.push_back(200 + 0.5 * w);
    for (int s = 0; s < ns; ++s)
      for (int w = 0; w < np; ++w) x.a.push_back(s + w * 1e-4);
    const DataSetResult r = make_data_set(x.ph, x.wl, x.a, x.conc);
    ASSERT_TRUE(r) << r.problem.english;
    const DataSet& d = *r.data;
    ASSERT_EQ(d.n_spectra, ns);
    ASSERT_EQ(d.n_wavelengths, np);
    ASSERT_GE(d.spectra_capacity(), ns);
    ASSERT_GE(d.points_capacity(), np);
    for (int s = 1; s <= ns; ++s) {
      const int given = ns - s;  // 0-based spectrum of the arrays
      EXPECT_EQ(d.ph_values[s], static_cast<float>(x.ph[given])) << s;
      EXPECT_EQ(d.spectrum_used[s], 1);
      EXPECT_EQ(d.absorbance[1][s], static_cast<float>(x.a[given * np])) << s;
      EXPECT_EQ(d.absorbance[np][s], static_cast<float>(x.a[given * np + np - 1])) << s;
    }
    EXPECT_EQ(d.wavelengths[np], static_cast<int16_t>(std::nearbyint(x.wl[np - 1])));
    EXPECT_EQ(d.a_max, static_cast<float>(x.a[(ns - 1) * np + np - 1]));
  }
}

}  // namespace
}  // namespace ferolan

namespace ferolan {
namespace {

// data.mdf text of ns spectra (pH 1 + s / 10) and np points (200 + w nm).
std::string mdf_of(int ns, int np) {
  std::string t = "0.0001";
  for (int s = 1; s <= ns; ++s) (t += ' ') += std::to_string(1 + s / 10.0);
  t += "\n";
  for (int w = 1; w <= np; ++w) {
    t += std::to_string(200 + w);
    for (int s = 1; s <= ns; ++s) (t += ' ') += std::to_string(s * 0.001 + w * 1e-6);
    t += "\n";
  }
  return t;
}

// The engine reads a data.mdf whole and says when the window would not; the window's own
// reading stays at its 50 spectra and 1000 points.
TEST(MdfWhole, ReadsEverySpectrumAndPointAndNotesTheWindowsLimit) {
  struct Case {
    int ns, np;
    bool note;
  } cases[] = {{3, 5, false}, {50, 1000, false}, {51, 4, true}, {2, 1001, true}, {70, 1200, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.ns) + " x " + std::to_string(c.np));
    const std::string text = mdf_of(c.ns, c.np);
    DataSet d;
    std::string problem, note;
    ASSERT_TRUE(parse_mdf_whole(text, d, problem, note)) << problem;
    EXPECT_EQ(d.n_spectra, c.ns);
    EXPECT_EQ(d.n_wavelengths, c.np);
    EXPECT_EQ(d.wavelengths[c.np], 200 + c.np);
    EXPECT_EQ(d.ph_values[c.ns], static_cast<float>(1 + c.ns / 10.0));
    EXPECT_EQ(d.absorbance[c.np][c.ns], std::stof(std::to_string(c.ns * 0.001 + c.np * 1e-6)));
    EXPECT_EQ(!note.empty(), c.note) << note;
    auto window = std::make_unique<DataSet>();
    if (parse_mdf(text, *window, problem)) {
      EXPECT_LE(window->n_spectra, kWindowSpectra);
      EXPECT_LE(window->n_wavelengths, kWindowPoints);
    }
  }
}

TEST(MdfWhole, RefusesWhatTheWindowRefuses) {
  for (const std::string& text :
       {std::string(""), std::string("0.001 2 3"), mdf_of(60, 3) + "204 0.1\n",
        std::string("0.001 2 x\n400 0.1 0.2\n")}) {
    SCOPED_TRACE(text.substr(0, 40));
    DataSet d;
    std::string problem, note;
    EXPECT_FALSE(parse_mdf_whole(text, d, problem, note));
    EXPECT_FALSE(problem.empty());
  }
}

}  // namespace
}  // namespace ferolan
