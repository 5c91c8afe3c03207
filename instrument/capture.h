// Capture and calibration commands: a flicker capture and a dark calibration, each on the
// instrument bound to a channel, counted as an operation on the entry while it runs; and the
// two device callbacks of the entry's flicker acquisition unit.
#pragma once

#include <chrono>
#include <cstdint>

#include "analysis/acquisition.h"
#include "analysis/record.h"

// Fills `record` from the instrument on `channel`: attaches the record to the entry's
// acquisition unit and runs its capture (auto-range when autoRange is not 0, else `range`;
// ranges above 3 become 3). False when record is null, no instrument is on the channel, or
// the capture failed. The record stays attached to the unit afterwards.
bool SpCaptureFlicker(int channel, uint16_t autoRange, uint16_t range, FlickerRecord* record);

// The instrument's own dark reference (DarkReferenceAlt when the entry's darkVariant is 1,
// else DarkReference), with the shutter closed around it on instruments that have one; the
// shutter is re-opened whatever the result.
bool SpDarkCalibrate(int channel);

// Measures the flicker sensor's dark offsets of every range on the instrument on `channel`
// (FlickerAcqMeasureOffsets), with the shutter closed around the measurement when
// closeShutter is set and the instrument has one; sets offsetsValid. False when no
// instrument is on the channel.
bool SpMeasureFlickerOffsets(int channel, bool closeShutter);

// Sample source of the acquisition unit: StartFlickerCapture, the ready-wait (bounded by the
// capture's duration count / sampleFreq plus 10 s), ReadFlickerSamples. 0 or -1.
int FlickerReadSamples(FlickerAcq* unit, int32_t range, uint32_t sampleFreq, uint32_t count,
                       uint16_t* counts);
// Instrument control of the acquisition unit: code 1 sends SetShutter (1 when value is not
// 0, else 0); every call then pauses 300 ms. Always 0.
int FlickerControl(FlickerAcq* unit, int32_t code, uint32_t value);

// Extra time the capture's ready-wait allows beyond the capture's own duration.
constexpr std::chrono::milliseconds kCaptureWaitMargin{10000};
