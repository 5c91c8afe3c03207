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

double SimNoise::Normal() {
  // Sum of four 16-bit uniforms of one draw, centred and scaled to unit variance.
  const uint64_t r = Next();
  const double sum = double(r & 0xFFFF) + double((r >> 16) & 0xFFFF) + double((r >> 32) & 0xFFFF) + double(r >> 48);
  constexpr double kScale = 1.7320508075688772 / 65536.0;  // sqrt(3) / 65536
  return (sum - 2.0 * 65535.0) * kScale;
}

namespace {

// Counts of a non-negative sensor voltage, by multiplication and truncation (the hot path of
// a capture): the same as SimVoltsToCounts for v >= 0.
inline uint16_t FastCounts(double volts) {
  const double counts = volts * (65536.0 / kSimFullScaleVolts) + 0.5;
  return counts >= 65535.0 ? uint16_t(65535) : uint16_t(counts);
}

inline void Put(uint8_t* out, uint32_t i, uint16_t c) {
  out[2 * i] = uint8_t(c);
  out[2 * i + 1] = uint8_t(c >> 8);
}

// Samples of one capture, `shape(i)` giving the wave shape at sample i.
template <typename Shape>
void Fill(Shape shape, double amplitude, double m, double noiseVolts, double darkOffset, uint32_t count,
          SimNoise* noise, uint8_t* out) {
  if (noiseVolts > 0) {
    for (uint32_t i = 0; i < count; ++i) {
      const double v = amplitude * (1.0 + m * shape(i)) + noiseVolts * noise->Normal();
      Put(out, i, FastCounts(std::max(v, 0.0) + darkOffset));
    }
  } else {
    for (uint32_t i = 0; i < count; ++i) Put(out, i, FastCounts(amplitude * (1.0 + m * shape(i)) + darkOffset));
  }
}

}  // namespace

void SimGenerateCounts(const SimLight& light, const SimSensorRange& range, bool lightSeen, double sampleFreq,
                       uint32_t count, double* phase, SimNoise* noise, uint8_t* out) {
  const double start = *phase;
  const double step = sampleFreq > 0 ? light.frequency / sampleFreq : 0.0;
  const double end = start + double(count) * step;
  *phase = end - std::floor(end);
  if (!lightSeen) {
    const uint16_t dark = SimVoltsToCounts(range.darkOffset);
    for (uint32_t i = 0; i < count; ++i) Put(out, i, dark);
    return;
  }
  const double m = light.modulation;
  const double amplitude = light.level / (1.0 + m * SimWaveShapeMean(light.waveform, light.duty)) * range.gain;
  const double noiseVolts = light.noise * range.gain;
  const auto phaseAt = [start, step](uint32_t i) {
    const double p = start + double(i) * step;
    return p - std::floor(p);
  };
  if (light.waveform == SimWaveform::kSine) {
    // A rotating phasor, set again from the exact phase every block of samples, instead of
    // a sine per sample.
    constexpr uint32_t kBlock = 4096;
    const double turn = 2.0 * std::numbers::pi * step;
    const double rc = std::cos(turn), rs = std::sin(turn);
    for (uint32_t first = 0; first < count; first += kBlock) {
      const uint32_t n = std::min(kBlock, count - first);
      double c = std::cos(2.0 * std::numbers::pi * phaseAt(first));
      double s = std::sin(2.0 * std::numbers::pi * phaseAt(first));
      Fill(
          [&](uint32_t) {
            const double value = s;
            const double next = s * rc + c * rs;
            c = c * rc - s * rs;
            s = next;
            return value;
          },
          amplitude, m, noiseVolts, range.darkOffset, n, noise, out + 2 * std::size_t(first));
    }
    return;
  }
  Fill([&](uint32_t i) { return SimWaveShape(light.waveform, light.duty, phaseAt(i)); }, amplitude, m, noiseVolts,
       range.darkOffset, count, noise, out);
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
