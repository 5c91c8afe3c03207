// Creation, release and the analysis run of a flicker record.
#include "analysis/record.h"

#include <cmath>
#include <new>

#include "analysis/analyse.h"
#include "analysis/fir.h"
#include "analysis/jeita.h"
#include "analysis/spectrum.h"
#include "analysis/svm.h"

uint64_t FlickerBufferLength(uint32_t sampleCount, uint32_t firTaps, uint32_t roundBuffer) noexcept {
  const uint64_t n = static_cast<uint64_t>(sampleCount) + 2 * static_cast<uint64_t>(firTaps);
  if (!roundBuffer) return n;
  const uint64_t step = n < 2048 ? 1024 : 2048;
  return (n + step - 1) / step * step;
}

FlickerRecord* FlickerCreate(uint32_t sampleCount, uint32_t sampleFreq, uint32_t firTaps,
                             uint32_t firCutoffHz, uint32_t roundBuffer) {
  if (sampleCount == 0) return nullptr;
  const uint64_t bufferLen = FlickerBufferLength(sampleCount, firTaps, roundBuffer);
  if (bufferLen > UINT32_MAX) return nullptr;
  try {
    auto record = std::make_unique<FlickerRecord>();

    record->spectrum = SpectrumCreate(sampleCount);
    if (!record->spectrum) return nullptr;
    SpectrumSetFrequency(*record->spectrum, sampleFreq);

    record->fir = FirCreate(firTaps);
    if (!record->fir) return nullptr;
    record->fir->sampleFreq = sampleFreq;
    record->fir->cutoffHz = firCutoffHz;
    record->fir->type = 0;    // low-pass
    record->fir->window = 4;  // Hann
    FirDesign(*record->fir);

    record->bufferLen = static_cast<uint32_t>(bufferLen);
    record->rawCounts.assign(bufferLen, 0);
    record->volts.assign(bufferLen, 0.0f);
    record->scaled.assign(bufferLen, 0.0f);
    record->firOut.assign(bufferLen, 0.0f);

    record->svmCurve = std::make_unique<WeightCurve>(SvmThresholdCurve());

    record->jeitaSpectrum = JeitaCreate(*record->spectrum);
    if (!record->jeitaSpectrum) return nullptr;

    record->windowPeriods = 5;
    record->sampleCount = sampleCount;
    record->sampleFreq = sampleFreq;
    record->scaleIndex = 1;
    record->scaleCount = 4;
    for (float& factor : record->scaleFactors) factor = 1.0f;
    return record.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void FlickerDestroy(FlickerRecord* record) { delete record; }

int FlickerRun(FlickerRecord* record, uint32_t testSignal, uint32_t firEnabled) {
  return FlickerAnalyse(record, testSignal, firEnabled, TransformPrecision::kDouble);
}

int FlickerAnalyse(FlickerRecord* record, uint32_t testSignal, uint32_t firEnabled,
                   TransformPrecision precision) noexcept {
  if (record == nullptr || !record->spectrum || !record->fir || !record->svmCurve ||
      !record->jeitaSpectrum) {
    return 0;
  }
  FlickerRecord& r = *record;
  SpectrumEngine& spectrum = *r.spectrum;
  float* volts = r.volts.data();
  const uint32_t sampleCount = r.sampleCount < r.bufferLen ? r.sampleCount : r.bufferLen;

  r.firEnabled = firEnabled;

  if (testSignal) {
    // 30 Hz tone of 50 % modulation around 1 V.
    const float rate = static_cast<float>(r.sampleFreq);
    for (uint32_t j = 0; j < sampleCount; ++j) {
      const float angle = 30.0f * 6.283185f * static_cast<float>(j) / rate;
      volts[j] = static_cast<float>(std::sin(angle)) * 0.5f + 1.0f;
    }
  }

  if (firEnabled) {
    // The first taps outputs are the filter settling; the rest replaces the signal.
    const uint32_t taps = r.fir->taps;
    FirApply(*r.fir, volts, r.firOut.data(), r.bufferLen);
    const uint32_t room = r.bufferLen > taps ? r.bufferLen - taps : 0;
    const uint32_t copied = sampleCount < room ? sampleCount : room;
    for (uint32_t i = 0; i < copied; ++i) volts[i] = r.firOut[taps + i];
  }

  if (spectrum.fftSize <= r.bufferLen) SpectrumTransform(spectrum, volts, precision);
  SpectrumFindFundamental(r);

  const bool validScale = r.scaleIndex >= 0 && r.scaleIndex < 4;
  const float factor = validScale ? r.scaleFactors[r.scaleIndex] : 1.0f;
  float* scaled = r.scaled.data();
  for (uint32_t i = 0; i < r.bufferLen; ++i) scaled[i] = volts[i] * factor;

  FlickerStats(&r, r.windowPeriodSamples == 0 ? spectrum.fftSize : r.sampleCount);
  r.svm = SvmOfSpectrum(spectrum, *r.svmCurve);
  JeitaStep(r);
  return 0;
}
