#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "analysis/pstlm.h"
#include "tests/analysis/pstlm_reference.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// seconds of light at fs Hz: level * (1 + relative(t)) volts.
std::vector<float> Light(uint32_t fs, double seconds, double level,
                         const std::function<double(double)>& relative) {
  std::vector<float> v(static_cast<size_t>(seconds * fs));
  for (size_t i = 0; i < v.size(); ++i) {
    v[i] = static_cast<float>(level * (1 + relative(static_cast<double>(i) / fs)));
  }
  return v;
}

// Sinusoidal modulation of peak-to-peak depth dL/L at f Hz.
std::function<double(double)> Sine(double f, double depth) {
  return [=](double t) { return depth / 2 * std::sin(kTwoPi * f * t); };
}

double Gain(const PstCoefficients& c, double f, double fs) {
  const std::complex<double> zInv = std::polar(1.0, -kTwoPi * f / fs);
  std::complex<double> num = 0, den = 0, zk = 1;
  for (int k = 0; k < c.m; ++k) {
    num += c.b[k] * zk;
    den += c.a[k] * zk;
    zk *= zInv;
  }
  return std::abs(num / den);
}

bool SameBits(double x, double y) { return std::memcmp(&x, &y, sizeof x) == 0; }

constexpr PstResult kUntouched{123.5, -7.25};

TEST(PstCoefficients, MatchThePrintedValuesAt4096Hz) {
  PstCoefficients hp, sm, lp, wt;
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::HighPass, 4096, &hp), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::Smoothing, 4096, &sm), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::LowPass, 4096, &lp), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::Weighting, 4096, &wt), 0);
  ASSERT_EQ(hp.m, 2);
  ASSERT_EQ(sm.m, 2);
  ASSERT_EQ(lp.m, 7);
  ASSERT_EQ(wt.m, 5);

  const auto near = [](double got, double want) {
    EXPECT_NEAR(got, want, std::fabs(want) * 1e-12) << "want " << want;
  };
  near(hp.b[0], 0.99996165195091302);
  near(hp.b[1], -0.99996165195091302);
  near(hp.a[1], -0.99992330390182704);
  near(sm.b[0], 0.00040673556298986802);
  near(sm.b[1], 0.00040673556298986802);
  near(sm.a[1], -0.99918652887402004);
  const double lpA[7] = {1, -5.7925652508849597, 13.984231445418001, -18.009881118366302,
                         13.049967123886599, -5.0443887993988001, 0.812636620967775};
  for (int j = 0; j < 7; ++j) EXPECT_NEAR(lp.a[j], lpA[j], 1e-13) << "a" << j;
  EXPECT_NEAR(lp.b[0], 3.37849e-10, 0.00001e-10);
  const double binomial[7] = {1, 6, 15, 20, 15, 6, 1};
  for (int j = 0; j < 7; ++j) EXPECT_DOUBLE_EQ(lp.b[j], lp.b[0] * binomial[j]);
  const double wB[5] = {0.0460533520014863, -0.173385377350028, 0.24399470291478,
                        -0.152046257806258, 0.0353835802400202};
  const double wA[5] = {1, -3.95250877021382, 5.85822337747796, -3.85891282079413,
                        0.953198225690049};
  for (int j = 0; j < 5; ++j) {
    EXPECT_EQ(wt.b[j], wB[j]);
    EXPECT_EQ(wt.a[j], wA[j]);
  }
}

class PstRate : public testing::TestWithParam<uint32_t> {};

