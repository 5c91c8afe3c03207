#include "analysis/acquisition.h"

#include <algorithm>

namespace {

constexpr uint32_t kProbeSamples = 512;  // samples per offset or range measurement
constexpr uint32_t kMaxAutoRanges = 32;  // ranges that take part in auto-range
constexpr float kFullScale = 5.0f;
constexpr float kPerCount = 1.0f / 65536.0f;
constexpr float kRangeLow = 1.0f;   // auto-range window (V), both ends excluded
constexpr float kRangeHigh = 4.5f;

// One read of `count` samples into the record's buffers; -1 when they cannot hold them.
int ReadInto(FlickerAcq* unit, FlickerRecord* rec, int32_t range, uint32_t count) {
  if (!rec || rec->rawCounts.size() < count || rec->volts.size() < count) return -1;
  return FlickerAcqRead(unit, range, rec->sampleFreq, count, rec->rawCounts.data(), rec->volts.data());
}

// Peak (V) of a 512-sample probe at a range; false when the read failed.
bool ProbePeak(FlickerAcq* unit, FlickerRecord* rec, int32_t range, float* peak) {
  if (ReadInto(unit, rec, range, kProbeSamples) != 0) return false;
  FlickerStats(rec, kProbeSamples);
  *peak = rec->maxVolts;
  return true;
}

void MeasureOffsetsOn(FlickerAcq* unit, FlickerRecord* rec) {
  const uint32_t ranges = std::min<uint32_t>(unit->rangeCount, 64);
  for (uint32_t r = 0; r < ranges; ++r) {
    unit->offset[r] = 0;
    if (ReadInto(unit, rec, int32_t(r), kProbeSamples) == 0) FlickerStats(rec, kProbeSamples);
    // A failed read keeps the average of the previous statistics.
    unit->offset[r] = rec ? rec->average : 0.0f;
  }
}

int AutoRangeOn(FlickerAcq* unit, FlickerRecord* rec) {
  const uint32_t ranges = std::min(unit->rangeCount, kMaxAutoRanges);
  if (ranges == 0) return unit->range;
  float peak[kMaxAutoRanges] = {};
  const int32_t g = unit->range;
  const bool gValid = g >= 0 && uint32_t(g) < ranges;
  if (gValid && ProbePeak(unit, rec, g, &peak[g]) && peak[g] > kRangeLow && peak[g] < kRangeHigh)
    return g;
  for (uint32_t r = 0; r < ranges; ++r)
    if (!gValid || int32_t(r) != g) ProbePeak(unit, rec, int32_t(r), &peak[r]);
  int32_t best = int32_t(ranges) - 1;
  float bestPeak = 0;
  for (uint32_t r = 0; r < ranges; ++r)
    if (peak[r] < kRangeHigh && peak[r] > bestPeak) {
      best = int32_t(r);
      bestPeak = peak[r];
    }
  unit->range = best;
  return best;
}

}  // namespace

int FlickerAcqAttach(FlickerAcq* unit, uint32_t sampleCount, uint32_t sampleFreq, uint32_t taps,
                     uint32_t cutoffHz) {
  if (!unit) return -1;
  FlickerRecordPtr fresh = MakeFlickerRecord(sampleCount, sampleFreq, taps, cutoffHz, 1);
  if (!fresh) return -1;
  unit->record.store(fresh.get());
  unit->standby = std::move(fresh);  // the previous stand-by record goes here
  return 0;
}

void FlickerAcqDetach(FlickerAcq* unit, const FlickerRecord* record) {
  if (!unit || !record) return;
  FlickerRecord* expected = const_cast<FlickerRecord*>(record);
  unit->record.compare_exchange_strong(expected, nullptr);
}

int FlickerAcqRead(FlickerAcq* unit, int32_t range, uint32_t sampleFreq, uint32_t count,
                   uint16_t* counts, float* volts) {
  if (!unit || !unit->readSamples || ((!counts || !volts) && count > 0)) return -1;
  const float off = (unit->subtractOffset == 1 && range >= 0 && range < 64) ? unit->offset[range] : 0.0f;
  if (unit->readSamples(unit, range, sampleFreq, count, counts) != 0) return -1;
  for (uint32_t i = 0; i < count; ++i) {
    const float v = float(counts[i]) * kFullScale * kPerCount - off;
    volts[i] = v < 0 ? 0.0f : v;
  }
  return 0;
}

int FlickerAcqMeasureOffsets(FlickerAcq* unit) {
  if (!unit) return 0;
  FlickerRecord* rec = unit->record.load();
  if (!rec) {
    if (FlickerAcqAttach(unit, 8192, 81920, 51, 10000) == 0) rec = unit->standby.get();
  }
  MeasureOffsetsOn(unit, rec);
  return 0;
}

int FlickerAcqAutoRange(FlickerAcq* unit) {
  if (!unit) return -1;
  return AutoRangeOn(unit, unit->record.load());
}

int FlickerAcqCapture(FlickerAcq* unit, uint32_t autoRange, int32_t range) {
  if (!unit) return -1;
  return FlickerAcqCaptureInto(unit, unit->record.load(), autoRange, range);
}

int FlickerAcqCaptureInto(FlickerAcq* unit, FlickerRecord* rec, uint32_t autoRange, int32_t range) {
  if (!unit || !rec) return -1;
  if (unit->offsetsValid == 0 && unit->controlMode == 1) {
    if (unit->control) unit->control(unit, 1, 0);
    MeasureOffsetsOn(unit, rec);
    unit->offsetsValid = 1;
    if (unit->control) unit->control(unit, 1, 1);
  }
  if (autoRange != 0) range = AutoRangeOn(unit, rec);
  return ReadInto(unit, rec, range, rec->bufferLen) == 0 ? 0 : -1;
}
