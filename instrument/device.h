// SpDevice: one opened instrument of the registry.
//
// Entries are shared: the registry holds one reference while the instrument is listed and
// every holder above (user interface, device tree, capture path, measurement store) holds
// its own, so an entry's memory stays valid for as long as anybody uses it. When the
// instrument is unplugged the registry takes the entry out of its list and marks it
// closed; every command on a closed entry then fails at once without USB traffic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "analysis/acquisition.h"

struct SpDevice {
  char name[32] = {};       // identity string of the USB device; key of the registry
  char serial[32] = {};     // serial number from the information block
  uint16_t protocolRev = 0;     // from GetProtocolRevision
  uint16_t protocolColumn = 0;  // command-table column derived from protocolRev
  int32_t id = 0;               // shown in the device tree as "ID : "
  char model[32] = {};          // model display name from the model table
  char hwVersion[32] = {};      // "HWVer:1.%d.%d%c%c"
  char fwVersion[32] = {};      // "FWVer:%d.%d.%d.B%d" or "FWVer:%d.%d.%d"
  uint32_t usbHandle = 0;       // driver handle
  std::mutex transactionLock;   // keeps two request/reply exchanges from interleaving
  // Operations running on this entry (captures, calibrations, spectrum readings),
  // counted under the registry lock; the registry releases the USB handle only at 0.
  uint32_t busy = 0;
  int32_t wavelengthStart = 0;  // nm
  int32_t wavelengthEnd = 0;    // nm
  int32_t spectrumPoints = 0;   // spectrum values per measurement
  int32_t pixelCount = 0;       // sensor pixels, from the configuration block
  int32_t firstPixel = 0;
  int32_t lastPixel = 0;        // pixelCount - 1
  int32_t sensorType = 0;       // below 4 selects the long ready-wait pause
  uint8_t request[88] = {};     // request buffer, zeroed for each request
  uint8_t reply[16] = {};       // reply buffer
  uint8_t infoBlock[80] = {};   // raw ReadDeviceInfo reply
  uint8_t configBlock[44] = {}; // raw ReadConfig reply
  uint32_t lastError = 0;       // 0x5001..0x5005, 0 = none
  uint32_t failedCommand = 0;   // wire code of the last failed transaction
  uint64_t transactionCount = 0;
  uint32_t maxChunk = 0;        // file-transfer chunk size reported by the instrument
  FlickerAcq flickerAcq;        // flicker acquisition unit
  uint32_t hasShutter = 0;      // the instrument takes SetShutter
  uint32_t syncFlag = 0;        // hasShutter && syncFlag: synchronisation argument of StartMeasurement
  uint32_t darkVariant = 0;     // 1: DarkReferenceAlt, 0: DarkReference
  float xGain = 1.0f, yGain = 1.0f, zGain = 1.0f;
  double colourMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row by row
  float lGain = 1.0f;
  int32_t fourAngleVersion = 0;
  int32_t fourAngleId = 0;      // four-angle unit number; 0 for other models
  std::string fourAngleSerial;  // empty for other models
  uint16_t modelCode = 0;       // also at offset 20 of infoBlock

  // Set when the registry takes the entry out of its list: commands fail without traffic.
  std::atomic<bool> closed{false};
};

using SpDevicePtr = std::shared_ptr<SpDevice>;
