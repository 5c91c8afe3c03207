#include "instrument/identification.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "instrument/device.h"
#include "instrument/wire.h"

namespace {


// The C library's decimal conversion of a line's value (leading white space, sign, leading
// digits; 0 when there are none), kept inside the 32-bit range.
int32_t DecimalValue(const std::string& text) {
  errno = 0;
  const long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return int32_t(value);
}

}  // namespace

bool IsFourAngleModel(uint16_t modelCode) { return modelCode == 0xC1 || modelCode == 0xC2; }

bool NeedsFourAnglePreparation(uint16_t modelCode) {
  return IsFourAngleModel(modelCode) || modelCode == 0xC5;
}

void FormatHardwareVersion(const uint8_t info[80], char out[32]) {
  std::snprintf(out, 32, "HWVer:1.%d.%d%c%c", info[23], info[22],
                static_cast<unsigned char>('A' + wire::GetU16(info + 36)),
                static_cast<unsigned char>('A' + wire::GetU16(info + 38)));
}

void FormatFirmwareVersion(const uint8_t info[80], char out[32]) {
  const int major = info[31], minor = info[30], patch = info[29], build = info[28];
  if (build != 0)
    std::snprintf(out, 32, "FWVer:%d.%d.%d.B%d", major, minor, patch, build);
  else
    std::snprintf(out, 32, "FWVer:%d.%d.%d", major, minor, patch);
}

int32_t TruncateToInt(float value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483648.0f) return INT32_MAX;
  if (value <= -2147483648.0f) return INT32_MIN;
  return int32_t(value);
}

void ApplyInfoBlocks(SpDevice* dev) {
  const uint8_t* info = dev->infoBlock;
  const uint8_t* config = dev->configBlock;
  dev->sensorType = int32_t(wire::GetU32(config + 4));
  dev->pixelCount = int32_t(wire::GetU32(config + 32));
  dev->firstPixel = 0;
  dev->lastPixel = dev->pixelCount > INT32_MIN ? dev->pixelCount - 1 : INT32_MIN;
  dev->id = 0;
  dev->spectrumPoints = TruncateToInt(std::bit_cast<float>(wire::GetU32(info + 4)));
  dev->wavelengthStart = TruncateToInt(std::bit_cast<float>(wire::GetU32(info + 8)));
  dev->wavelengthEnd = TruncateToInt(std::bit_cast<float>(wire::GetU32(info + 12)));
  dev->modelCode = wire::GetU16(info + 20);
  const ModelEntry model = LookupModel(dev->modelCode);
  std::snprintf(dev->model, sizeof dev->model, "%s", model.model);
  dev->hasShutter = model.hasShutter;
  dev->syncFlag = model.syncFlag;
  FormatHardwareVersion(info, dev->hwVersion);
  FormatFirmwareVersion(info, dev->fwVersion);
  // The serial field is 20 bytes; a serial that fills them has no terminator.
  const auto* serial = reinterpret_cast<const char*>(info + 40);
  const std::size_t length = std::size_t(std::find(serial, serial + 20, '\0') - serial);
  std::memcpy(dev->serial, serial, length);
  dev->serial[length] = 0;
}

bool ParseFourAngleInfo(const uint8_t* data, std::size_t size, SpDevice* dev) {
  if (!dev || (!data && size > 0)) return false;
  const auto* text = reinterpret_cast<const char*>(data);
  std::size_t pos = 0;
  for (int line = 0; line < 3; ++line) {
    std::size_t end = pos;
    while (end + 1 < size && !(text[end] == '\r' && text[end + 1] == '\n')) ++end;
    if (end + 1 >= size) return false;  // no CR LF before the end of the data
    const char* colon = static_cast<const char*>(std::memchr(text + pos, ':', end - pos));
    if (!colon) return false;
    const std::string value(colon + 1, text + end);
    switch (line) {
      case 0: dev->fourAngleVersion = DecimalValue(value); break;
      case 1: dev->fourAngleId = DecimalValue(value); break;
      default: dev->fourAngleSerial = std::string(value.c_str()).substr(0, kMaxFourAngleSerial); break;
    }
    pos = end + 2;
  }
  return true;
}
