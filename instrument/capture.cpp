#include "instrument/capture.h"

#include <thread>

#include "instrument/protocol.h"
#include "instrument/registry.h"

namespace {

constexpr uint32_t kCaptureReadyLimit = 180000000;
constexpr uint32_t kDarkReadyLimit = 100000;

}  // namespace

bool SpCaptureFlicker(int channel, uint16_t autoRange, uint16_t range, FlickerRecord* record) {
  if (!record) return false;
  SpOperation op(channel);
  if (!op) return false;
  if (range > 3) range = 3;
  FlickerAcq* unit = &op.get()->flickerAcq;
  unit->record.store(record);
  return FlickerAcqCaptureInto(unit, record, autoRange, range) == 0;
}

bool SpDarkCalibrate(int channel) {
  SpOperation op(channel);
  if (!op) return false;
  SpDevice* dev = op.get();
  if (dev->hasShutter) SetShutter(dev, 0);
  bool ok = dev->darkVariant == 1 ? DarkReferenceAlt(dev, 1) : DarkReference(dev, 1);
  if (ok) ok = WaitReady(dev, kDarkReadyLimit);
  if (dev->hasShutter) SetShutter(dev, 1);
  return ok;
}

bool SpMeasureFlickerOffsets(int channel, bool closeShutter) {
  SpOperation op(channel);
  if (!op) return false;
  FlickerAcq* unit = &op.get()->flickerAcq;
  const bool shutter = closeShutter && op.get()->hasShutter && unit->control;
  if (shutter) unit->control(unit, 1, 0);
  FlickerAcqMeasureOffsets(unit);
  unit->offsetsValid = 1;
  if (shutter) unit->control(unit, 1, 1);
  return true;
}

int FlickerReadSamples(FlickerAcq* unit, int32_t range, uint32_t sampleFreq, uint32_t count,
                       uint16_t* counts) {
  SpDevice* dev = unit ? unit->device : nullptr;
  if (!dev || (!counts && count > 0)) return -1;
  if (!StartFlickerCapture(dev, sampleFreq, count, uint32_t(range))) return -1;
  // The instrument is busy while it samples: count / sampleFreq seconds.
  const auto duration = sampleFreq ? std::chrono::milliseconds(uint64_t(count) * 1000 / sampleFreq)
                                   : std::chrono::milliseconds(0);
  if (!WaitReady(dev, kCaptureReadyLimit, duration + kCaptureWaitMargin)) return -1;
  if (!ReadFlickerSamples(dev, count, counts)) return -1;
  return 0;
}

int FlickerControl(FlickerAcq* unit, int32_t code, uint32_t value) {
  if (code == 1 && unit && unit->device) SetShutter(unit->device, value != 0 ? 1 : 0);
  std::this_thread::sleep_for(InstrumentPause(std::chrono::milliseconds(300)));
  return 0;
}
