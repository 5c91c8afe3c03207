// Time-domain figures and the stroboscopic visibility measure.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "analysis/record.h"
#include "analysis/svm.h"
#include "signals.h"

namespace {

// volts and scaled both hold the samples, as after a run with scale factor 1.
void SetSamples(FlickerRecord& r, const std::vector<float>& samples) {
  std::copy(samples.begin(), samples.end(), r.volts.begin());
  std::copy(samples.begin(), samples.end(), r.scaled.begin());
}

// 1024 samples alternating 1 V and 3 V, with their figures.
FlickerRecordPtr AlternatingOneAndThree() {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 32768, 100, 1000);
  std::vector<float> samples(1024);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = i % 2 ? 3.0f : 1.0f;
  SetSamples(*r, samples);
  FlickerStats(r.get(), 1024);
  return r;
}

TEST(FlickerStats, AlternatingOneAndThreeVolts) {
  FlickerRecordPtr r = AlternatingOneAndThree();
  EXPECT_EQ(r->average, 2.0f);
  EXPECT_EQ(r->minVolts, 1.0f);
  EXPECT_EQ(r->maxVolts, 3.0f);
  EXPECT_EQ(r->percentFlicker, 0.5f);
  EXPECT_EQ(r->fma, 1.0f);
  EXPECT_EQ(r->contrast, 1.0f);
  EXPECT_EQ(r->contrastDb, 0.0f);
  EXPECT_EQ(r->flickerIndex, 0.25f);
  EXPECT_EQ(r->rmsRatio, 0.5f);
  EXPECT_NEAR(r->rmsDb, -3.0103f, 1e-4);  // 10 log10, not 20 log10
}

