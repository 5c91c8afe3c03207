// Time-domain flicker figures of a record (FlickerStats).
#include <cmath>

#include "analysis/record.h"

namespace {

// 10 log10 of a positive amplitude ratio, else 0.
float RatioDb(float ratio) noexcept {
  return ratio > 0.0f ? static_cast<float>(10.0 * std::log10(static_cast<double>(ratio))) : 0.0f;
}

}  // namespace

void FlickerStats(FlickerRecord* record, uint32_t n) {
  if (record == nullptr) return;
  if (n > record->bufferLen) n = record->bufferLen;
  if (n == 0) return;
  const float* volts = record->volts.data();
  const float* scaled = record->scaled.data();

  // The samples and figures are single precision, but the running sums are kept in double:
  // a float sum of the 737280 samples of a long capture drifts by several tenths of a
  // percent (a steady 3.2 V light read an average of 3.224 V, above its own maximum, and an
  // RMS of 0.74 %). Each sum is rounded to float once, where it is used.
  double sum = 0.0;
  float maxVolts = -9999.0f;
  float minVolts = 9999.0f;
  for (uint32_t i = 0; i < n; ++i) {
    sum += volts[i];
    if (volts[i] > maxVolts) maxVolts = volts[i];
    if (volts[i] < minVolts) minVolts = volts[i];
  }
  const float average = static_cast<float>(sum / n);
  record->maxVolts = maxVolts;
  record->minVolts = minVolts;
  record->average = average;

  // Flicker index: area above the mean over the whole area.
  double total = 0.0;
  double above = 0.0;
  for (uint32_t i = 0; i < n; ++i) {
    total += scaled[i];
    if (scaled[i] > average) above += scaled[i] - average;
  }
  record->flickerIndex = total != 0.0 ? static_cast<float>(above / total) : 0.0f;

  const float span = maxVolts - minVolts;
  const float both = maxVolts + minVolts;
  record->percentFlicker = both != 0.0f ? span / both : 0.0f;
  record->fma = both != 0.0f ? span / (both * 0.5f) : 0.0f;

  if (average > 0.0f) {
    record->contrast = span / average;
    record->contrastDb = RatioDb(record->contrast);
    double squares = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
      const float d = scaled[i] - average;
      squares += d * d;
    }
    const float meanSquare = static_cast<float>(squares / n);
    record->rmsRatio = std::sqrt(meanSquare) / average;
    record->rmsDb = RatioDb(record->rmsRatio);
  }
}
