// The flicker acquisition unit: turns the 16-bit counts of an instrument's flicker sensor
// into the volts of a FlickerRecord, subtracts a per-range dark offset, picks the gain
// range by itself (auto-range) and measures the dark offsets.
//
// Every opened instrument entry holds one unit. The unit knows nothing of USB: the entry
// supplies two callbacks that carry out the actual instrument commands.
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/record.h"

struct SpDevice;  // the instrument entry that owns the unit (instrument layer)
struct FlickerAcq;

// Reads count ADC counts at gain range `range` and `sampleFreq` Hz into counts; 0 or -1.
using FlickerReadFn = int (*)(FlickerAcq* unit, int32_t range, uint32_t sampleFreq,
                              uint32_t count, uint16_t* counts);
// Instrument control: code 1 closes (value 0) or opens (value 1) the shutter; 0.
using FlickerControlFn = int (*)(FlickerAcq* unit, int32_t code, uint32_t value);

struct FlickerAcq {
  uint32_t rangeCount = 4;      // number of gain ranges
  int32_t range = 0;            // current gain range, 0-based; updated by auto-range
  uint32_t offsetsValid = 0;    // 1 once the dark offsets were measured
  uint32_t controlMode = 0;     // 1: close the shutter around an automatic offset measurement
  uint32_t subtractOffset = 1;  // 1: subtract the range's dark offset from every sample
  float offset[64] = {};        // dark offset per range, V (4 used)
  // The record the next capture fills. Not owned (except the stand-by record below).
  // Written by the user interface, read once per operation by the capture threads.
  std::atomic<FlickerRecord*> record{nullptr};
  SpDevice* device = nullptr;   // the entry that owns this unit
  FlickerReadFn readSamples = nullptr;
  FlickerControlFn control = nullptr;
  // Stand-by record created by an offset measurement that found no record attached;
  // owned here and released when the unit is destroyed or another stand-by is made.
  FlickerRecordPtr standby;
};

// Attaches a new stand-by record FlickerCreate(sampleCount, sampleFreq, taps, cutoffHz, 1);
// the previous stand-by record, if any, is released. -1 when creation fails.
int FlickerAcqAttach(FlickerAcq* unit, uint32_t sampleCount, uint32_t sampleFreq, uint32_t taps,
                     uint32_t cutoffHz);
// Clears `record` when it is the attached one (compare and swap): whoever destroys a record
// it attached calls this first, so the unit never keeps a pointer to a freed record.
void FlickerAcqDetach(FlickerAcq* unit, const FlickerRecord* record);
// One transfer and conversion: volts[i] = counts[i] * 5 / 65536 - offset, clamped at 0.
int FlickerAcqRead(FlickerAcq* unit, int32_t range, uint32_t sampleFreq, uint32_t count,
                   uint16_t* counts, float* volts);
// Measures the dark offset of every range on 512 samples; always 0.
int FlickerAcqMeasureOffsets(FlickerAcq* unit);
// Chooses the range with the largest peak below 4.5 V; returns it.
int FlickerAcqAutoRange(FlickerAcq* unit);
// Fills the attached record (the whole buffer); 0 or -1.
int FlickerAcqCapture(FlickerAcq* unit, uint32_t autoRange, int32_t range);
// The same on the record given (not the attached one): a caller that attached its record
// gets exactly that record filled, whatever is attached meanwhile.
int FlickerAcqCaptureInto(FlickerAcq* unit, FlickerRecord* record, uint32_t autoRange, int32_t range);
