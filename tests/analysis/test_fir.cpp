// The windowed-sinc low-pass filter.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "analysis/fir.h"
#include "analysis/record.h"
#include "instruction_paths.h"

namespace {

std::unique_ptr<FirFilter> Designed(uint32_t taps, double sampleFreq, double cutoffHz) {
  auto fir = FirCreate(taps);
  fir->sampleFreq = sampleFreq;
  fir->cutoffHz = cutoffHz;
  FirDesign(*fir);
  return fir;
}

TEST(FirDesign, HundredTapsAt10kHzWith1kHzCutoff) {
  auto fir = Designed(100, 10000, 1000);
  EXPECT_EQ(fir->normalizedCutoff, 0.2);
  EXPECT_EQ(fir->coefficients.size(), 1024u);
  EXPECT_EQ(fir->history.size(), 1024u);
  const double pi = 3.141592653589793;
  const double w49 = 0.5 - 0.5 * std::cos(6.283185307179586 * 50 / 101);
  const double h49 = 0.2 * (std::sin(0.1 * pi) / (0.1 * pi)) * w49;
  EXPECT_NEAR(fir->coefficients[49], h49, 1e-15);
  EXPECT_EQ(fir->coefficients[50], fir->coefficients[49]);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(fir->coefficients[i], fir->coefficients[99 - i]) << i;
  // The window does not reach zero at the ends.
  EXPECT_EQ(FirHannWindow(100, 0), 0.5 - 0.5 * std::cos(6.283185307179586 / 101));
  // Not renormalised: the sum is only about 1.
  const double sum = std::accumulate(fir->coefficients.begin(), fir->coefficients.begin() + 100, 0.0);
  EXPECT_NEAR(sum, 1.0, 0.01);
  EXPECT_NE(sum, 1.0);
}

TEST(FirDesign, WindowMiddleAndCapacity) {
  EXPECT_EQ(FirHannWindow(51, 25), 1.0);  // odd length: exactly 1 in the middle
  for (uint32_t i = 0; i < 100; ++i) EXPECT_LT(FirHannWindow(100, i), 1.0) << i;
  EXPECT_EQ(FirCreate(51)->coefficients.size(), 1024u);
  EXPECT_EQ(FirCreate(1025)->coefficients.size(), 2048u);
  EXPECT_EQ(FirCreate(0)->history.size(), 1024u);
  // A cut-off above half the sampling frequency is designed by the same formulas.
  auto wide = Designed(11, 10000, 6000);
  EXPECT_DOUBLE_EQ(wide->normalizedCutoff, 1.2);
  EXPECT_DOUBLE_EQ(wide->coefficients[5], 1.2);
}

// The filter as written down: a sum over the taps, in double, in tap order.
std::vector<float> Convolve(const FirFilter& fir, const std::vector<float>& in) {
  std::vector<float> out(in.size());
  for (std::size_t k = 0; k < in.size(); ++k) {
    double sum = 0.0;
    for (std::size_t j = 0; j < fir.taps && j <= k; ++j) sum += fir.coefficients[j] * in[k - j];
    out[k] = static_cast<float>(sum);
  }
  return out;
}

class FirPaths : public InstructionPaths {};

TEST_P(FirPaths, ApplyIsTheConvolutionFromRest) {
  std::mt19937 generator(3);
  std::uniform_real_distribution<float> uniform(0.0f, 5.0f);
  for (uint32_t taps : {1u, 7u, 51u, 100u}) {
    auto fir = Designed(taps, 32768, 1000);
    for (uint32_t n : {0u, 5u, 99u, 100u, 1237u}) {
      std::vector<float> in(n), out(n, -1.0f);
      for (float& v : in) v = uniform(generator);
      FirApply(*fir, in.data(), out.data(), n);
      ASSERT_EQ(out, Convolve(*fir, in)) << taps << " taps, " << n << " samples";
      FirApply(*fir, in.data(), out.data(), n);  // again: the delay line starts cleared
      ASSERT_EQ(out, Convolve(*fir, in)) << taps << " taps, " << n << " samples, twice";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Avx2, FirPaths, ::testing::Bool());

TEST(FirApply, ConstantSettlesToTheCoefficientSum) {
  auto fir = Designed(100, 10000, 1000);
  std::vector<float> in(300, 2.0f), out(300);
  FirApply(*fir, in.data(), out.data(), 300);
  const double sum = std::accumulate(fir->coefficients.begin(), fir->coefficients.begin() + 100, 0.0);
  for (int k = 99; k < 300; ++k) ASSERT_FLOAT_EQ(out[k], static_cast<float>(2.0 * sum)) << k;
  EXPECT_LT(out[10], out[99]);  // still settling
}

TEST(FirApply, NoTapsGiveSilence) {
  auto fir = Designed(0, 10000, 1000);
  std::vector<float> in(20, 1.0f), out(20, 5.0f);
  FirApply(*fir, in.data(), out.data(), 20);
  EXPECT_EQ(out, std::vector<float>(20, 0.0f));
}

}  // namespace
