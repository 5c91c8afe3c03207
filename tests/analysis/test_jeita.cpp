// JEITA weighting, the level spectrum and the JEITA and VESA figures.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "analysis/jeita.h"
#include "analysis/record.h"
#include "signals.h"

namespace {

TEST(JeitaWeight, FullUpTo20HzThenLinearTo60Hz) {
  const std::pair<float, float> cases[] = {{0, 1},       {10, 1},      {20, 1},       {25, 0.854f},
                                           {30, 0.708f}, {35, 0.6045f}, {40, 0.501f},  {45, 0.376f},
                                           {50, 0.251f}, {55, 0.1305f}, {60, 0.01f},   {60.001f, 0},
                                           {500, 0}};
  for (auto [hz, weight] : cases) EXPECT_NEAR(JeitaWeight(hz), weight, 1e-6) << hz;
}

// A sine of 0.5 V on 1 V at a whole frequency, 1 Hz per bin.
struct JeitaCase {
  double hz;
  float weight;
};

class JeitaTone : public ::testing::TestWithParam<JeitaCase> {};

TEST_P(JeitaTone, FiguresOfTheStrongestWeightedLine) {
  const JeitaCase c = GetParam();
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FillSine(*r, c.hz, 0.5, 1.0);
  FlickerRun(r.get(), 0, 0);
  const double ratio = 0.5 * 0.70710678 * c.weight;
  EXPECT_EQ(r->jeitaSpectrum->peakBin, static_cast<uint32_t>(c.hz));
  EXPECT_NEAR(r->jeitaRatio, ratio, 1e-6);
  EXPECT_NEAR(r->jeitaDb, 20 * std::log10(ratio), 1e-4);
  EXPECT_NEAR(r->vesaDb, 20 * std::log10(ratio) + 3.01029995, 1e-4);
  EXPECT_NEAR(r->vesaRatio, 0.5 * c.weight, 1e-6);
  EXPECT_EQ(r->jeitaSpectrum->levelDbVesa[5], static_cast<float>(r->jeitaSpectrum->levelDb[5] + 3.01029995));
}

INSTANTIATE_TEST_SUITE_P(Tones, JeitaTone,
                         ::testing::Values(JeitaCase{10, 1.0f}, JeitaCase{35, 0.6045f},
                                           JeitaCase{40, 0.501f}));

TEST(JeitaTone, TenHertzFiguresAsShown) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FillSine(*r, 10, 0.5, 1.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_NEAR(r->jeitaDb, -9.0309f, 1e-4);
  EXPECT_NEAR(r->jeitaRatio * 100, 35.36f, 1e-2);
  EXPECT_NEAR(r->vesaDb, -6.0206f, 1e-4);
  EXPECT_NEAR(r->vesaRatio * 100, 50.0f, 1e-3);
}

// A record of 1024 samples at 1024 Hz whose amplitude spectrum is set by hand.
FlickerRecordPtr RecordWithLines(std::initializer_list<std::pair<uint32_t, float>> lines) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  std::vector<float>& a = r->spectrum->amplitude;
  std::fill(a.begin(), a.end(), 0.0f);
  for (auto [bin, amplitude] : lines) a[bin] = amplitude;
  return r;
}

TEST(JeitaStep, LinesWithoutLevelNeverCountAsTheHighest) {
  // Lines 1 .. 9 are exactly zero: they copy the start level 0 dB for the chart, but the
  // figures come from the 10 Hz line.
  FlickerRecordPtr r = RecordWithLines({{0, 1.0f}, {10, 0.5f}});
  JeitaStep(*r);
  const JeitaSpectrum& j = *r->jeitaSpectrum;
  EXPECT_EQ(j.peakBin, 10u);
  EXPECT_NEAR(r->jeitaDb, -9.0309f, 1e-4);
  EXPECT_NEAR(r->vesaDb, -6.0206f, 1e-4);
  EXPECT_EQ(j.levelDb[1], 0.0f);
  EXPECT_EQ(j.levelDb[9], 0.0f);
  EXPECT_EQ(j.levelDb[11], j.levelDb[10]);  // copies the line before
  EXPECT_EQ(j.levelDb[60], j.levelDb[10]);
  EXPECT_EQ(j.levelDbVesa[1], static_cast<float>(0.0 + 3.01029995));
}

