// Creation, release and the analysis run of a flicker record.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "allocation_probe.h"
#include "analysis/analyse.h"
#include "analysis/figures.h"
#include "analysis/record.h"
#include "analysis/svm.h"
#include "signals.h"

namespace {

struct BufferCase {
  uint32_t sampleCount;
  uint32_t taps;
  uint32_t roundBuffer;
  uint32_t bufferLen;
};

class BufferLength : public ::testing::TestWithParam<BufferCase> {};

TEST_P(BufferLength, FollowsTheRoundingRule) {
  const BufferCase c = GetParam();
  FlickerRecordPtr r = MakeFlickerRecord(c.sampleCount, 32768, c.taps, 1000, c.roundBuffer);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->bufferLen, c.bufferLen);
  EXPECT_EQ(r->rawCounts.size(), c.bufferLen);
  EXPECT_EQ(r->volts.size(), c.bufferLen);
  EXPECT_EQ(r->scaled.size(), c.bufferLen);
  EXPECT_EQ(r->firOut.size(), c.bufferLen);
}

INSTANTIATE_TEST_SUITE_P(Cases, BufferLength,
                         ::testing::Values(BufferCase{1000, 100, 1, 2048},  // 1200: next 1024
                                           BufferCase{2048, 100, 1, 4096},  // 2248: next 2048
                                           BufferCase{824, 100, 1, 1024},   // on the boundary
                                           BufferCase{1848, 100, 1, 2048},  // 2048 stays
                                           BufferCase{1849, 100, 1, 4096},
                                           BufferCase{737280, 100, 1, 739328},
                                           BufferCase{1000, 100, 0, 1200},
                                           BufferCase{2048, 100, 0, 2248},
                                           BufferCase{824, 100, 0, 1024},
                                           BufferCase{8192, 51, 1, 10240}));

TEST(FlickerCreate, RefusesEmptyAndOversizedRecords) {
  EXPECT_EQ(FlickerCreate(0, 32768, 100, 1000, 1), nullptr);
  EXPECT_EQ(FlickerCreate(0, 32768, 0, 1000, 0), nullptr);
  // Lengths that do not fit 32 bits, with and without rounding; nothing is allocated.
  AllocationProbe probe;
  EXPECT_EQ(FlickerCreate(UINT32_MAX, 32768, 0, 1000, 1), nullptr);
  EXPECT_EQ(FlickerCreate(UINT32_MAX - 150, 32768, 100, 1000, 0), nullptr);
  EXPECT_EQ(FlickerCreate(1024, 32768, UINT32_MAX / 2 + 1, 1000, 0), nullptr);
  EXPECT_EQ(probe.allocations(), 0);
  FlickerDestroy(nullptr);
}

TEST(FlickerCreate, AnyFailedAllocationGivesNullAndLeaksNothing) {
  int64_t needed = 0;
  {
    AllocationProbe probe;
    FlickerRecord* r = FlickerCreate(2000, 32768, 100, 1000, 1);
    ASSERT_NE(r, nullptr);
    needed = probe.allocations();
    FlickerDestroy(r);
    EXPECT_EQ(probe.live(), 0);
  }
  ASSERT_GT(needed, 0);
  for (int64_t failing = 0; failing < needed; ++failing) {
    AllocationProbe probe(failing);
    EXPECT_EQ(FlickerCreate(2000, 32768, 100, 1000, 1), nullptr) << "allocation " << failing;
    EXPECT_EQ(probe.live(), 0) << "allocation " << failing;
  }
}

