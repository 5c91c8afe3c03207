// Number text: patterns, the format by size, shortest and general forms, the file's
// six-decimal form.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "analysis/numfmt.h"

namespace {

struct PatternCase {
  double value;
  const char* pattern;
  const char* text;
};

class Pattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(Pattern, FormatsWithHalfAwayFromZeroRounding) {
  const PatternCase& c = GetParam();
  EXPECT_EQ(FormatPattern(c.value, c.pattern), c.text) << c.value << " with " << c.pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pattern,
    ::testing::Values(
        // Exact halves go away from zero.
        PatternCase{0.125, "0.00", "0.13"}, PatternCase{-0.125, "0.00", "-0.13"},
        PatternCase{0.5, "0", "1"}, PatternCase{2.5, "0", "3"}, PatternCase{-2.5, "0", "-3"},
        PatternCase{1.0625, "0.000", "1.063"},
        // Decimal literals that are stored just below or above the half.
        PatternCase{2.675, "0.00", "2.67"}, PatternCase{1.005, "0.00", "1.00"},
        PatternCase{0.45, "0.0", "0.5"},  // 0.450000000000000011...
        PatternCase{9.99995, "0.0000", "10.0000"}, PatternCase{9.9999499, "0.0000", "9.9999"},
        // Every supported pattern.
        PatternCase{3.14159, "0", "3"}, PatternCase{3.14159, "0.0", "3.1"},
        PatternCase{3.14159, "0.00", "3.14"}, PatternCase{3.14159, "0.000", "3.142"},
        PatternCase{3.14159, "0.0000", "3.1416"}, PatternCase{3.14159, "0.000000", "3.141590"},
        PatternCase{0.000030517578125, "0.#####", "0.00003"}, PatternCase{2.0, "0.#####", "2"},
        PatternCase{0.5, "0.#####", "0.5"}, PatternCase{0.000004, "0.#####", "0"},
        PatternCase{0.5, "#0.000", "0.500"}, PatternCase{12.3456, "#0.000", "12.346"},
        PatternCase{1234567.125, "#,##0.#####", "1,234,567.125"},
        PatternCase{999.5, "#,##0.#####", "999.5"}, PatternCase{-1000, "#,##0.#####", "-1,000"},
        PatternCase{0.00012207031, "#,##0.#######", "0.0001221"},
        PatternCase{123456, "#,##0.#######", "123,456"},
        // A negative value that rounds to zero shows no sign.
        PatternCase{-0.001, "0.00", "0.00"}, PatternCase{-0.0, "0", "0"},
        PatternCase{1e300, "0", "1000000000000000052504760255204420248704468581108159154915854115511802457988908195786371375080447864043704443832883878176942523235360430575644792184786706982848387200926575803737830233794788090059368953234970799945081119038967640880074652742780142494579258788820056842838115669472196386865459400540160"}));

TEST(Pattern, Separators) {
  EXPECT_EQ(FormatPattern(1234567.891, "#,##0.#####", ',', '.'), "1.234.567,891");
  EXPECT_EQ(FormatPattern(-0.5, "0.0000", ','), "-0,5000");
  EXPECT_EQ(FormatPattern(12, "0.#####", ','), "12");
}

TEST(Pattern, ValuesThatAreNotNumbers) {
  EXPECT_EQ(FormatPattern(std::numeric_limits<double>::quiet_NaN(), "0.00"), "NAN");
  EXPECT_EQ(FormatPattern(std::numeric_limits<double>::infinity(), "0.00"), "INF");
  EXPECT_EQ(FormatPattern(-std::numeric_limits<double>::infinity(), "0"), "-INF");
  EXPECT_EQ(FormatByMagnitude(std::numeric_limits<float>::infinity()), "INF");
  EXPECT_EQ(FormatByMagnitude(std::numeric_limits<float>::quiet_NaN()), "NAN");
}

TEST(FormatByMagnitude, PatternBySizeOfTheWholePart) {
  const std::pair<float, const char*> cases[] = {
      {123.7f, "124"},     {101.0f, "101"},       {100.7f, "100.70"},  {42.123f, "42.12"},
      {10.0f, "10.00"},    {-26.7f, "-26.70"},    {9.99999f, "10.0000"}, {4.9f, "4.9000"},
      {0.5f, "0.5000"},    {-0.00004f, "0.0000"}, {0.0f, "0.0000"},    {-150.5f, "-151"},
      {1.0e9f, "1000000000"}};
  for (auto [value, text] : cases) EXPECT_EQ(FormatByMagnitude(value), text) << value;
  EXPECT_EQ(FormatByMagnitude(4.5f, ','), "4,5000");
}

TEST(ShortestFloatText, ReadsBackAsTheSameFloat) {
  const std::pair<float, const char*> cases[] = {
      {100.0f, "100"}, {99.9f, "99.9"}, {-1.0f, "-1"}, {0.1f, "0.1"}, {30.000002f, "30.000002"},
      {1.0e-7f, "0.0000001"}, {0.0f, "0"}, {-0.0f, "0"}, {0.01953125f, "0.01953125"}};
  for (auto [value, text] : cases) EXPECT_EQ(ShortestFloatText(value), text) << value;
  EXPECT_EQ(ShortestFloatText(1.5f, ','), "1,5");
  EXPECT_EQ(ShortestFloatText(-std::numeric_limits<float>::infinity()), "-INF");
}

TEST(GeneralFormat, FifteenSignificantDigits) {
  const std::pair<double, const char*> cases[] = {
      {static_cast<double>(99.9f), "99.9000015258789"},
      {static_cast<double>(0.1f), "0.100000001490116"},
      {100.0, "100"},
      {-2.5, "-2.5"},
      {0.0, "0"},
      {0.00001, "0.00001"},
      {0.0000015, "1.5E-6"},
      {-0.0000099999, "-9.9999E-6"},
      {123456789012345.0, "123456789012345"},
      {1234567890123456.0, "1.23456789012346E15"},
      {1.0e20, "1E20"},
      {0.99999999999999999, "1"},
      {9.9999999999999995e-6, "0.00001"}};
  for (auto [value, text] : cases) EXPECT_EQ(GeneralFormat(value), text) << value;
  EXPECT_EQ(GeneralFormat(1.25, ','), "1,25");
  EXPECT_EQ(GeneralFormat(2.5e-7, ','), "2,5E-7");
}

std::string Fixed6(float x, char separator = '.') {
  char text[64];
  const std::size_t length = FormatFixed6(x, text, separator);
  return std::string(text, length);
}

TEST(FormatFixed6, SixDecimals) {
  EXPECT_EQ(Fixed6(1.5f), "1.500000");
  EXPECT_EQ(Fixed6(0.0f), "0.000000");
  EXPECT_EQ(Fixed6(-0.0000004f), "0.000000");
  EXPECT_EQ(Fixed6(-2.25f), "-2.250000");
  EXPECT_EQ(Fixed6(0.0000005f), "0.000000");    // stored just below the half
  EXPECT_EQ(Fixed6(0.00000050000006f), "0.000001");
  EXPECT_EQ(Fixed6(0.000002384185791015625f), "0.000002");  // 2^-19
  EXPECT_EQ(Fixed6(100.0f, ','), "100,000000");
  EXPECT_EQ(Fixed6(std::numeric_limits<float>::max()),
            "340282346638528859811704183484516925440.000000");
}

// The fast writer gives the pattern's text for every kind of float.
TEST(FormatFixed6, SameTextAsThePattern) {
  std::mt19937 generator(17);
  std::uniform_int_distribution<uint32_t> bits;
  std::vector<float> values = {0.0f, -0.0f, 5e-7f, -5e-7f, 1.0000005f, 4.5f, 1e13f, 9.2e12f,
                               -3.4e38f, std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::infinity(),
                               std::numeric_limits<float>::quiet_NaN()};
  for (int i = 0; i < 20000; ++i) {
    uint32_t pattern = bits(generator);
    float value;
    std::memcpy(&value, &pattern, sizeof value);
    values.push_back(value);
    values.push_back(std::uniform_real_distribution<float>(-6.0f, 6.0f)(generator));
  }
  for (float value : values) {
    ASSERT_EQ(Fixed6(value), FormatPattern(value, "0.000000")) << value;
    ASSERT_EQ(Fixed6(value, ','), FormatPattern(value, "0.000000", ',')) << value;
  }
}

}  // namespace
