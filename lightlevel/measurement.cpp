// SpMeasureSpectrum: one spectrum from the instrument into a SpectrumRecord.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#include "instrument/device.h"
#include "instrument/protocol.h"
#include "instrument/registry.h"
#include "instrument/wire.h"
#include "lightlevel/spectrum_record.h"

namespace {

constexpr uint32_t kSpectrumHeaderSize = 16;
constexpr uint32_t kPixelHeaderSize = 4;
constexpr uint32_t kSpectrumBlockCapacity = 4 * kSpectrumBufferPoints + kSpectrumHeaderSize;
constexpr uint32_t kPixelBlockCapacity = 2 * kPixelBufferCount + kPixelHeaderSize;
constexpr uint32_t kReadyWaitLimit = 100000;
// "TR7C" instruments take the current start command from firmware 1.1.7 on.
constexpr int kTr7cCurrentStartFirmware = 10107;
constexpr uint16_t kLastLegacyProtocolRev = 0x102;

// Counts the operation on the entry for as long as it lives (the registry keeps the entry's
// USB handle while the count is above 0).
class OperationScope {
 public:
  explicit OperationScope(SpDevice* device) : device_(SpBeginOperation(device) ? device : nullptr) {}
  ~OperationScope() {
    if (device_) SpEndOperation(device_);
  }
  OperationScope(const OperationScope&) = delete;
  OperationScope& operator=(const OperationScope&) = delete;
  explicit operator bool() const { return device_ != nullptr; }

 private:
  SpDevice* device_;
};

// Firmware value major * 10000 + minor * 100 + patch from the information block.
int FirmwareValue(const SpDevice& device) {
  const uint8_t* info = device.infoBlock;
  return info[31] * 10000 + info[30] * 100 + info[29];
}

bool UsesLegacyStart(const SpDevice& device) {
  if (device.protocolRev <= kLastLegacyProtocolRev) return true;
  if (std::strncmp(device.model, "TR7C", sizeof device.model) == 0 &&
      FirmwareValue(device) < kTr7cCurrentStartFirmware)
    return true;
  // A column without the current start command (revision 0x103) takes the legacy one.
  return wire::CommandCode(wire::kRowStartMeasurement, device.protocolColumn) == wire::kNoCode;
}

bool StartAndWait(SpDevice* device, int mode, int integrationTime, int thirdStartArgument) {
  if (UsesLegacyStart(*device))
    return StartMeasurementLegacy(device, uint32_t(integrationTime), uint32_t(mode));
  const uint32_t sync = (device->hasShutter && device->syncFlag) ? 1 : 0;
  return StartMeasurement(device, uint32_t(integrationTime), uint32_t(mode), sync,
                          uint32_t(thirdStartArgument)) &&
         WaitReady(device, kReadyWaitLimit);
}

float FloatAt(const uint8_t* p) {
  const uint32_t bits = wire::GetU32(p);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void CopyCalibration(const SpDevice& device, SpectrumRecord& record) {
  record.lGain = device.lGain;
  record.xGain = device.xGain;
  record.yGain = device.yGain;
  record.zGain = device.zGain;
  for (int i = 0; i < 9; ++i) record.correction[i / 3][i % 3] = device.colourMatrix[i];
}

// Values the record takes from a spectrum block: one per nanometre of the entry's wavelength
// range, no more than the points received and the array holds; 0 for an empty range.
int SpectrumValueCount(const SpDevice& device) {
  const int64_t range = int64_t(device.wavelengthEnd) - device.wavelengthStart + 1;
  if (range <= 0 || device.spectrumPoints <= 0) return 0;
  return int(std::min<int64_t>({range, device.spectrumPoints, kSpectralCapacity}));
}

bool ReadOut(SpDevice* device, SpectrumRecord& record, int valueCount) {
  std::vector<uint8_t> spectrum(kSpectrumBlockCapacity, 0);
  std::vector<uint8_t> pixels(kPixelBlockCapacity, 0);
  if (!ReadSpectrum(device, spectrum.data(), kSpectrumBlockCapacity)) return false;
  if (!ReadPixels(device, pixels.data(), kPixelBlockCapacity)) return false;

  std::lock_guard<std::mutex> lock(device->transactionLock);
  SpectralArray& data = *record.spectralData;
  data.count = valueCount;
  data.startNm = float(device->wavelengthStart);
  // The values are 1 nm apart; the last one sits where the values taken end.
  data.endNm = float(int64_t(device->wavelengthStart) + valueCount - 1);
  data.scale = FloatAt(spectrum.data() + 8);
  for (int i = 0; i < valueCount; ++i) data.values[i] = FloatAt(spectrum.data() + kSpectrumHeaderSize + 4 * i);
  std::fill(data.values + valueCount, data.values + kSpectralCapacity, 0.0f);
  SpPrepareWorkingSlots(data);

  record.spectrumHeader[0] = wire::GetU32(spectrum.data() + 12);
  record.spectrumHeader[1] = wire::GetU32(spectrum.data() + 8);
  record.spectrumHeader[2] = wire::GetU32(spectrum.data() + 4);

  record.pixelCount = device->pixelCount;
  record.firstPixel = 0;
  record.lastPixel = device->pixelCount - 1;
  std::fill(std::begin(record.pixels), std::end(record.pixels), uint16_t(0));
  for (int i = 0; i < device->pixelCount; ++i)
    record.pixels[i] = wire::GetU16(pixels.data() + kPixelHeaderSize + 2 * i);
  std::fill(std::begin(record.measurementInfo), std::end(record.measurementInfo), 0);
  return true;
}

}  // namespace

bool SpMeasureSpectrum(SpDevice* device, SpectrumRecord* record, int mode, int integrationTime,
                       int thirdStartArgument) {
  if (!device || !record || !record->spectralData) return false;
  OperationScope operation(device);
  if (!operation) return false;

  // Counts the read-out buffers cannot hold, or a range with nothing in it: no measurement.
  bool measured = device->spectrumPoints <= kSpectrumBufferPoints &&
                  device->pixelCount <= kPixelBufferCount;
  const int valueCount = SpectrumValueCount(*device);
  measured = measured && valueCount > 0;

  // A refused start or a failed ready-wait leaves whatever spectrum the instrument still
  // holds: nothing is read then.
  measured = measured && StartAndWait(device, mode, integrationTime, thirdStartArgument);
  measured = measured && ReadOut(device, *record, valueCount);

  CopyCalibration(*device, *record);
  return measured;
}
