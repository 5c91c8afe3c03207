// The simulator's light: waveforms, gain ranges, offsets, saturation, shutter, the phase
// that runs on between captures, and the white-LED spectrum scaled to the configured lux.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "lightlevel/cie1931.h"
#include "sim_host.h"

namespace {

using namespace wire;

std::vector<uint16_t> Capture(SimHost& host, uint32_t freq, uint32_t count, uint32_t range) {
  EXPECT_TRUE(host.Send(0x6000, 24, {freq, count, range}).Accepted());
  const SimExchange x = host.Send(0x6001, 16, {count}, 2 * count);
  EXPECT_TRUE(x.Accepted());
  std::vector<uint16_t> counts(count);
  for (uint32_t i = 0; i < count && 2 * i + 1 < x.data.size(); ++i) counts[i] = GetU16(x.data.data() + 2 * i);
  return counts;
}

double Volts(uint16_t counts) { return counts * 5.0 / 65536.0; }

TEST(SimLight, WaveformsHaveTheirMeanModulationAndFrequency) {
  struct Case {
    const char* waveform;
    double duty;
  };
  for (const Case& c : {Case{"sine", 0.5}, Case{"square", 0.5}, Case{"triangle", 0.5}, Case{"pulse", 0.2},
                        Case{"dc", 0.5}}) {
    const bool steady = std::string(c.waveform) == "dc";
    SimHost host(SimFromJson(std::string(R"([{"darkOffsets": [0, 0, 0, 0], "light": {"waveform": ")") + c.waveform +
                             R"(", "frequency": 100, "modulation": 0.4, "level": 0.5, "noise": 0, "duty": )" +
                             std::to_string(c.duty) + "}}]"));
    // 100 whole periods.
    const std::vector<uint16_t> counts = Capture(host, 16384, 16384, 0);
    std::vector<double> v(counts.size());
    std::transform(counts.begin(), counts.end(), v.begin(), Volts);
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    EXPECT_NEAR(mean, 0.5, 1e-3) << c.waveform;
    EXPECT_NEAR((*hi - *lo) / (*hi + *lo), steady ? 0.0 : 0.4, 2e-3) << c.waveform;
    if (steady) continue;
    const double middle = (*hi + *lo) / 2;
    int rises = 0;
    std::size_t high = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
      high += v[i] > middle;
      rises += i > 0 && v[i - 1] <= middle && v[i] > middle;
    }
    EXPECT_NEAR(rises, 100, 1) << c.waveform;
    EXPECT_NEAR(double(high) / double(v.size()), c.duty, 0.01) << c.waveform;
  }
}

TEST(SimLight, RangesOffsetsSaturationAndShutter) {
  SimHost host(SimFromJson(R"([{"rangeGains": [1, 2, 4, 8], "darkOffsets": [0.02, 0.025, 0.031, 0.042],
      "light": {"waveform": "dc", "level": 0.7, "noise": 0}}])"));
  const double gains[4] = {1, 2, 4, 8}, offsets[4] = {0.02, 0.025, 0.031, 0.042};
  for (uint32_t r = 0; r < 4; ++r) {
    const uint16_t expected = r == 3 ? 65535 : uint16_t(std::lround((0.7 * gains[r] + offsets[r]) / 5 * 65536));
    const std::vector<uint16_t> counts = Capture(host, 32768, 512, r);
    EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [&](uint16_t c) { return c == expected; })) << "range " << r;
  }
  // Shutter closed: the dark offset alone.
  ASSERT_TRUE(host.Send(0x5010, 24, {0}).Accepted());
  for (uint32_t r = 0; r < 4; ++r) {
    const uint16_t dark = uint16_t(std::lround(offsets[r] / 5 * 65536));
    const std::vector<uint16_t> counts = Capture(host, 32768, 512, r);
    EXPECT_TRUE(std::all_of(counts.begin(), counts.end(), [&](uint16_t c) { return c == dark; })) << "range " << r;
  }
  // A shutter stuck open lets the light through whatever the host commands.
  ASSERT_TRUE(host.driver().SetShutterModel("SIM00001", SimShutter::kStuckOpen));
  ASSERT_TRUE(host.Send(0x5010, 24, {0}).Accepted());
  EXPECT_EQ(Capture(host, 32768, 16, 0)[0], uint16_t(std::lround(0.72 / 5 * 65536)));
  const SimInstrumentState state = host.driver().List()[0];
  EXPECT_FALSE(state.shutterOpen);
  EXPECT_TRUE(state.lightSeen);
}