// The response of every filter at every rate with coefficients: catches a mistyped table
// row or a wrong formula at one rate. The low-pass and the weighting filter are checked
// where the flickermeter uses them: above kPstMaxSampleFreq their direct-form coefficients
// no longer carry the designed response.
TEST_P(PstRate, FiltersHaveTheirDesignedResponse) {
  const double fs = GetParam();
  PstCoefficients hp, lp, sm, wt;
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::HighPass, GetParam(), &hp), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::LowPass, GetParam(), &lp), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::Smoothing, GetParam(), &sm), 0);
  ASSERT_EQ(PstLmCoefficients(PstFilterKind::Weighting, GetParam(), &wt), 0);
  const double halfPower = std::sqrt(0.5);
  EXPECT_EQ(hp.b[0] + hp.b[1], 0.0);
  EXPECT_NEAR(Gain(hp, 0.05, fs), halfPower, 1e-9);
  EXPECT_NEAR(Gain(hp, 100, fs), 1, 1e-6);
  EXPECT_NEAR(Gain(sm, 0, fs), 1, 1e-10);
  EXPECT_NEAR(Gain(sm, 1 / (kTwoPi * 0.3), fs), halfPower, 1e-9);
  if (fs > kPstMaxSampleFreq) return;
  // Coefficient rounding costs a little response at the two highest accepted rates.
  const double lpTolerance = fs > 20480 ? 3e-2 : 2e-3;
  EXPECT_NEAR(Gain(lp, 35, fs), halfPower, lpTolerance);
  EXPECT_NEAR(Gain(lp, 8.8, fs), 1, lpTolerance);
  EXPECT_NEAR(Gain(lp, 200, fs), 0, 1e-4);
  EXPECT_NEAR(Gain(wt, 8.8, fs), 0.421, 0.421 * 0.01);
  EXPECT_LT(Gain(wt, 0.01, fs), 0.01);
  EXPECT_LT(Gain(wt, 1, fs), Gain(wt, 5, fs));
  EXPECT_LT(Gain(wt, 20, fs), Gain(wt, 8.8, fs));
}

// Calibration: a sinusoidal modulation of 0.630 % peak to peak at 8.8 Hz gives Pinst 1, so
// the severity of a steady such modulation is sqrt(0.5096). Rates whose filters are not
// sound in the direct form are refused.
TEST_P(PstRate, UnitPinstAt8_8HzOrRefused) {
  const uint32_t fs = GetParam();
  const auto light = Light(fs, 30, 0.7, Sine(8.8, 0.0063));
  PstResult r = kUntouched;
  const int rc = PstLmCompute(light.data(), static_cast<uint32_t>(light.size()), fs, &r);
  if (fs > kPstMaxSampleFreq) {
    EXPECT_EQ(rc, -1);
    EXPECT_FALSE(PstLmRateSupported(fs));
    EXPECT_EQ(r.pst, kUntouched.pst);
    return;
  }
  ASSERT_EQ(rc, 0);
  // 2 % where the filters keep their designed response; 3 % at 32768 and 40960 Hz.
  const double tolerance = fs > 20480 ? 0.03 : 0.02;
  EXPECT_NEAR(r.pinstMax, 1.0, tolerance);
  EXPECT_NEAR(r.pst, std::sqrt(0.5096), std::sqrt(0.5096) * tolerance);
}

INSTANTIATE_TEST_SUITE_P(EveryListedRate, PstRate, testing::ValuesIn(kPstSampleFreqs));

TEST(PstCoefficients, UnlistedRatesAreRefused) {
  for (uint32_t fs : {0u, 1024u, 2000u, 4095u, 44100u, 204800u}) {
    for (auto kind : {PstFilterKind::HighPass, PstFilterKind::LowPass, PstFilterKind::Smoothing,
                      PstFilterKind::Weighting}) {
      PstCoefficients c;
      c.m = 99;
      EXPECT_EQ(PstLmCoefficients(kind, fs, &c), -1) << fs;
      EXPECT_EQ(c.m, 99);
    }
    EXPECT_FALSE(PstLmRateSupported(fs)) << fs;
  }
  EXPECT_EQ(PstLmCoefficients(PstFilterKind::HighPass, 4096, nullptr), -1);
}

TEST(IirFilter, MatchesTheDirectFormBitForBit) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> any(-1, 1);
  for (int m = 1; m <= 9; ++m) {
    std::vector<double> b(m), a(m);
    for (int j = 0; j < m; ++j) {
      b[j] = any(rng);
      a[j] = any(rng) / (2 * m);  // keeps the filter stable
    }
    a[0] = 1;
    for (uint32_t n : {1u, 3u, 500u}) {
      std::vector<double> in(n), got(n, -1), want(n, -2);
      for (auto& x : in) x = any(rng) * 1e3;
      IirFilter(b.data(), a.data(), n, got.data(), in.data(), m);
      pstlm_reference::IirFilter(b.data(), a.data(), n, want.data(), in.data(), m);
      for (uint32_t i = 0; i < n; ++i) {
        ASSERT_TRUE(SameBits(got[i], want[i])) << "m " << m << " n " << n << " i " << i;
      }
    }
  }
}

