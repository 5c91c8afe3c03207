#include "instrument/sim/light_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "lightlevel/cie1931.h"

namespace {

constexpr double kLuminousEfficacy = 0.683;  // lm per mW
constexpr int kPhotopicStartNm = 360;        // the host's unit source spans 360..780 nm
constexpr int kPhotopicEndNm = 780;

double YBar(int nm) {
  if (nm < kCie1931StartNm || nm > kCie1931EndNm) return 0.0;
  return kCie1931Y[nm - kCie1931StartNm];
}

double Gauss(double x, double centre, double sigma) {
  const double z = (x - centre) / sigma;
  return std::exp(-0.5 * z * z);
}

}  // namespace

uint16_t SimVoltsToCounts(double volts) {
  const double counts = std::round(volts / kSimFullScaleVolts * 65536.0);
  if (!(counts > 0)) return 0;  // also NaN
  if (counts >= 65535.0) return 65535;
  return uint16_t(counts);
}

double SimWaveShape(SimWaveform waveform, double duty, double phase) {
  switch (waveform) {
    case SimWaveform::kSine:
      return std::sin(2.0 * std::numbers::pi * phase);
    case SimWaveform::kSquare:
      return phase < 0.5 ? 1.0 : -1.0;
    case SimWaveform::kTriangle:
      if (phase < 0.25) return 4.0 * phase;
      if (phase < 0.75) return 2.0 - 4.0 * phase;
      return 4.0 * phase - 4.0;
    case SimWaveform::kPulse:
      return phase < duty ? 1.0 : -1.0;
    case SimWaveform::kDc:
      return 0.0;
  }
  return 0.0;
}

double SimWaveShapeMean(SimWaveform waveform, double duty) {
  return waveform == SimWaveform::kPulse ? 2.0 * duty - 1.0 : 0.0;
}

double SimLightVolts(const SimLight& light, double phase) {
  const double m = light.modulation;
  const double amplitude = light.level / (1.0 + m * SimWaveShapeMean(light.waveform, light.duty));
  return amplitude * (1.0 + m * SimWaveShape(light.waveform, light.duty, phase));
}

uint64_t SimNoise::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double SimNoise::Uniform() { return (double(Next() >> 11) + 0.5) * (1.0 / 9007199254740992.0); }

double SimNoise::Gaussian() {
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  const double radius = std::sqrt(-2.0 * std::log(Uniform()));
  const double angle = 2.0 * std::numbers::pi * Uniform();
  spare_ = radius * std::sin(angle);
  haveSpare_ = true;
  return radius * std::cos(angle);
}

void SimGenerateCounts(const SimLight& light, const SimSensorRange& range, bool lightSeen, double sampleFreq,
                       uint32_t count, double* phase, SimNoise* noise, uint8_t* out) {
  const double start = *phase;
  const double step = sampleFreq > 0 ? light.frequency / sampleFreq : 0.0;
  const auto put = [out](uint32_t i, uint16_t c) {
    out[2 * i] = uint8_t(c);
    out[2 * i + 1] = uint8_t(c >> 8);
  };
  if (!lightSeen) {
    const uint16_t dark = SimVoltsToCounts(range.darkOffset);
    for (uint32_t i = 0; i < count; ++i) put(i, dark);
  } else {
    const double m = light.modulation;
    const double amplitude = light.level / (1.0 + m * SimWaveShapeMean(light.waveform, light.duty)) * range.gain;
    const double noiseVolts = light.noise * range.gain;
    for (uint32_t i = 0; i < count; ++i) {
      double p = start + double(i) * step;
      p -= std::floor(p);
      double v = amplitude * (1.0 + m * SimWaveShape(light.waveform, light.duty, p));
      if (noiseVolts > 0) v += noiseVolts * noise->Gaussian();
      put(i, SimVoltsToCounts(std::max(v, 0.0) + range.darkOffset));
    }
  }
  const double end = start + double(count) * step;
  *phase = end - std::floor(end);
}

double SimWhiteLedShape(double nm) {
  // Blue pump peak (about 20 nm wide at half height) over a broad phosphor band.
  return Gauss(nm, 450.0, 9.0) + 0.55 * Gauss(nm, 575.0, 50.0);
}

SimSpectrum SimMakeSpectrum(int32_t startNm, int32_t points, int32_t usablePoints, double lux, bool lightSeen) {
  SimSpectrum s;
  s.values.assign(std::size_t(std::max(points, 0)), 0.0f);
  s.scale = 1.0f;
  if (!lightSeen || !(lux > 0) || s.values.empty()) return s;
  float largest = 0;
  for (std::size_t k = 0; k < s.values.size(); ++k) {
    s.values[k] = float(SimWhiteLedShape(double(startNm) + double(k)));
    largest = std::max(largest, s.values[k]);
  }
  if (largest > 0)
    for (float& v : s.values) v /= largest;
  const double unscaled = SimSpectrumLux(s, startNm, usablePoints);
  if (!(unscaled > 0)) {
    std::fill(s.values.begin(), s.values.end(), 0.0f);
    return s;
  }
  s.scale = float(lux / unscaled);
  return s;
}

double SimSpectrumLux(const SimSpectrum& spectrum, int32_t startNm, int32_t usablePoints) {
  const int32_t n = std::min<int32_t>(int32_t(spectrum.values.size()), usablePoints);
  double sum = 0;
  for (int32_t k = 0; k < n; ++k) {
    const int nm = startNm + k;
    if (nm < kPhotopicStartNm || nm > kPhotopicEndNm) continue;
    sum += YBar(nm) * double(spectrum.values[std::size_t(k)]);
  }
  return kLuminousEfficacy * sum * double(spectrum.scale);
}