// Noise of the configured deviation, scaled with the range's gain, centred on the light.
TEST(SimLight, NoiseHasTheConfiguredDeviation) {
  SimHost host(SimFromJson(R"([{"darkOffsets": [0.02, 0.02, 0.02, 0.02], "light": {"waveform": "dc", "level": 0.3, "noise": 0.01}}])"));
  for (uint32_t r : {0u, 2u}) {
    const double gain = r == 0 ? 1 : 4;
    const std::vector<uint16_t> counts = Capture(host, 65536, 65536, r);
    double sum = 0, squares = 0;
    for (uint16_t c : counts) sum += Volts(c), squares += Volts(c) * Volts(c);
    const double mean = sum / double(counts.size());
    const double deviation = std::sqrt(squares / double(counts.size()) - mean * mean);
    EXPECT_NEAR(mean, 0.3 * gain + 0.02, 2e-4) << "range " << r;
    EXPECT_NEAR(deviation, 0.01 * gain, 0.0005 * gain) << "range " << r;
  }
}

// Consecutive captures are consecutive stretches of one waveform, noise included: the lamp
// runs on.
TEST(SimLight, PhaseRunsOnBetweenCaptures) {
  const std::string config = R"([{"seed": 7, "light": {"waveform": "triangle", "frequency": 37, "noise": 0.01}}])";
  SimHost split(SimFromJson(config)), whole(SimFromJson(config));
  std::vector<uint16_t> joined = Capture(split, 10000, 1500, 1);
  const std::vector<uint16_t> second = Capture(split, 10000, 2500, 1);
  joined.insert(joined.end(), second.begin(), second.end());
  EXPECT_EQ(joined, Capture(whole, 10000, 4000, 1));
}

// The host's auto-range keeps the range with the largest offset-corrected peak below 4.5 V;
// with the default light and with a sine of modulation 0.3 that peak lies in (1.0, 4.5).
TEST(SimLight, DefaultLightSuitsAutoRange) {
  struct Case {
    const char* instrument;
    uint32_t expectedRange;
  };
  for (const Case& c : {Case{"{}", 3}, Case{R"({"light": {"modulation": 0.3, "level": 0.5, "noise": 0}})", 2}}) {
    SimHost host(SimFromJson(std::string("[") + c.instrument + "]"));
    ASSERT_TRUE(host.Send(0x5010, 24, {0}).Accepted());
    double offsets[4];
    for (uint32_t r = 0; r < 4; ++r) {
      const std::vector<uint16_t> dark = Capture(host, 32768, 512, r);
      offsets[r] = std::accumulate(dark.begin(), dark.end(), 0.0, [](double s, uint16_t v) { return s + Volts(v); }) / 512;
    }
    ASSERT_TRUE(host.Send(0x5010, 24, {1}).Accepted());
    uint32_t best = 3;
    double bestPeak = 0;
    for (uint32_t r = 0; r < 4; ++r) {
      const std::vector<uint16_t> counts = Capture(host, 32768, 512, r);
      const double peak = Volts(*std::max_element(counts.begin(), counts.end())) - offsets[r];
      if (peak < 4.5 && peak > bestPeak) best = r, bestPeak = peak;
    }
    EXPECT_EQ(best, c.expectedRange) << c.instrument;
    EXPECT_GT(bestPeak, 1.0) << c.instrument;
    EXPECT_LT(bestPeak, 4.5) << c.instrument;
  }
}

TEST(SimLight, FullSizeCaptureIsDelivered) {
  SimHost host(SimFromJson(R"([{"light": {"frequency": 100, "noise": 0}}])"));
  const uint32_t count = 737280;
  const std::vector<uint16_t> counts = Capture(host, 102400, count, 1);
  ASSERT_EQ(counts.size(), count);
  // 100 Hz at 102400 Hz repeats every 1024 samples.
  bool periodic = true;
  for (uint32_t i = 0; i + 1024 < count && periodic; i += 997) periodic = counts[i] == counts[i + 1024];
  EXPECT_TRUE(periodic);
  EXPECT_NE(*std::min_element(counts.begin(), counts.end()), *std::max_element(counts.begin(), counts.end()));
}

// ---- spectrum ----

struct Spectrum {
  std::vector<float> values;
  float scale = 0;
};

