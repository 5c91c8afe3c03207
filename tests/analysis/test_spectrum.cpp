// The amplitude spectrum, the fundamental and the strongest lines.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "analysis/record.h"
#include "analysis/spectrum.h"
#include "instruction_paths.h"
#include "signals.h"

namespace {

TEST(Spectrum, LengthIsTheLargestPowerOfTwoNotAboveTheCount) {
  const std::pair<uint32_t, uint32_t> cases[] = {
      {0, 1}, {1, 1}, {2, 2}, {3, 2}, {1000, 512}, {1024, 1024}, {65535, 32768}, {737280, 524288}};
  for (auto [count, length] : cases) EXPECT_EQ(SpectrumLength(count), length) << count;
}

TEST(Spectrum, Tables) {
  auto s = SpectrumCreate(1000);
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->fftSize, 512u);
  EXPECT_EQ(s->log2Size, 9u);
  EXPECT_EQ(s->sampleCount, 1000u);
  for (uint32_t i = 0; i < 512; ++i) {
    uint32_t reversed = 0;
    for (uint32_t bit = 0; bit < 9; ++bit) reversed |= ((i >> bit) & 1u) << (8 - bit);
    ASSERT_EQ(s->bitReverse[i], reversed) << i;
  }
  // The twiddle constant is 6.2831852, a little below 2 pi: the quarter-turn cosine is not 0.
  EXPECT_EQ(s->cosTable[128], static_cast<float>(std::cos(6.2831852 * 128 / 512)));
  EXPECT_GT(s->cosTable[128], 2.0e-8f);
  EXPECT_EQ(s->sinTable[1], static_cast<float>(std::sin(6.2831852 / 512)));

  SpectrumSetFrequency(*s, 10000);
  EXPECT_EQ(s->sampleFreq, 10000u);
  EXPECT_EQ(s->binHz, 19.53125f);
  for (uint32_t i = 0; i < 512; ++i) ASSERT_EQ(s->frequency[i], static_cast<float>(i) * 19.53125f);
}

// A sine on a level, sampled at 10240 Hz with 1024 samples: binHz 10 Hz.
struct ToneCase {
  double hz;
  uint32_t bin;
  uint32_t windowPeriods;
  uint32_t windowPeriodSamples;
};

class KnownSpectrum : public ::testing::TestWithParam<ToneCase> {};

TEST_P(KnownSpectrum, AmplitudesAndFundamental) {
  const ToneCase c = GetParam();
  FlickerRecordPtr r = MakeFlickerRecord(1024, 10240, 100, 1000);
  FillSine(*r, c.hz, 1.0, 2.0);
  FlickerRun(r.get(), 0, 0);
  const std::vector<float>& a = r->spectrum->amplitude;
  EXPECT_NEAR(a[0], 2.0f, 1e-5);
  EXPECT_NEAR(a[c.bin], 1.0f, 1e-5);
  for (uint32_t i = 1; i < 512; ++i) {
    if (i != c.bin) {
      ASSERT_LT(a[i], 1e-5f) << i;
    }
  }
  for (uint32_t i = 512; i < 1024; ++i) ASSERT_EQ(a[i], 0.0f) << i;
  EXPECT_EQ(r->frequency, static_cast<float>(c.hz));
  EXPECT_EQ(r->peakBin, static_cast<float>(c.bin));
  EXPECT_NEAR(r->acDcRatio, 0.5f, 1e-5);
  EXPECT_EQ(r->windowPeriods, c.windowPeriods);
  EXPECT_EQ(r->windowPeriodSamples, c.windowPeriodSamples);
}

// At 100 Hz the period 10240 / 100 is the float just above 102.4: 9 periods, 921 samples.
INSTANTIATE_TEST_SUITE_P(Tones, KnownSpectrum,
                         ::testing::Values(ToneCase{80, 8, 8, 1024}, ToneCase{100, 10, 9, 921}));

TEST(Spectrum, MatchesTheDirectTransform) {
  auto s = SpectrumCreate(64);
  std::mt19937 generator(5);
  std::uniform_real_distribution<float> uniform(-1.0f, 3.0f);
  std::vector<float> x(64);
  for (float& v : x) v = uniform(generator);
  SpectrumTransform(*s, x.data());
  for (int k = 0; k < 64; ++k) {
    std::complex<double> sum = 0;
    for (int n = 0; n < 64; ++n) sum += static_cast<double>(x[n]) * std::polar(1.0, -6.2831852 * n * k / 64);
    ASSERT_NEAR(s->re[k], sum.real(), 1e-4) << k;
    ASSERT_NEAR(s->im[k], sum.imag(), 1e-4) << k;
    const double expected = k == 0 ? std::abs(sum) / 64 : (k < 32 ? 2 * std::abs(sum) / 64 : 0.0);
    ASSERT_NEAR(s->amplitude[k], expected, 1e-5) << k;
  }
}

// The vectorised stages, with and without AVX2, against the butterflies one at a time in
// long double, on every length whose stages take a different path.
class VectorPaths : public InstructionPaths {};

TEST_P(VectorPaths, StagesEqualTheExtendedReference) {
  std::mt19937 generator(11);
  std::uniform_real_distribution<float> uniform(0.0f, 5.0f);
  for (uint32_t size : {1u, 2u, 4u, 8u, 16u, 32u, 64u, 1024u, 8192u, 16384u, 65536u}) {
    auto program = SpectrumCreate(size);
    auto reference = SpectrumCreate(size);
    std::vector<float> x(size);
    for (float& v : x) v = uniform(generator);
    SpectrumTransform(*program, x.data(), TransformPrecision::kDouble);
    SpectrumTransform(*reference, x.data(), TransformPrecision::kExtended);
    EXPECT_EQ(program->re, reference->re) << size;
    EXPECT_EQ(program->im, reference->im) << size;
    EXPECT_EQ(program->amplitude, reference->amplitude) << size;
  }
}

