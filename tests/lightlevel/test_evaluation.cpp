// Lux evaluation on hand-made spectrum records, the reference tables, the table lookup and
// the reading's number text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>

#include "lightlevel/cie1931.h"
#include "lightlevel/lux_text.h"
#include "lightlevel/spectrum_record.h"

namespace {

// 0.683 x the sum of an observer column over [fromNm, toNm] at 1 nm.
double ObserverSum(const float* column, int fromNm, int toNm) {
  double sum = 0;
  for (int nm = fromNm; nm <= toNm; ++nm) sum += column[nm - kCie1931StartNm];
  return kLuminousEfficacy * sum;
}

TEST(ReferenceTables, CompiledObserverEqualsTheFixtureTable) {
  std::ifstream csv(std::string(QUIVRA_SOURCE_DIR) + "/tests/fixtures/lightlevel/cie1931_2deg_1nm.csv");
  ASSERT_TRUE(csv) << "fixture missing";
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "nm,xbar,ybar,zbar");
  int row = 0;
  while (std::getline(csv, line)) {
    if (line.empty() || line == "\r") continue;
    ASSERT_LT(row, kCie1931Count);
    std::istringstream fields(line);
    std::string nm, x, y, z;
    std::getline(fields, nm, ',');
    std::getline(fields, x, ',');
    std::getline(fields, y, ',');
    std::getline(fields, z, ',');
    EXPECT_EQ(std::atoi(nm.c_str()), kCie1931StartNm + row);
    // The compiled floats are the table's decimal texts read as float: exactly equal.
    EXPECT_EQ(kCie1931X[row], std::strtof(x.c_str(), nullptr)) << "x-bar at " << nm;
    EXPECT_EQ(kCie1931Y[row], std::strtof(y.c_str(), nullptr)) << "y-bar at " << nm;
    EXPECT_EQ(kCie1931Z[row], std::strtof(z.c_str(), nullptr)) << "z-bar at " << nm;
    ++row;
  }
  EXPECT_EQ(row, kCie1931Count);
  EXPECT_EQ(kCie1931Y[555 - kCie1931StartNm], 1.0f);
  EXPECT_NEAR(ObserverSum(kCie1931Y, 360, 780) / kLuminousEfficacy, 106.857, 5e-4);
}

TEST(ReferenceTables, PreparedArraysCoverTheirRangesAtUnitScale) {
  const SpectralArray& unit = SpUnitSource();
  EXPECT_EQ(unit.count, 421);
  EXPECT_EQ(unit.startNm, 360.0f);
  EXPECT_EQ(unit.endNm, 780.0f);
  EXPECT_EQ(unit.scale, 1.0f);
  for (int i = 0; i < unit.count; ++i) ASSERT_EQ(unit.values[i], 1.0f);
  const float* columns[3] = {kCie1931X, kCie1931Y, kCie1931Z};
  for (int c = 0; c < 3; ++c) {
    const SpectralArray& obs = SpObserver(c);
    EXPECT_EQ(obs.count, kCie1931Count);
    EXPECT_EQ(obs.startNm, 360.0f);
    EXPECT_EQ(obs.endNm, 830.0f);
    EXPECT_EQ(obs.scale, 1.0f);
    for (int i = 0; i < obs.count; ++i) ASSERT_EQ(obs.values[i], columns[c][i]);
  }
}

TEST(SpectralLookup, OutsideIndexAndInterpolation) {
  SpectralArray fine{};  // 1 nm: no interpolation, index by truncation
  fine.count = 3;
  fine.startNm = 400;
  fine.endNm = 402;
  fine.scale = 1;
  fine.values[0] = 1, fine.values[1] = 2, fine.values[2] = 3;
  SpPrepareWorkingSlots(fine);
  SpectralArray coarse = fine;  // 2 nm: linear between neighbours
  coarse.endNm = 404;
  coarse.values[1] = 3, coarse.values[2] = 5;
  SpPrepareWorkingSlots(coarse);
  SpectralArray single{};  // one value: spacing 0, no 0/0
  single.count = 1;
  single.startNm = single.endNm = 555;
  single.values[0] = 7;
  SpPrepareWorkingSlots(single);

  const struct {
    const SpectralArray* array;
    double nm;
    float expected;
  } cases[] = {
      {&fine, 399.9, 0}, {&fine, 400, 1}, {&fine, 401.7, 2}, {&fine, 402, 3}, {&fine, 402.1, 0},
      {&coarse, 401, 2}, {&coarse, 403, 4}, {&coarse, 404, 5}, {&coarse, 404.5, 0},
      {&single, 555, 7}, {&single, 556, 0},
  };
  for (const auto& c : cases)
    EXPECT_FLOAT_EQ(SpLookup(*c.array, c.nm), c.expected) << "at " << c.nm << " nm";
  EXPECT_EQ(single.spacing, 0.0f);
}

using Fill = std::function<void(SpectrumRecord&)>;

// Spectrum of `value` (as stored) at every nm in [fromNm, toNm], on an array 360..830 nm.
Fill Band(int fromNm, int toNm, float value = 1, float scale = 1) {
  return [=](SpectrumRecord& r) {
    SpectralArray& s = *r.spectralData;
    s.count = 471;
    s.startNm = 360;
    s.endNm = 830;
    s.scale = scale;
    for (int nm = fromNm; nm <= toNm; ++nm) s.values[nm - 360] = value;
  };
}

Fill Then(Fill first, Fill second) {
  return [=](SpectrumRecord& r) {
    first(r);
    second(r);
  };
}

