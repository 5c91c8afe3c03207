// Test waveforms written into a record's volts.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>

#include "analysis/record.h"

// volts[i] = offset + amplitude sin(2 pi f i / sampleFreq) over the whole buffer, computed
// in double.
inline void FillSine(FlickerRecord& r, double f, double amplitude, double offset) {
  for (uint32_t i = 0; i < r.bufferLen; ++i) {
    const double t = static_cast<double>(i) / r.sampleFreq;
    r.volts[i] = static_cast<float>(offset + amplitude * std::sin(2 * M_PI * f * t));
  }
}

// A square wave of frequency f between low and high, plus gaussian noise (seeded).
inline void FillSquare(FlickerRecord& r, double f, float low, float high, float noise,
                       uint32_t seed) {
  std::mt19937 generator(seed);
  std::normal_distribution<float> gauss(0.0f, noise);
  for (uint32_t i = 0; i < r.bufferLen; ++i) {
    const double phase = std::fmod(f * i / r.sampleFreq, 1.0);
    r.volts[i] = (phase < 0.5 ? high : low) + (noise > 0 ? gauss(generator) : 0.0f);
  }
}