TEST(IirFilter, FirstOrderRecursionAndExtendedSum) {
  // y[i] = x[i] + 0.5 y[i-1]: the impulse response halves at each step.
  const double b1[2] = {1, 0}, a1[2] = {1, -0.5};
  std::vector<double> impulse(60, 0.0), y(60);
  impulse[0] = 1;
  IirFilter(b1, a1, 60, y.data(), impulse.data(), 2);
  for (int i = 0; i < 60; ++i) EXPECT_EQ(y[i], std::ldexp(1.0, -i)) << i;

  // 1e17 + 1 - 1e17: the 1 is lost in a double sum but kept in an extended one.
  const double b3[3] = {1, 1, 1}, a3[3] = {1, 0, 0};
  const double in[3] = {-1e17, 1, 1e17};
  double out[3];
  IirFilter(b3, a3, 3, out, in, 3);
  EXPECT_EQ(out[2], 1.0);
}

TEST(PstFadeIn, RampLengthAndEnds) {
  const uint32_t q = PstFadeInLength(737280, 4096);
  ASSERT_EQ(q, 410u);
  EXPECT_EQ(PstFadeInWeight(0, q), 0.0);
  EXPECT_EQ(PstFadeInWeight(409, q), 1.0);
  EXPECT_EQ(PstFadeInWeight(1, q), 1.0 / 409);
  for (uint32_t i = 1; i < q; ++i) EXPECT_LT(PstFadeInWeight(i - 1, q), PstFadeInWeight(i, q));
  EXPECT_EQ(PstFadeInLength(100000, 2048), 205u);     // 204.8 + 0.5
  EXPECT_EQ(PstFadeInLength(1000000, 20480), 2048u);
  EXPECT_EQ(PstFadeInLength(300, 4096), 300u);        // shorter than the ramp
}

TEST(PstLmApplicable, RateAndLength) {
  EXPECT_TRUE(PstLmApplicable(737280, 4096));
  EXPECT_FALSE(PstLmApplicable(81920, 4096));  // exactly the settling time
  EXPECT_TRUE(PstLmApplicable(81921, 4096));
  EXPECT_FALSE(PstLmApplicable(737280, 1024));
  EXPECT_FALSE(PstLmApplicable(737280, 4000));
  EXPECT_FALSE(PstLmApplicable(10240001, 20480));
  EXPECT_TRUE(PstLmApplicable(10240000, 20480));
  EXPECT_FALSE(PstLmApplicable(2000000, 65536));
}