TEST(FlickerStats, ConstantWaveformHasNoFlicker) {
  FlickerRecordPtr r = MakeFlickerRecord(4096, 32768, 100, 1000);
  FillSine(*r, 0, 0, 2.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_EQ(r->average, 2.0f);
  EXPECT_EQ(r->percentFlicker, 0.0f);
  EXPECT_EQ(r->fma, 0.0f);
  EXPECT_EQ(r->flickerIndex, 0.0f);
  EXPECT_EQ(r->contrast, 0.0f);
  EXPECT_EQ(r->contrastDb, 0.0f);
  EXPECT_EQ(r->rmsRatio, 0.0f);
  EXPECT_EQ(r->rmsDb, 0.0f);
  EXPECT_LT(r->svm, 1e-6f);
}

// A steady light over a whole PstLM-length record: the mean must stay the level. Summed in
// float, the 737280 samples drifted to an average of 3.224 V above a maximum of 3.2 V.
TEST(FlickerStats, LongSteadyRecordKeepsItsMean) {
  FlickerRecordPtr r = MakeFlickerRecord(737280, 4096, 100, 1000);
  std::vector<float> samples(737280, 3.2f);
  SetSamples(*r, samples);
  FlickerStats(r.get(), 737280);
  EXPECT_EQ(r->average, 3.2f);
  EXPECT_EQ(r->maxVolts, 3.2f);
  EXPECT_EQ(r->rmsRatio, 0.0f);
  EXPECT_EQ(r->flickerIndex, 0.0f);
}

TEST(FlickerStats, DarkWaveformKeepsContrastAndRms) {
  FlickerRecordPtr r = AlternatingOneAndThree();
  SetSamples(*r, std::vector<float>(1024, 0.0f));
  FlickerStats(r.get(), 1024);
  EXPECT_EQ(r->average, 0.0f);
  EXPECT_EQ(r->percentFlicker, 0.0f);
  EXPECT_EQ(r->fma, 0.0f);
  EXPECT_EQ(r->flickerIndex, 0.0f);
  EXPECT_EQ(r->contrast, 1.0f);
  EXPECT_EQ(r->rmsRatio, 0.5f);
  EXPECT_NEAR(r->rmsDb, -3.0103f, 1e-4);
}

TEST(FlickerStats, NoSamplesLeaveTheFiguresAndTooManyAreCut) {
  FlickerRecordPtr r = MakeFlickerRecord(1000, 32768, 100, 1000, 0);
  FillSquare(*r, 500, 1.0f, 2.0f, 0.0f, 1);
  r->scaled = r->volts;
  r->average = 7.0f;
  r->minVolts = -3.0f;
  r->rmsRatio = 0.125f;
  FlickerStats(r.get(), 0);
  EXPECT_EQ(r->average, 7.0f);
  EXPECT_EQ(r->minVolts, -3.0f);
  EXPECT_EQ(r->rmsRatio, 0.125f);

  FlickerStats(r.get(), r->bufferLen);
  const float whole = r->average;
  FlickerStats(r.get(), r->bufferLen + 5000);
  EXPECT_EQ(r->average, whole);
  FlickerStats(nullptr, 10);
}

TEST(SvmCurve, ThresholdTable) {
  const WeightCurve& curve = SvmThresholdCurve();
  EXPECT_EQ(curve.count, 2000);
  EXPECT_EQ(curve.x[0], 1.0f);
  EXPECT_EQ(curve.x[1999], 2000.0f);
  EXPECT_FLOAT_EQ(curve.y[0], 18.267118f);
  EXPECT_FLOAT_EQ(curve.y[99], 0.25627533f);
  EXPECT_FLOAT_EQ(curve.y[1999], 0.99984497f);
  EXPECT_EQ(&SvmThresholdCurve(), &curve);  // built once
}

TEST(SvmCurve, InterpolationBetweenWholeFrequencies) {
  const WeightCurve& curve = SvmThresholdCurve();
  const auto at = [&](float f) { return CurveInterpolate(curve, f, CurveLookup(curve, f, 0)); };
  EXPECT_EQ(at(100.0f), curve.y[99]);
  EXPECT_EQ(at(1.0f), curve.y[0]);  // k = 0: the first point itself
  EXPECT_EQ(at(2000.0f), curve.y[1999]);
  EXPECT_FLOAT_EQ(at(150.5f), (curve.y[149] + curve.y[150]) / 2);
  EXPECT_FLOAT_EQ(at(150.25f), curve.y[149] + 0.25f * (curve.y[150] - curve.y[149]));
  EXPECT_EQ(at(0.5f), 0.0f);
  EXPECT_EQ(at(2000.5f), 0.0f);
  EXPECT_EQ(CurveLookup(curve, 2000.5f, 0), -1);
  EXPECT_EQ(CurveInterpolate(curve, 5.0f, -1), 0.0f);
}

TEST(SvmCurve, SearchFindsTheIndexOfTheLinearScan) {
  const WeightCurve& curve = SvmThresholdCurve();
  std::vector<float> probes;
  for (float f = -2.0f; f <= 2003.0f; f += 0.25f) probes.push_back(f);
  for (int x = 1; x <= 2000; x += 37) {
    probes.push_back(std::nextafter(static_cast<float>(x), 0.0f));
    probes.push_back(std::nextafter(static_cast<float>(x), 5000.0f));
  }
  for (float f : probes) {
    for (int start : {0, 1, 150, 1999, 2000, 2500, -4}) {
      ASSERT_EQ(CurveLookup(curve, f, start), CurveLookupLinear(curve, f, start))
          << "f " << f << " start " << start;
    }
  }
  WeightCurve few{};
  few.count = 3;
  few.x[0] = 1, few.x[1] = 2, few.x[2] = 4;
  few.x[3] = 100;  // beyond the point count: never found
  EXPECT_EQ(CurveLookup(few, 3.0f, 0), 2);
  EXPECT_EQ(CurveLookup(few, 50.0f, 0), -1);
  few.count = -1;
  EXPECT_EQ(CurveLookup(few, 1.0f, 0), -1);
  // A count beyond the room of the curve uses the 4096 points it has.
  auto full = std::make_unique<WeightCurve>();
  for (int k = 0; k < 4096; ++k) full->x[k] = static_cast<float>(k);
  full->count = 99999;
  EXPECT_EQ(CurveLookup(*full, 4095.0f, 0), 4095);
  EXPECT_EQ(CurveLookup(*full, 4095.5f, 0), -1);
  EXPECT_EQ(CurveLookupLinear(*full, 4095.5f, 0), -1);
}

TEST(Svm, HundredHertzLine) {
  // 0.1 V at 100 Hz on 1 V, 1 Hz per bin: 0.1 / T(100).
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FillSine(*r, 100, 0.1, 1.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_NEAR(r->svm, 0.3902f, 1e-4);
  EXPECT_NEAR(r->svm, 0.1f / 0.25627533f, 1e-5);
}

// One line of 0.2 V on 1 V at 0.5 Hz per bin: 0.2 / T(f) from 1 to 2000 Hz, T of a half
// frequency the mean of its neighbours; nothing outside.
class SvmLine : public ::testing::TestWithParam<double> {};

TEST_P(SvmLine, CountsOnlyFromOneTo2000Hertz) {
  const double hz = GetParam();
  double expected = 0.0;
  if (hz >= 1.0 && hz <= 2000.0) {
    const double threshold = (SvmThreshold(std::floor(hz)) + SvmThreshold(std::ceil(hz))) / 2;
    expected = 0.2 / threshold;
  }
  FlickerRecordPtr r = MakeFlickerRecord(16384, 8192, 100, 1000);
  FillSine(*r, hz, 0.2, 1.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_NEAR(r->svm, expected, 2e-4) << hz;
}

INSTANTIATE_TEST_SUITE_P(Lines, SvmLine, ::testing::Values(0.5, 1.0, 150.5, 2000.0, 2000.5, 3000.0));

TEST(Svm, NoDcLevelNoMeasure) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FillSine(*r, 100, 0.1, 0.0);
  FlickerRun(r.get(), 0, 0);
  EXPECT_EQ(r->svm, 0.0f);
}

TEST(Svm, ProgramSearchGivesTheLinearScansMeasureToTheBit) {
  FlickerRecordPtr r = MakeFlickerRecord(8192, 5000, 100, 1000);
  FillSquare(*r, 97.3, 0.7f, 1.3f, 0.05f, 21);
  FlickerRun(r.get(), 0, 0);
  const float linear = SvmOfSpectrum(*r->spectrum, *r->svmCurve, CurveSearch::kLinear);
  EXPECT_GT(linear, 0.1f);
  EXPECT_EQ(r->svm, linear);
  EXPECT_EQ(SvmOfSpectrum(*r->spectrum, *r->svmCurve, CurveSearch::kFast), linear);
}

}  // namespace
