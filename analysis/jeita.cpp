#include "analysis/jeita.h"

#include <cmath>
#include <new>

namespace {

constexpr float kWeightHz[7] = {0.0f, 10.0f, 20.0f, 30.0f, 40.0f, 50.0f, 60.0f};
constexpr float kWeight[7] = {1.0f, 1.0f, 1.0f, 0.708f, 0.501f, 0.251f, 0.01f};

}  // namespace

float JeitaWeight(float f) noexcept {
  if (f <= 20.0f) return 1.0f;
  for (int k = 2; k <= 6; ++k) {
    if (f <= kWeightHz[k]) {
      return kWeight[k - 1] +
             (kWeight[k] - kWeight[k - 1]) / (kWeightHz[k] - kWeightHz[k - 1]) * (f - kWeightHz[k - 1]);
    }
  }
  return 0.0f;
}

uint32_t JeitaBinCount(const SpectrumEngine& spectrum) noexcept {
  const uint32_t lines = spectrum.fftSize / 2;
  const double count = 60.0 / spectrum.binHz + 1.0;  // +inf when binHz is 0
  uint32_t binCount = count < lines ? static_cast<uint32_t>(count) : lines;
  return binCount < 1 ? 1 : binCount;
}

std::unique_ptr<JeitaSpectrum> JeitaCreate(const SpectrumEngine& spectrum) noexcept {
  try {
    auto jeita = std::make_unique<JeitaSpectrum>();
    jeita->binCount = JeitaBinCount(spectrum);
    jeita->levelDb.assign(jeita->binCount, 0.0f);
    jeita->levelDbVesa.assign(jeita->binCount, 0.0f);
    jeita->peakBin = 0;
    return jeita;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void JeitaStep(FlickerRecord& record) noexcept {
  JeitaSpectrum& jeita = *record.jeitaSpectrum;
  const SpectrumEngine& s = *record.spectrum;
  const float* amplitude = s.amplitude.data();
  const float* frequency = s.frequency.data();
  const uint32_t lines = s.fftSize / 2;
  const uint32_t end = jeita.binCount < lines ? jeita.binCount : lines;  // never at or above N/2

  float best = kJeitaUnset;
  uint32_t bestLine = 0;
  for (uint32_t i = 1; i < end; ++i) {
    if (amplitude[0] == 0.0f) return;
    // Weighted RMS modulation of the line: amplitude ratio to DC, / sqrt 2, weighted.
    const float r = static_cast<float>(static_cast<long double>(amplitude[i]) / amplitude[0] *
                                       static_cast<long double>(kJeitaRmsFactor) *
                                       JeitaWeight(frequency[i]));
    jeita.levelDb[i] = r > 0.0f ? static_cast<float>(20.0 * std::log10(static_cast<double>(r)))
                                : jeita.levelDb[i - 1];
    jeita.levelDbVesa[i] = static_cast<float>(jeita.levelDb[i] + kVesaDbOffset);
    if (r > 0.0f && jeita.levelDb[i] > best) {
      best = jeita.levelDb[i];
      bestLine = i;
      record.jeitaDb = jeita.levelDb[i];
      record.jeitaRatio = r;
      record.vesaDb = jeita.levelDbVesa[i];
      record.vesaRatio = static_cast<float>(r * kVesaRatioFactor);
    }
  }
  if (bestLine == 0 && end > 1) {
    // No line below 60 Hz carries any modulation.
    record.jeitaDb = jeita.levelDb[1];
    record.jeitaRatio = 0.0f;
    record.vesaDb = jeita.levelDbVesa[1];
    record.vesaRatio = 0.0f;
  }
  jeita.peakBin = bestLine;
}