TEST(PstLmCompute, RefusesBadInputAndLeavesTheResult) {
  const auto steady = Light(4096, 30, 0.5, [](double) { return 0.0; });
  const auto zero = Light(4096, 30, 0.0, [](double) { return 0.0; });
  const auto negative = Light(4096, 30, -0.5, [](double) { return 0.0; });
  auto withNan = steady;
  withNan[1000] = std::numeric_limits<float>::quiet_NaN();
  auto withInf = steady;
  withInf[5] = std::numeric_limits<float>::infinity();
  // Huge values of both signs around a mean of almost 0: Pinst beyond any class centre.
  auto wild = zero;
  wild[0] = 3e38f;
  wild[1] = -3e38f;
  wild[2] = 1e-30f;
  const std::vector<float> tooLong(kPstMaxSamples + 1, 0.5f);
  const uint32_t n = static_cast<uint32_t>(steady.size());

  struct Case {
    const char* what;
    const float* samples;
    uint32_t count;
    uint32_t fs;
  };
  const Case cases[] = {
      {"null samples", nullptr, n, 4096},
      {"fs 1024", steady.data(), n, 1024},
      {"fs 0", steady.data(), n, 0},
      {"fs 4000, not listed", steady.data(), n, 4000},
      {"fs 65536, listed but unsound", steady.data(), n, 65536},
      {"exactly 20 s", steady.data(), 20 * 4096, 4096},
      {"empty", steady.data(), 0, 4096},
      {"all zero (failed capture)", zero.data(), n, 4096},
      {"negative mean", negative.data(), n, 4096},
      {"NaN sample", withNan.data(), n, 4096},
      {"infinite sample", withInf.data(), n, 4096},
      {"huge values, mean near 0", wild.data(), n, 4096},
      {"more than 10240000 samples", tooLong.data(), kPstMaxSamples + 1, 20480},
  };
  for (const auto& c : cases) {
    PstResult r = kUntouched;
    EXPECT_EQ(PstLmCompute(c.samples, c.count, c.fs, &r), -1) << c.what;
    EXPECT_EQ(r.pst, kUntouched.pst) << c.what;
    EXPECT_EQ(r.pinstMax, kUntouched.pinstMax) << c.what;
    PstResult literal = kUntouched;
    EXPECT_EQ(pstlm_reference::Compute(c.samples, c.count, c.fs, &literal), -1) << c.what;
  }
  EXPECT_EQ(PstLmCompute(steady.data(), n, 4096, nullptr), -1);

  std::vector<double> pinst(n, 9.0);
  EXPECT_EQ(PstLmPinst(zero.data(), n, 4096, pinst.data()), -1);
  EXPECT_EQ(PstLmPinst(steady.data(), n, 1024, pinst.data()), -1);
  EXPECT_EQ(PstLmPinst(nullptr, n, 4096, pinst.data()), -1);
  EXPECT_EQ(PstLmPinst(steady.data(), n, 4096, nullptr), -1);
  EXPECT_EQ(pinst[0], 9.0);

  double pst = 5;
  const double bad[3] = {1, std::numeric_limits<double>::quiet_NaN(), 2};
  EXPECT_EQ(PstLmStatistics(bad, 3, &pst), -1);
  EXPECT_EQ(PstLmStatistics(bad, 0, &pst), -1);
  EXPECT_EQ(PstLmStatistics(nullptr, 3, &pst), -1);
  EXPECT_EQ(pst, 5);
}

TEST(PstLmCompute, SteadyLightIsNearZero) {
  for (double level : {0.05, 0.8, 1.0, 3.9}) {
    const auto light = Light(4096, 180, level, [](double) { return 0.0; });
    PstResult r = kUntouched;
    ASSERT_EQ(PstLmCompute(light.data(), static_cast<uint32_t>(light.size()), 4096, &r), 0);
    EXPECT_LT(r.pst, 0.01) << level;
    EXPECT_GE(r.pst, 0.0) << level;
    EXPECT_LT(r.pinstMax, 0.01) << level;
  }
}

// The 180 s capture: Pinst of the first 81920 samples is ignored, the 655360 after it are
// classified. A modulation that stops at 15 s leaves a Pinst that decays through the
// settling boundary, so the boundary shows in both figures.
TEST(PstLmCompute, SettlingSkipsTheFirst20Seconds) {
  const auto light = Light(4096, 180, 0.6, [](double t) {
    return t < 15 ? 0.05 * std::sin(kTwoPi * 8.8 * t) : 0.0;
  });
  const uint32_t n = static_cast<uint32_t>(light.size());
  ASSERT_EQ(n, 737280u);
  std::vector<double> pinst(n);
  ASSERT_EQ(PstLmPinst(light.data(), n, 4096, pinst.data()), 0);
  const uint32_t s = 81920;
  ASSERT_GT(pinst[s - 1], pinst[s]);
  double tailMax = -1;
  for (uint32_t i = s; i < n; ++i) tailMax = std::max(tailMax, pinst[i]);
  ASSERT_EQ(tailMax, pinst[s]);

  PstResult r = kUntouched;
  ASSERT_EQ(PstLmCompute(light.data(), n, 4096, &r), 0);
  EXPECT_TRUE(SameBits(r.pinstMax, pinst[s]));
  double fromTail = -1, fromOneMore = -1;
  ASSERT_EQ(PstLmStatistics(pinst.data() + s, n - s, &fromTail), 0);
  ASSERT_EQ(PstLmStatistics(pinst.data() + s - 1, n - s + 1, &fromOneMore), 0);
  EXPECT_TRUE(SameBits(r.pst, fromTail));
  EXPECT_NE(r.pst, fromOneMore);
}