struct EvaluationCase {
  const char* name;
  Fill fill;
  double expectedLux;
  double tolerance;
};

void PrintTo(const EvaluationCase& c, std::ostream* os) { *os << c.name; }

class Evaluation : public ::testing::TestWithParam<EvaluationCase> {};

TEST_P(Evaluation, GivesTheExpectedLux) {
  const EvaluationCase& c = GetParam();
  SpectrumRecordPtr record = SpMakeSpectrum();
  ASSERT_TRUE(record);
  c.fill(*record);
  SpEvaluateSpectrum(record.get());
  EXPECT_NEAR(record->lux, c.expectedLux, c.tolerance);
  EXPECT_TRUE(std::isfinite(record->X) && std::isfinite(record->Y) && std::isfinite(record->Z));
  EXPECT_EQ(record->sourceType, 1);
}

const double kFlatLux = ObserverSum(kCie1931Y, 360, 780);

INSTANTIATE_TEST_SUITE_P(
    Spectra, Evaluation,
    ::testing::Values(
        EvaluationCase{"FlatOneMilliwattGives72_98", Band(360, 780), 72.98, 0.005},
        EvaluationCase{"OnlyAbove780GivesZero", Band(781, 830, 5), 0, 0},
        EvaluationCase{"OnlyBelow380IsSmallButNotZero", Band(360, 379), ObserverSum(kCie1931Y, 360, 379), 1e-7},
        EvaluationCase{"ZeroSpectrumGivesZero", [](SpectrumRecord&) {}, 0, 0},
        EvaluationCase{"YGainTwoDoubles", Then(Band(360, 780), [](SpectrumRecord& r) { r.yGain = 2; }),
                       2 * kFlatLux, 1e-4},
        EvaluationCase{"XAndZGainsDoNotTouchY",
                       Then(Band(360, 780), [](SpectrumRecord& r) { r.xGain = r.zGain = 3; }), kFlatLux, 1e-4},
        EvaluationCase{"MiddleRowZeroZeroOneGivesZ",
                       Then(Band(360, 780),
                            [](SpectrumRecord& r) {
                              r.correction[1][0] = 0, r.correction[1][1] = 0, r.correction[1][2] = 1;
                            }),
                       ObserverSum(kCie1931Z, 360, 780), 1e-4},
        EvaluationCase{"ScaleTenWithLGainHalfIsFactorFive",
                       Then(Band(360, 780, 1, 10), [](SpectrumRecord& r) { r.lGain = 0.5f; }), 5 * kFlatLux,
                       5e-4},
        EvaluationCase{"SinglePointDoesNotDivideZeroByZero",
                       [](SpectrumRecord& r) {
                         r.spectralData->count = 1;
                         r.spectralData->startNm = r.spectralData->endNm = 555;
                         r.spectralData->scale = 1;
                         r.spectralData->values[0] = 1;
                       },
                       kLuminousEfficacy, 1e-6},
        EvaluationCase{"NotANumberInTheSpectrumReadsAsNoLight",
                       Then(Band(360, 780),
                            [](SpectrumRecord& r) { r.spectralData->values[100] = std::numeric_limits<float>::quiet_NaN(); }),
                       0, 0},
        EvaluationCase{"CorrectionBeyondTheFloatRangeReadsAsNoLight",
                       Then(Band(360, 780), [](SpectrumRecord& r) { r.correction[1][1] = 1e300; }), 0, 0}),
    [](const ::testing::TestParamInfo<EvaluationCase>& info) { return std::string(info.param.name); });

TEST(EvaluationState, NoLightKeepsThePreviousReadingAndLightIsNormalisedToItsPeak) {
  SpectrumRecordPtr dark = SpMakeSpectrum();
  ASSERT_TRUE(dark);
  dark->lux = 12.5f;
  Band(790, 800)(*dark);
  SpEvaluateSpectrum(dark.get());
  EXPECT_EQ(dark->lux, 12.5f);

  SpectrumRecordPtr lit = SpMakeSpectrum();
  ASSERT_TRUE(lit);
  Then(Band(400, 700, 2, 3), Band(550, 560, 4, 3))(*lit);  // physical 6 and, at the peak, 12
  SpEvaluateSpectrum(lit.get());
  const SpectralArray& s = *lit->spectralData;
  EXPECT_FLOAT_EQ(s.scale, 12.0f);
  EXPECT_FLOAT_EQ(s.values[555 - 360], 1.0f);
  EXPECT_FLOAT_EQ(s.values[450 - 360], 0.5f);
  EXPECT_EQ(s.values[380 - 360], 0.0f);
  // The working copy holds the physical spectrum the sums were taken over.
  EXPECT_FLOAT_EQ(lit->workingData->values[555 - 360], 12.0f);
  EXPECT_EQ(lit->workingData->scale, 1.0f);
}

TEST(LuxText, FormatChangesWithMagnitude) {
  const struct {
    double lux;
    const char* text;
  } cases[] = {
      {0, "0.000"},       {3.14159, "3.142"},  {9.9994, "9.999"}, {10, "10.00"},
      {31.4159, "31.42"}, {99.994, "99.99"},   {100, "100.0"},    {314.159, "314.2"},
      {999.94, "999.9"},  {1000, "1000"},      {3141.6, "3142"},  {-0.0001, "0.000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLux(c.lux), c.text) << c.lux;
  EXPECT_EQ(FormatLux(314.159, ','), "314,2");
}

}  // namespace
