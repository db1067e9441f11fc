#include "engine/import/number.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ferolan {
namespace {

struct ParseCase {
  const char* text;
  int16_t ok;
  float value;
};

class ParseNumberTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumberTest, ReadsOrRejects) {
  const ParseCase& c = GetParam();
  int16_t ok = 0;
  const float v = parse_number(c.text, ok);
  EXPECT_EQ(ok, c.ok) << "'" << c.text << "'";
  EXPECT_EQ(v, c.value) << "'" << c.text << "'";
}

constexpr int16_t kOk = 1, kNo = -1;

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseNumberTest,
    ::testing::Values(ParseCase{"2,5", kOk, 2.5f}, ParseCase{"2.5", kOk, 2.5f},
                      ParseCase{"1E-3", kOk, 0.001f}, ParseCase{"1e-3", kOk, 0.001f},
                      ParseCase{"+5", kOk, 5}, ParseCase{"-5", kOk, -5}, ParseCase{"", kOk, 0},
                      ParseCase{"123456789012", kOk, 123456789012.0f}, ParseCase{" 7 ", kOk, 7},
                      ParseCase{"1/2", kOk, 1}, ParseCase{"1 5", kOk, 15},
                      ParseCase{"5 -3", kOk, 5}, ParseCase{".5", kOk, 0.5f},
                      ParseCase{"5.", kOk, 5}, ParseCase{"5e", kOk, 5}, ParseCase{".", kOk, 0},
                      ParseCase{"-", kOk, 0}, ParseCase{"1e+2", kOk, 100},
                      ParseCase{"1e/5", kOk, 1}, ParseCase{"4,25e1", kOk, 42.5f},
                      ParseCase{"3.4e38", kOk, 3.4e38f},
                      // Too small for a float, but within its range: it reads as zero.
                      ParseCase{"1e-60", kOk, 0}));

INSTANTIATE_TEST_SUITE_P(Rejected, ParseNumberTest,
                         ::testing::Values(ParseCase{"1234567890123", kNo, 0},  // 13 characters
                                           ParseCase{"1,5,5", kNo, 0}, ParseCase{"1.2.3", kNo, 0},
                                           ParseCase{"1E3E3", kNo, 0}, ParseCase{"abc", kNo, 0},
                                           ParseCase{"2;5", kNo, 0}, ParseCase{"e5", kNo, 0},
                                           ParseCase{"E", kNo, 0}, ParseCase{"1.e5", kNo, 0},
                                           ParseCase{"1e 5", kNo, 0}, ParseCase{"1-2", kNo, 0},
                                           ParseCase{"5-", kNo, 0}, ParseCase{"5+", kNo, 0},
                                           ParseCase{"--5", kNo, 0}, ParseCase{"-.5", kNo, 0},
                                           ParseCase{"+ 5", kNo, 0}, ParseCase{"1e5.5", kNo, 0},
                                           ParseCase{"1e,5", kNo, 0}, ParseCase{"1\t2", kNo, 0},
                                           // Beyond the range of a float.
                                           ParseCase{"1e999", kNo, 0}, ParseCase{"-1e39", kNo, 0},
                                           ParseCase{"3.5e38", kNo, 0}));

TEST(ParseNumber, OutcomeIsSetOnEveryCall) {
  int16_t ok = 0;
  parse_number("abc", ok);
  ASSERT_EQ(ok, -1);
  EXPECT_EQ(parse_number("4", ok), 4.0f);
  EXPECT_EQ(ok, 1);
}

TEST(ParseNumber, TwelveCharactersEndingInAnExponentLetterAreLikeShorterOnes) {
  int16_t ok = 0;
  EXPECT_EQ(parse_number("12345678901e", ok), 12345678901.0f);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(parse_number("1234567890-", ok), 0.0f);
  EXPECT_EQ(ok, -1);
}

struct LeadingCase {
  const char* text;
  double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<LeadingCase> {};

TEST_P(LeadingNumberTest, Reads) {
  EXPECT_EQ(leading_number(GetParam().text), GetParam().value) << "'" << GetParam().text << "'";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeadingNumberTest,
    ::testing::Values(LeadingCase{"5.25 \xC2\xB1 0.03", 5.25}, LeadingCase{"5,25", 5},
                      LeadingCase{"1 5", 15}, LeadingCase{"abc", 0}, LeadingCase{"", 0},
                      LeadingCase{".5", 0.5}, LeadingCase{"5.", 5}, LeadingCase{"5e", 5},
                      LeadingCase{"5e+", 5}, LeadingCase{"-.5", -0.5}, LeadingCase{"+ 7", 7},
                      LeadingCase{"\t4\r\n.2\n", 4.2}, LeadingCase{"1E-3x", 0.001},
                      LeadingCase{"2.5e1e1", 25}, LeadingCase{"-", 0}, LeadingCase{".", 0},
                      LeadingCase{"1 e 3", 1000}, LeadingCase{"4.56 \xC2\xB1 ?", 4.56},
                      LeadingCase{"12abc3", 12}, LeadingCase{"1e-999", 0},
                      LeadingCase{"0.0000e99999", 0}));

TEST(LeadingNumber, BeyondDoubleRangeIsInfiniteWithItsSign) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(leading_number("1e999"), inf);
  EXPECT_EQ(leading_number("-1e400"), -inf);
  EXPECT_EQ(leading_number("0.01e311"), inf);
  EXPECT_EQ(leading_number("1000e-330"), 0.0);
  EXPECT_TRUE(std::signbit(leading_number("-1e-999")));
}

}  // namespace
}  // namespace ferolan