TEST(JeitaStep, NoModulationBelow60Hz) {
  FlickerRecordPtr r = RecordWithLines({{0, 1.0f}, {100, 0.3f}});
  r->jeitaRatio = 0.7f;
  r->vesaRatio = 0.9f;
  r->jeitaSpectrum->peakBin = 12;
  JeitaStep(*r);
  EXPECT_EQ(r->jeitaSpectrum->peakBin, 0u);
  EXPECT_EQ(r->jeitaRatio, 0.0f);
  EXPECT_EQ(r->vesaRatio, 0.0f);
  EXPECT_EQ(r->jeitaDb, r->jeitaSpectrum->levelDb[1]);
  EXPECT_EQ(r->vesaDb, r->jeitaSpectrum->levelDbVesa[1]);
}

TEST(JeitaStep, ZeroDcLeavesEverything) {
  FlickerRecordPtr r = RecordWithLines({{10, 0.5f}});
  r->jeitaDb = -1.5f;
  r->jeitaRatio = 0.25f;
  r->vesaDb = 1.5f;
  r->vesaRatio = 0.35f;
  r->jeitaSpectrum->peakBin = 7;
  r->jeitaSpectrum->levelDb[10] = -33.0f;
  JeitaStep(*r);
  EXPECT_EQ(r->jeitaDb, -1.5f);
  EXPECT_EQ(r->jeitaRatio, 0.25f);
  EXPECT_EQ(r->vesaDb, 1.5f);
  EXPECT_EQ(r->vesaRatio, 0.35f);
  EXPECT_EQ(r->jeitaSpectrum->peakBin, 7u);
  EXPECT_EQ(r->jeitaSpectrum->levelDb[10], -33.0f);
}

struct BinCountCase {
  uint32_t sampleCount;
  uint32_t sampleFreq;
  uint32_t binCount;
};

class JeitaLines : public ::testing::TestWithParam<BinCountCase> {};

TEST_P(JeitaLines, CoverZeroTo60HzWithinTheSpectrum) {
  const BinCountCase c = GetParam();
  FlickerRecordPtr r = MakeFlickerRecord(c.sampleCount, c.sampleFreq, 100, 1000);
  ASSERT_NE(r, nullptr);
  const JeitaSpectrum& j = *r->jeitaSpectrum;
  EXPECT_EQ(j.binCount, c.binCount);
  EXPECT_EQ(j.levelDb.size(), c.binCount);
  EXPECT_EQ(j.levelDbVesa.size(), c.binCount);
  EXPECT_LE(j.binCount, std::max(1u, r->spectrum->fftSize / 2));
  FillSine(*r, 7, 0.3, 1.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_LT(j.peakBin, j.binCount);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, JeitaLines,
    ::testing::Values(BinCountCase{1024, 10240, 7},      // 10 Hz per line: 0, 10, .. 60 Hz
                      BinCountCase{737280, 4096, 7681},  // the PstLM record
                      BinCountCase{1024, 100, 512},      // below 120 Hz: only the N/2 lines
                      BinCountCase{64, 50, 32},
                      BinCountCase{16, 1000, 1}));       // 62.5 Hz per line

TEST(JeitaStep, NoLineExaminedAbove60HzPerLine) {
  FlickerRecordPtr r = MakeFlickerRecord(16, 1000, 0, 1000);
  FillSine(*r, 125, 0.5, 1.0);
  r->jeitaDb = -4.0f;
  r->jeitaSpectrum->peakBin = 3;
  FlickerRun(r.get(), 0, 0);
  EXPECT_EQ(r->jeitaSpectrum->peakBin, 0u);
  EXPECT_EQ(r->jeitaDb, -4.0f);
}

}  // namespace