TEST(FlickerCreate, InitialState) {
  FlickerRecordPtr r = MakeFlickerRecord(1000, 10000, 100, 1000);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->sampleCount, 1000u);
  EXPECT_EQ(r->sampleFreq, 10000u);
  EXPECT_EQ(r->windowPeriods, 5u);
  EXPECT_EQ(r->windowPeriodSamples, 0u);
  EXPECT_EQ(r->scaleIndex, 1);
  EXPECT_EQ(r->scaleCount, 4);
  for (float f : r->scaleFactors) EXPECT_EQ(f, 1.0f);
  for (uint32_t i = 0; i < r->bufferLen; ++i) {
    ASSERT_EQ(r->rawCounts[i], 0);
    ASSERT_EQ(r->volts[i], 0.0f);
    ASSERT_EQ(r->firOut[i], 0.0f);
  }
  EXPECT_EQ(r->frequency, 0.0f);
  EXPECT_EQ(r->svm, 0.0f);
  EXPECT_EQ(r->jeitaDb, 0.0f);

  EXPECT_EQ(r->spectrum->fftSize, 512u);
  EXPECT_EQ(r->spectrum->sampleCount, 1000u);
  EXPECT_EQ(r->spectrum->sampleFreq, 10000u);
  EXPECT_EQ(r->fir->taps, 100u);
  EXPECT_EQ(r->fir->type, 0);
  EXPECT_EQ(r->fir->window, 4);
  EXPECT_EQ(r->fir->cutoffHz, 1000.0);
  EXPECT_EQ(r->fir->sampleFreq, 10000.0);
  EXPECT_DOUBLE_EQ(r->fir->normalizedCutoff, 0.2);
  EXPECT_EQ(std::memcmp(r->svmCurve.get(), &SvmThresholdCurve(), sizeof(WeightCurve)), 0);
  EXPECT_NE(r->svmCurve.get(), &SvmThresholdCurve());  // a copy of its own
  EXPECT_EQ(r->jeitaSpectrum->binCount, 4u);  // 60 / 19.53125 + 1
}

TEST(FlickerRun, FirSwitchAndShiftedCopy) {
  FlickerRecordPtr r = MakeFlickerRecord(4096, 32768, 100, 1000);
  FillSquare(*r, 100, 0.5f, 1.5f, 0.05f, 7);
  const std::vector<float> captured = r->volts;

  FlickerRun(r.get(), 0, 0);
  EXPECT_EQ(r->firEnabled, 0u);
  EXPECT_EQ(r->volts, captured);

  FlickerRun(r.get(), 0, 1);
  EXPECT_EQ(r->firEnabled, 1u);
  for (uint32_t i = 0; i < r->sampleCount; ++i) ASSERT_EQ(r->volts[i], r->firOut[100 + i]) << i;
  // Beyond the sample count the buffer keeps the captured samples.
  for (uint32_t i = r->sampleCount; i < r->bufferLen; ++i) ASSERT_EQ(r->volts[i], captured[i]);
  // The scaled copy follows the filtered signal over the whole buffer.
  for (uint32_t i = 0; i < r->bufferLen; ++i) ASSERT_EQ(r->scaled[i], r->volts[i]);
}

TEST(FlickerRun, ScaleFactorMultipliesTheScaledCopyOnly) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FillSine(*r, 100, 0.1, 1.0);
  r->scaleFactors[1] = 2.0f;
  FlickerRun(r.get(), 0, 0);
  for (uint32_t i = 0; i < r->bufferLen; ++i) ASSERT_EQ(r->scaled[i], 2.0f * r->volts[i]);
  EXPECT_NEAR(r->average, 1.0f, 1e-6);
  // The flicker index compares scaled samples with the unscaled average.
  EXPECT_NEAR(r->flickerIndex, 0.5, 1e-3);
}

TEST(FlickerRun, NoFundamentalStatisticsOverTheTransformLength) {
  // Three samples: N = 2, no bin between 1 and N/2 - 1, so no fundamental.
  FlickerRecordPtr r = MakeFlickerRecord(3, 1000, 0, 1000, 0);
  ASSERT_NE(r, nullptr);
  r->volts = {1.0f, 3.0f, 100.0f};
  FlickerRun(r.get(), 0, 0);
  EXPECT_EQ(r->frequency, -1.0f);
  EXPECT_EQ(r->peakBin, -1.0f);
  EXPECT_EQ(r->windowPeriods, 5u);
  EXPECT_EQ(r->windowPeriodSamples, 0u);
  EXPECT_EQ(r->average, 2.0f);  // over the 2 transformed samples
  EXPECT_EQ(r->maxVolts, 3.0f);
}

