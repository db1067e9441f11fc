#include "engine/format/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace ferolan {
namespace {

struct MaskCase {
  double value;
  const char* mask;
  const char* text;
};

class MaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskTest, Formats) {
  const MaskCase& c = GetParam();
  EXPECT_EQ(format_mask(c.value, c.mask), c.text) << c.value << " with " << c.mask;
}

INSTANTIATE_TEST_SUITE_P(
    FixedMasks, MaskTest,
    ::testing::Values(MaskCase{4.5612, "#0.00", "4.56"}, MaskCase{10, "#0.00", "10.00"},
                      MaskCase{0.5, "#0.00", "0.50"}, MaskCase{0, "#0.00", "0.00"},
                      MaskCase{123456.789, "#0.00", "123456.79"},
                      MaskCase{-4.5612, "#0.00", "-4.56"}, MaskCase{0.0271, "#0.00", "0.03"},
                      MaskCase{9.995, "#0.00", "10.00"}, MaskCase{-0.001, "#0.00", "-0.00"},
                      // Halves round away from zero on the decimal value, not on the binary one.
                      MaskCase{0.125, "0.00", "0.13"}, MaskCase{-0.125, "0.00", "-0.13"},
                      MaskCase{2.675, "0.00", "2.68"}, MaskCase{1.005, "0.00", "1.01"},
                      MaskCase{0.005, "0.00", "0.01"}, MaskCase{0.0049, "0.00", "0.00"},
                      MaskCase{7.46, "0#.0", "07.5"}, MaskCase{123.4, "0#.0", "123.4"},
                      MaskCase{0.04, "0#.0", "00.0"}, MaskCase{0.4125, "0.000", "0.413"},
                      MaskCase{12, "#0.000", "12.000"}, MaskCase{95, "#000", "095"},
                      MaskCase{400, "#000", "400"}, MaskCase{1234, "#000", "1234"},
                      MaskCase{7, "#000", "007"}, MaskCase{2.5, "0", "3"},
                      MaskCase{-2.5, "0", "-3"}, MaskCase{449.5, "0", "450"},
                      MaskCase{0.4, "0", "0"}, MaskCase{6.95, "0.0", "7.0"},
                      MaskCase{-3.04, "0.0", "-3.0"},
                      MaskCase{1e20, "0", "100000000000000000000"}));

INSTANTIATE_TEST_SUITE_P(ScientificMasks, MaskTest,
                         ::testing::Values(MaskCase{2.746e-5, "0.00e+00", "2.75e-05"},
                                           MaskCase{1e-10, "0.00e+00", "1.00e-10"},
                                           MaskCase{0.001, "#.#0e+00", "1.00e-03"},
                                           MaskCase{10, "#.#0e+00", "1.00e+01"},
                                           MaskCase{9.996e-5, "0.00e+00", "1.00e-04"},
                                           MaskCase{1.235e-3, "0.00e+00", "1.24e-03"},
                                           MaskCase{-6.31e-5, "0.00e+00", "-6.31e-05"},
                                           MaskCase{1e-100, "0.00e+00", "1.00e-100"},
                                           MaskCase{0, "0.00e+00", "0.00e+00"},
                                           MaskCase{1.5, "0.00e+00", "1.50e+00"}));

TEST(FormatMask, DecimalSeparatorIsTheLocaleOne) {
  EXPECT_EQ(format_mask(4.5612, "#0.00", ','), "4,56");
  EXPECT_EQ(format_mask(2.746e-5, "0.00e+00", ','), "2,75e-05");
  EXPECT_EQ(format_mask(95, "#000", ','), "095");
}

TEST(FormatMask, NotFiniteValuesGiveReadableText) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(format_mask(std::nan(""), "#0.00"), "nan");
  EXPECT_EQ(format_mask(inf, "0.00e+00"), "inf");
  EXPECT_EQ(format_mask(-inf, "0"), "-inf");
}

struct GeneralCase {
  float value;
  const char* text;
};

class GeneralTest : public ::testing::TestWithParam<GeneralCase> {};