Spectrum ReadSpectrum(SimHost& host, uint32_t points) {
  const SimExchange x = host.Send(0x0003, 2, {}, 4 * points + 16);
  EXPECT_TRUE(x.Accepted());
  Spectrum s;
  s.scale = SimFloatAt(x.data, 8);
  EXPECT_EQ(x.Word(3), points);
  for (uint32_t k = 0; k < points && 16 + 4 * k + 3 < x.data.size(); ++k) s.values.push_back(SimFloatAt(x.data, 16 + 4 * k));
  return s;
}

// 0.683 x sum over 360..780 nm of ybar x value x scale, as the host evaluates it.
double Lux(const Spectrum& s, int startNm) {
  double sum = 0;
  for (std::size_t k = 0; k < s.values.size(); ++k) {
    const int nm = startNm + int(k);
    if (nm >= 360 && nm <= 780) sum += kCie1931Y[nm - kCie1931StartNm] * double(s.values[k]) * s.scale;
  }
  return 0.683 * sum;
}

TEST(SimSpectrum, WhiteLedScaledToTheConfiguredLux) {
  struct Case {
    int start, end;
    double lux;
  };
  for (const Case& c : {Case{380, 780, 500}, Case{360, 830, 20000}, Case{300, 1000, 0.5}}) {
    SimHost host(SimFromJson("[{\"wavelengthRange\": [" + std::to_string(c.start) + ", " + std::to_string(c.end) +
                             "], \"lux\": " + std::to_string(c.lux) + "}]"));
    const uint32_t points = uint32_t(c.end - c.start + 1);
    ASSERT_TRUE(host.Send(0x1007, 40, {100, 1, 1, 0, 0, 1, 0, 0}).Accepted());
    ASSERT_EQ(host.Send(0x1003, 2, {}, 12).Word(1), 0u);
    const Spectrum s = ReadSpectrum(host, points);
    ASSERT_EQ(s.values.size(), points);
    EXPECT_NEAR(Lux(s, c.start), c.lux, c.lux * 1e-4) << c.start << ".." << c.end;
    // Normalised, with the blue peak near 450 nm and the phosphor band's crest in 540..610 nm.
    const auto at = [&](int nm) { return s.values[std::size_t(nm - c.start)]; };
    const auto peak = std::max_element(s.values.begin(), s.values.end());
    EXPECT_FLOAT_EQ(*peak, 1.0f);
    EXPECT_NEAR(c.start + (peak - s.values.begin()), 450, 5);
    int crest = 500;
    for (int nm = 500; nm <= 700; ++nm)
      if (at(nm) > at(crest)) crest = nm;
    EXPECT_GE(crest, 540);
    EXPECT_LE(crest, 610);
    EXPECT_LT(at(500), at(crest));  // a valley between the two
  }
}

TEST(SimSpectrum, DarkAndHeldSpectra) {
  SimHost host(SimFromJson(R"([{"pixelCount": 256}])"));
  const auto zeros = [](const Spectrum& s) {
    return std::all_of(s.values.begin(), s.values.end(), [](float v) { return v == 0; });
  };
  EXPECT_TRUE(zeros(ReadSpectrum(host, 401)));  // nothing measured yet
  // The legacy start measures at once.
  ASSERT_TRUE(host.Send(0x1001, 16, {100, 0, 1}).Accepted());
  EXPECT_NEAR(Lux(ReadSpectrum(host, 401), 380), 500, 0.05);
  const SimExchange pixels = host.Send(0x0006, 2, {}, 2 * 256 + 4);
  ASSERT_TRUE(pixels.Accepted());
  EXPECT_EQ(pixels.Word(0), 256u);
  uint16_t brightest = 0;
  for (uint32_t p = 0; p < 256; ++p) brightest = std::max(brightest, GetU16(pixels.data.data() + 4 + 2 * p));
  EXPECT_GT(brightest, 1000);
  // Shutter closed, then no light: zeros.
  ASSERT_TRUE(host.Send(0x5010, 24, {0}).Accepted());
  ASSERT_TRUE(host.Send(0x1001, 16, {100, 0, 1}).Accepted());
  EXPECT_TRUE(zeros(ReadSpectrum(host, 401)));
  ASSERT_TRUE(host.Send(0x5010, 24, {1}).Accepted());
  ASSERT_TRUE(host.driver().SetLux("SIM00001", 0));
  ASSERT_TRUE(host.Send(0x1001, 16, {100, 0, 1}).Accepted());
  EXPECT_TRUE(zeros(ReadSpectrum(host, 401)));
  std::string error;
  EXPECT_FALSE(host.driver().SetLux("SIM00001", -3, &error));
  EXPECT_NE(error.find("lux"), std::string::npos);
}

}  // namespace