INSTANTIATE_TEST_SUITE_P(Avx2, VectorPaths, ::testing::Bool());

// Sets amplitudes by hand on a 16-point engine (8 lines) and runs the fundamental search.
FlickerRecordPtr RecordWithLines(std::vector<float> lines) {
  FlickerRecordPtr r = MakeFlickerRecord(16, 160, 0, 10, 0);
  std::fill(r->spectrum->amplitude.begin(), r->spectrum->amplitude.end(), 0.0f);
  std::copy(lines.begin(), lines.end(), r->spectrum->amplitude.begin());
  return r;
}

TEST(Fundamental, TiesGoToTheHigherBin) {
  FlickerRecordPtr r = RecordWithLines({2, 0.5f, 0, 1, 0, 1, 0.5f, 0});
  SpectrumFindFundamental(*r);
  EXPECT_EQ(r->peakBin, 5.0f);
  EXPECT_EQ(r->frequency, 50.0f);
  EXPECT_EQ(r->acDcRatio, 0.5f);
  // The period 160 / 50 is the float just above 3.2, so 16 samples hold 4 whole periods.
  EXPECT_EQ(r->windowPeriods, 4u);
  EXPECT_EQ(r->windowPeriodSamples, 12u);

  // A flat spectrum: the highest scanned bin, N/2 - 1.
  r = RecordWithLines({2, 0, 0, 0, 0, 0, 0, 0});
  SpectrumFindFundamental(*r);
  EXPECT_EQ(r->peakBin, 7.0f);
}

TEST(Fundamental, ZeroDcKeepsTheRatioAndZeroFrequencyTakesTheWholeWindow) {
  FlickerRecordPtr r = RecordWithLines({0, 1, 0, 0, 0, 0, 0, 0});
  r->acDcRatio = 0.25f;
  SpectrumFindFundamental(*r);
  EXPECT_EQ(r->acDcRatio, 0.25f);

  // Sampling frequency 0: every line is at 0 Hz.
  FlickerRecordPtr still = MakeFlickerRecord(16, 0, 0, 10, 0);
  FillSquare(*still, 1, 1.0f, 2.0f, 0.0f, 1);
  still->volts[3] = 5.0f;
  FlickerRun(still.get(), 0, 0);
  EXPECT_EQ(still->frequency, 0.0f);
  EXPECT_EQ(still->windowPeriods, 1u);
  EXPECT_EQ(still->windowPeriodSamples, 16u);
}

TEST(Fundamental, NoneBelowFourSamples) {
  for (uint32_t count : {1u, 2u, 3u}) {
    FlickerRecordPtr r = MakeFlickerRecord(count, 1000, 0, 10, 0);
    r->frequency = 5.0f;
    r->windowPeriodSamples = 7;
    FlickerRun(r.get(), 0, 0);
    EXPECT_EQ(r->frequency, -1.0f) << count;
    EXPECT_EQ(r->peakBin, -1.0f) << count;
    EXPECT_EQ(r->windowPeriodSamples, 7u) << count;
  }
}

struct PeaksCase {
  const char* name;
  std::vector<float> lines;  // amplitudes of bins 0 .. 7
  int count;
  std::vector<int32_t> expected;
};

class Peaks : public ::testing::TestWithParam<PeaksCase> {};

TEST_P(Peaks, WeakestFirstWithEmptySlotsInFront) {
  const PeaksCase& c = GetParam();
  FlickerRecordPtr r = RecordWithLines(c.lines);
  std::vector<int32_t> out(c.count + 1, 99);  // one guard slot past the end
  FlickerPeaks(r.get(), c.count, out.data());
  out.pop_back();
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(out.size(), c.expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Peaks,
    ::testing::Values(
        PeaksCase{"Strongest", {2, 0.1f, 0.5f, 0.3f, 0.9f, 0.2f, 0.4f, 0.6f}, 3, {7, 4, 0}},
        PeaksCase{"LaterBinRanksAboveAnEqualOne", {1, 3, 0, 3, 0, 3, 0, 0}, 3, {1, 3, 5}},
        PeaksCase{"EqualToTheWeakestIsNotTaken", {1, 2, 1, 0, 0, 0, 0, 0}, 2, {0, 1}},
        PeaksCase{"FewerLinesThanSlots",
                  {4, 3, 2, 1, 0.5f, 0.25f, 0.125f, 0.0625f},
                  10,
                  {-1, -1, 7, 6, 5, 4, 3, 2, 1, 0}},
        PeaksCase{"FlatSpectrum", {0, 0, 0, 0, 0, 0, 0, 0}, 10, {-1, -1, 0, 1, 2, 3, 4, 5, 6, 7}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Peaks, NoSlotsNoRecord) {
  int32_t out[2] = {5, 5};
  FlickerPeaks(nullptr, 2, out);
  EXPECT_EQ(out[0], -1);
  EXPECT_EQ(out[1], -1);
  FlickerRecordPtr r = RecordWithLines({1, 2});
  FlickerPeaks(r.get(), 0, out);
  FlickerPeaks(r.get(), -3, out);
  EXPECT_EQ(out[0], -1);
}

}  // namespace