TEST_P(GeneralTest, Formats) {
  EXPECT_EQ(format_general(GetParam().value), GetParam().text) << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    General, GeneralTest,
    ::testing::Values(GeneralCase{0, "0"}, GeneralCase{1, "1"}, GeneralCase{200000, "200000"},
                      GeneralCase{1234.5f, "1234.5"}, GeneralCase{0.1f, "0.1"},
                      GeneralCase{1.0f / 3, "0.3333333"}, GeneralCase{-2.25f, "-2.25"},
                      GeneralCase{0.0001f, "0.0001"}, GeneralCase{0.00012345f, "0.00012345"},
                      GeneralCase{1e-5f, "1E-05"}, GeneralCase{-2.5e-7f, "-2.5E-07"},
                      GeneralCase{1234567, "1234567"}, GeneralCase{12345678, "1.234568E+07"},
                      GeneralCase{9999999.5f, "1E+07"}, GeneralCase{1e20f, "1E+20"},
                      GeneralCase{3.4e38f, "3.4E+38"}));

TEST(FormatGeneral, SeparatorAndNotFinite) {
  EXPECT_EQ(format_general(1234.5f, ','), "1234,5");
  EXPECT_EQ(format_general(12345678, ','), "1,234568E+07");
  EXPECT_EQ(format_general(std::numeric_limits<float>::quiet_NaN()), "nan");
  EXPECT_EQ(format_general(-std::numeric_limits<float>::infinity()), "-inf");
}

}  // namespace
}  // namespace ferolan

namespace ferolan {
namespace {

// A Single rounds from the digits it carries, as typed: 2.675 is stored as 2.67499995.
TEST(FormatSingle, RoundsFromSevenDigits) {
  struct Case {
    float value;
    const char* mask;
    const char* single;
    const char* as_double;
  } cases[] = {
      {2.675f, "0.00", "2.68", "2.67"},
      {4.555f, "#0.00", "4.56", "4.55"},
      {1.005f, "0.00", "1.01", "1.00"},
      {7.46f, "0#.0", "07.5", "07.5"},
      {6.5e-5f, "#.#0e+00", "6.50e-05", "6.50e-05"},
      {-0.125f, "#0.00", "-0.13", "-0.13"},
      {0.00146484375f, "#0.000", "0.001", "0.001"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(format_single(c.value, c.mask), c.single) << c.value;
    EXPECT_EQ(format_mask(c.value, c.mask), c.as_double) << c.value;
  }
  EXPECT_EQ(format_single(2.675f, "0.00", ','), "2,68");
}

}  // namespace
}  // namespace ferolan

namespace ferolan {
namespace {

// The digits a value is formatted from are printf's "%.*e" digits, ties to even included,
// for every magnitude a Double or a Single can hold.
TEST(FormatDigits, AreThoseOfPrintf) {
  const auto printf_e = [](double v, int decimals) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", decimals, v);
    return std::string(buf);
  };
  std::vector<double> doubles = {
      1234567890123425.0,      1234567890123435.0,     0.125, 2.5, 9.999999999999995e22, 5e-324,
      2.2250738585072014e-308, 1.7976931348623157e308, 1.0,   0.1};
  std::vector<float> singles = {12345665.0f, 12345675.0f,     0.125f, 1.0000001f, 3.4028235e38f,
                                1e-45f,      1.17549435e-38f, 0.1f,   6.5e-5f,    2.675f};
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    double d;
    uint64_t b = rng() & 0x7fffffffffffffffULL;
    std::memcpy(&d, &b, sizeof d);
    if (std::isfinite(d)) doubles.push_back(d);
    float f;
    const uint32_t fb = static_cast<uint32_t>(rng()) & 0x7fffffffU;
    std::memcpy(&f, &fb, sizeof f);
    if (std::isfinite(f)) singles.push_back(f);
  }
  for (double v : doubles)
    ASSERT_EQ(format_mask(v, "0.00000000000000e+00"), printf_e(v, 14)) << std::hexfloat << v;
  for (float v : singles)
    ASSERT_EQ(format_single(v, "0.000000e+00"), printf_e(v, 6)) << std::hexfloat << v;
}

}  // namespace
}  // namespace ferolan