// Width 0: every value lands in the extra class and moves into the last one, every
// percentile is the class centre v, and the severity is sqrt((0.0314 + 0.0525 + 0.0657 +
// 0.28 + 0.08) v).
TEST(PstLmStatistics, EqualValuesGiveSqrtOf0_5096V) {
  for (double v : {0.0, 1e-6, 0.37, 12.5}) {
    for (uint32_t k : {1u, 1000u}) {
      const std::vector<double> tail(k, v);
      double pst = -1;
      ASSERT_EQ(PstLmStatistics(tail.data(), k, &pst), 0);
      const double want = std::sqrt(0.5096 * static_cast<float>(v));
      EXPECT_NEAR(pst, want, want * 1e-12) << v << " x " << k;
    }
  }
}

// The one-pass classification against the scan of all edges, on tails built to sit on the
// class edges, to repeat the extremes and to span many decades.
TEST(PstLmStatistics, MatchesTheLinearScanBitForBit) {
  std::mt19937 rng(11);
  std::vector<std::vector<double>> tails;

  std::vector<double> onEdges;
  const double lo = 0.25, hi = 3.5, width = (hi - lo) / kPstClassCount;
  for (int j = 0; j < kPstClassCount; j += 3) {
    const double edge = lo + j * width;
    onEdges.push_back(edge);
    if (j > 0) onEdges.push_back(std::nextafter(edge, 0.0));
    onEdges.push_back(std::nextafter(edge, 10.0));
  }
  onEdges.insert(onEdges.end(), {hi, hi, hi, lo, std::nextafter(hi, 0.0)});
  tails.push_back(onEdges);

  std::uniform_real_distribution<double> uniform(0.3, 7);
  std::vector<double> uniformTail(20000);
  for (auto& x : uniformTail) x = uniform(rng);
  tails.push_back(uniformTail);

  std::normal_distribution<double> normal(0, 3);
  std::vector<double> decades(20000);
  for (auto& x : decades) x = std::exp(normal(rng));
  tails.push_back(decades);

  std::vector<double> twoValues(5000, 1.0);
  for (size_t i = 0; i < twoValues.size(); i += 7) twoValues[i] = 2.0;
  tails.push_back(twoValues);

  tails.push_back({0.5});

  for (size_t t = 0; t < tails.size(); ++t) {
    double got = -1, want = -2;
    const uint32_t k = static_cast<uint32_t>(tails[t].size());
    ASSERT_EQ(PstLmStatistics(tails[t].data(), k, &got), 0) << t;
    ASSERT_EQ(pstlm_reference::Statistics(tails[t].data(), k, &want), 0) << t;
    EXPECT_TRUE(SameBits(got, want)) << "tail " << t << ": " << got << " vs " << want;
  }
}

// The shipped computation against the plain step-by-step form, on records cut to a few
// seconds after settling so that the linear class scan stays short.
TEST(PstLmCompute, MatchesThePlainFormBitForBit) {
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0, 0.002);
  struct Record {
    uint32_t fs;
    double seconds;
    std::vector<float> light;
  };
  std::vector<Record> records;
  records.push_back({4096, 21, Light(4096, 21, 0.9, [&](double t) {
                       return 0.2 * std::sin(kTwoPi * 100 * t) +
                              0.01 * std::sin(kTwoPi * 8.8 * t) + noise(rng);
                     })});
  records.push_back({2048, 23, Light(2048, 23, 2.2, [](double t) {
                       return std::fmod(t * 13, 1.0) < 0.3 ? 0.1 : -0.05;
                     })});
  records.push_back({20480, 20.3, Light(20480, 20.3, 0.31, Sine(3, 0.04))});
  for (const auto& rec : records) {
    const uint32_t n = static_cast<uint32_t>(rec.light.size());
    PstResult got = kUntouched, want = kUntouched;
    ASSERT_EQ(PstLmCompute(rec.light.data(), n, rec.fs, &got), 0) << rec.fs;
    ASSERT_EQ(pstlm_reference::Compute(rec.light.data(), n, rec.fs, &want), 0) << rec.fs;
    EXPECT_TRUE(SameBits(got.pst, want.pst)) << rec.fs << ": " << got.pst << " vs " << want.pst;
    EXPECT_TRUE(SameBits(got.pinstMax, want.pinstMax)) << rec.fs;
    EXPECT_GT(got.pst, 0.05) << rec.fs;
  }
}

}  // namespace