TEST(FlickerRun, StatisticsOverTheSampleCountOnceAFundamentalWasFound) {
  // 1000 samples: N = 512; a 10 Hz sine at 1000 Hz.
  FlickerRecordPtr r = MakeFlickerRecord(1000, 1000, 100, 1000);
  FillSine(*r, 10, 0.5, 1.0);
  for (uint32_t i = 512; i < 1000; ++i) r->volts[i] = 4.0f;  // outside the transform
  FlickerRun(r.get(), 0, 0);
  EXPECT_GT(r->windowPeriodSamples, 0u);
  EXPECT_EQ(r->maxVolts, 4.0f);
}

TEST(FlickerRun, TestSignalIsA30HzToneOf50PercentAround1V) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  FlickerRun(r.get(), 1, 0);
  EXPECT_EQ(r->frequency, 30.0f);
  EXPECT_NEAR(r->average, 1.0f, 1e-3);
  EXPECT_NEAR(r->percentFlicker, 0.5f, 1e-3);
  EXPECT_NEAR(r->acDcRatio, 0.5f, 1e-3);
  EXPECT_EQ(r->volts[0], 1.0f);
}

TEST(FlickerRun, AllocatesNothing) {
  FlickerRecordPtr r = MakeFlickerRecord(16384, 32768, 100, 1000);
  FillSquare(*r, 120, 0.2f, 1.0f, 0.01f, 3);
  AllocationProbe probe;
  FlickerRun(r.get(), 0, 1);
  FlickerRun(r.get(), 1, 0);
  EXPECT_EQ(probe.allocations(), 0);
}

// The figures of a run with the program's transform arithmetic and with the extended
// reference, for waveforms of the sizes the program analyses.
struct PrecisionCase {
  const char* name;
  uint32_t sampleCount;
  uint32_t sampleFreq;
  uint32_t fir;
};

class TransformArithmetic : public ::testing::TestWithParam<PrecisionCase> {};

TEST_P(TransformArithmetic, LeavesEveryFigureWhereItIs) {
  const PrecisionCase c = GetParam();
  FlickerRecordPtr program = MakeFlickerRecord(c.sampleCount, c.sampleFreq, 100, 1000);
  FlickerRecordPtr reference = MakeFlickerRecord(c.sampleCount, c.sampleFreq, 100, 1000);
  FillSquare(*program, 8.8 + c.sampleFreq / 1000.0, 0.8f, 1.2f, 0.02f, c.sampleCount);
  reference->volts = program->volts;
  FlickerAnalyse(program.get(), 0, c.fir, TransformPrecision::kDouble);
  FlickerAnalyse(reference.get(), 0, c.fir, TransformPrecision::kExtended);

  for (const FigureInfo& figure : FigureTable()) {
    EXPECT_EQ(FigureValueOf(*program, figure), FigureValueOf(*reference, figure)) << figure.name;
  }
  EXPECT_EQ(program->jeitaSpectrum->levelDb, reference->jeitaSpectrum->levelDb);
  int32_t programPeaks[10], referencePeaks[10];
  FlickerPeaks(program.get(), 10, programPeaks);
  FlickerPeaks(reference.get(), 10, referencePeaks);
  EXPECT_EQ(std::memcmp(programPeaks, referencePeaks, sizeof programPeaks), 0);
  const std::vector<float>& a = program->spectrum->amplitude;
  const std::vector<float>& b = reference->spectrum->amplitude;
  for (std::size_t i = 0; i < a.size(); ++i) {
    ASSERT_NEAR(a[i], b[i], std::fabs(b[i]) * 1e-6f) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Records, TransformArithmetic,
                         ::testing::Values(PrecisionCase{"Continuous", 16384, 32768, 0},
                                           PrecisionCase{"ContinuousFir", 16384, 32768, 1},
                                           PrecisionCase{"Fast", 65536, 102400, 0},
                                           PrecisionCase{"PstLM", 737280, 4096, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
