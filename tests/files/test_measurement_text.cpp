// The measurement text: number syntax, key lookup, header and data-section parsing.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "analysis/record.h"
#include "files/flktank.h"
#include "files/measurement_text.h"

namespace {

TEST(Numbers, IsNumberAndParseDecimal) {
  struct Case {
    std::string_view text;
    bool number;
    float value;  // ParseDecimal
  };
  const Case cases[] = {
      {"4096", true, 4096.0f},      {"4096.9", true, 4096.9f},   {"-1.000000", true, -1.0f},
      {"0,5", true, 0.5f},          {"-0,25", true, -0.25f},     {"12a", false, 12.0f},
      {"", false, 0.0f},            {"-", false, 0.0f},          {"-5.", false, -5.0f},
      {"5.", true, 5.0f},           {"1.2.3", false, 1.2f},      {"1,2.3", false, 1.2f},
      {"+5", false, 0.0f},          {"1e5", false, 1.0f},        {".5", true, 0.5f},
      {"0.000015", true, 0.000015f}, {" 5", false, 0.0f},        {"5-", false, 5.0f},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsNumber(c.text), c.number) << c.text;
    EXPECT_FLOAT_EQ(ParseDecimal(c.text), c.value) << c.text;
  }
  // Integer digits beyond float range saturate instead of overflowing.
  EXPECT_FLOAT_EQ(ParseDecimal(std::string(60, '9')), 3.40282347e38f);
}

TEST(Numbers, FormatValueIsFixedSixDecimals) {
  EXPECT_EQ(FormatValue(-1.0f), "-1.000000");
  EXPECT_EQ(FormatValue(0.0f), "0.000000");
  EXPECT_EQ(FormatValue(4095.0f / 10000.0f), "0.409500");
  EXPECT_EQ(FormatValue(121.1346512f), "121.134651");
}

TEST(FindValue, SkipsNonNumbersAndStaysInsideTheText) {
  const std::string_view text =
      "gain\t12a\r\n"        // not a number: skipped
      "x gain\t7\r\n"        // first cell differs
      "gain\r\n"             // no TAB
      "gain\t 3 rest\r\n"    // the first word after the TAB
      "gain\t9";             // no line end at all
  float v = 0;
  std::size_t next = 0;
  ASSERT_TRUE(FindValue(text, "gain", 0, &v, &next));
  EXPECT_EQ(v, 3.0f);
  ASSERT_TRUE(FindValue(text, "gain", next, &v, &next));
  EXPECT_EQ(v, 9.0f);
  EXPECT_EQ(next, text.size());
  EXPECT_FALSE(FindValue(text, "gain", next, &v, &next));
  EXPECT_FALSE(FindValue(text, "Gain", 0, &v, &next));  // case-sensitive

  // A bare CR as the last character, and a value longer than 31 characters.
  EXPECT_FALSE(FindValue("a\t1\r", "b", 0, &v, &next));
  ASSERT_TRUE(FindValue("a\t1\r", "a", 0, &v, &next));
  EXPECT_EQ(next, 4u);
  EXPECT_FALSE(FindValue("a\t" + std::string(32, '1') + "\r\n", "a", 0, &v, &next));
  // A line end inside the value cell ends the word: the next line's text is not taken.
  EXPECT_FALSE(FindValue("a\t\r\n5\r\n", "a", 0, &v, &next));
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

TEST(ParseHeader, KeysSynonymsAndGainRules) {
  struct Case {
    const char* what;
    std::vector<std::string> lines;
    bool ok;
    FileHeader header;
  };
  const Case cases[] = {
      {"saved names", {"Sample Number\t4096", "Sample Frequency\t10000", "gain\t3"}, true,
       {4096, 10000, 2}},
      {"synonyms", {"Sampling Number\t4096", "Sampling Rate\t10000", "gain\t3"}, true,
       {4096, 10000, 2}},
      {"synonym wins", {"Sample Number\t1", "Sampling Number\t4096", "Sample Frequency\t10000"},
       true, {4096, 10000, 0}},
      {"truncation", {"Sample Number\t4096.9", "Sample Frequency\t10000,7", "gain\t1.9"}, true,
       {4096, 10000, 0}},
      {"no gain line", {"Sample Number\t4096", "Sample Frequency\t10000"}, true, {4096, 10000, 0}},
      {"gain before frequency", {"gain\t3", "Sample Number\t4096", "Sample Frequency\t10000"},
       true, {4096, 10000, 0}},
      {"12a skipped", {"Sample Number\t12a", "Sample Number\t2048", "Sample Frequency\t8000"},
       true, {2048, 8000, 0}},
      {"largest", {"Sample Number\t10240000", "Sample Frequency\t1000000"}, true,
       {10240000, 1000000, 0}},
      {"no count", {"Sample Frequency\t10000"}, false, {}},
      {"no frequency", {"Sample Number\t4096", "Sample Frequency\tfast"}, false, {}},
      {"zero count", {"Sample Number\t0", "Sample Frequency\t10000"}, false, {}},
      {"count below one", {"Sample Number\t0.9", "Sample Frequency\t10000"}, false, {}},
      {"negative count", {"Sample Number\t-4096", "Sample Frequency\t10000"}, false, {}},
      {"huge count", {"Sample Number\t10240001", "Sample Frequency\t10000"}, false, {}},
      {"zero frequency", {"Sample Number\t4096", "Sample Frequency\t0"}, false, {}},
      {"huge frequency", {"Sample Number\t4096", "Sample Frequency\t1000001"}, false, {}},
      {"overflowing count",
       {"Sample Number\t99999999999999999999999", "Sample Frequency\t10000"}, false, {}},
  };
  for (const Case& c : cases) {
    FileHeader h{-7, -7, -7};
    const std::string text = Lines(c.lines);
    EXPECT_EQ(ParseHeader(text, &h), c.ok) << c.what;
    const FileHeader want = c.ok ? c.header : FileHeader{-7, -7, -7};
    EXPECT_EQ(h.sampleCount, want.sampleCount) << c.what;
    EXPECT_EQ(h.sampleFreq, want.sampleFreq) << c.what;
    EXPECT_EQ(h.gainIndex, want.gainIndex) << c.what;
  }
  FileHeader h;
  ASSERT_TRUE(ParseHeader(Lines({"Sample Number\t8", "Sample Frequency\t8", "gain\t" +
                                                                               std::string(30, '9')}),
                          &h));
  EXPECT_EQ(h.gainIndex, INT32_MAX);  // saturates rather than overflowing
}

class LoadSamplesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    record = MakeFlickerRecord(4, 1000, 100, 100);
    ASSERT_TRUE(record);
    std::fill(record->volts.begin(), record->volts.end(), 7.0f);  // as if used before
  }
  std::vector<float> Volts(std::size_t n) const {
    return std::vector<float>(record->volts.begin(), record->volts.begin() + n);
  }
  FlickerRecordPtr record;
};

TEST_F(LoadSamplesTest, PointsAndCommasReadTheSame) {
  const std::string points = Lines({"Time(sec)\tVoltage", "0.000\t1.250000", "0.001\t-0.5",
                                    "0.002\t2", "0.003\t0.000015"});
  std::string commas = points;
  for (char& c : commas) c = c == '.' ? ',' : c;
  ASSERT_EQ(LoadSamplesInto(record.get(), points), 4);
  const std::vector<float> fromPoints = Volts(4);
  ASSERT_EQ(LoadSamplesInto(record.get(), commas), 4);
  EXPECT_EQ(Volts(4), fromPoints);
  const float want[] = {1.25f, -0.5f, 2.0f, 0.000015f};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NEAR(fromPoints[i], want[i], 1e-9) << i;
}

TEST_F(LoadSamplesTest, SectionBoundsAndOddCells) {
  struct Case {
    const char* what;
    std::string text;
    int64_t rows;
    std::vector<float> volts;  // the first four
  };
  const Case cases[] = {
      {"longer than the count",
       Lines({"Voltage", "0\t1", "0\t2", "0\t3", "0\t4", "0\t5", "0\t6"}), 4, {1, 2, 3, 4}},
      {"shorter: the rest is zero", Lines({"Voltage", "0\t1", "0\t2"}), 2, {1, 2, 0, 0}},
      {"one empty line after the title skipped", Lines({"Voltage", "", "0\t1", "0\t2"}), 2,
       {1, 2, 0, 0}},
      {"stops at an empty line", Lines({"Voltage", "0\t1", "", "0\t2"}), 1, {1, 0, 0, 0}},
      {"stops before a line starting with TAB", Lines({"Voltage", "0\t1", "\t2", "0\t3"}), 1,
       {1, 0, 0, 0}},
      {"Votage wins over Voltage", Lines({"Voltage", "0\t1", "", "Votage", "0\t9"}), 1,
       {9, 0, 0, 0}},
      {"only whole words count", Lines({"xVoltage", "0\t5", "Voltage", "0\t8"}), 1,
       {8, 0, 0, 0}},
      {"missing or bad cells store 0", Lines({"Voltage", "0", "0\tabc", "0\t 3 ", "0\t4\tx"}), 4,
       {0, 0, 3, 4}},
      {"bare LF lines", "Voltage\n0\t1\n0\t2\n", 2, {1, 2, 0, 0}},
      {"no line end after the last row", "Voltage\r\n0\t1\r\n0\t2", 2, {1, 2, 0, 0}},
      {"title is the last line", "Voltage\r", 0, {0, 0, 0, 0}},
      {"no data section", Lines({"Time\tVolt", "0\t1"}), -1, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::fill(record->volts.begin(), record->volts.end(), 7.0f);
    EXPECT_EQ(LoadSamplesInto(record.get(), c.text), c.rows) << c.what;
    EXPECT_EQ(Volts(4), c.volts) << c.what;
    for (std::size_t i = 4; i < record->volts.size(); ++i) {
      ASSERT_EQ(record->volts[i], 0.0f) << c.what << " index " << i;
    }
  }
  EXPECT_EQ(LoadSamplesInto(nullptr, "Voltage\r\n0\t1\r\n"), -1);
}

}  // namespace
