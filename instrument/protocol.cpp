#include "instrument/protocol.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <random>
#include <thread>

#include "instrument/usb.h"
#include "instrument/wire.h"

using namespace wire;

namespace {

uint32_t NextSequence() {
  thread_local std::minstd_rand generator{std::random_device{}()};
  return uint32_t(generator() & 0x7FFF);
}

std::atomic<double> pauseScale{1.0};

constexpr int kDirectCode = -1;  // row argument of Exchange: send `code` as it is

// One wrapper's transaction: look the row up, build, store the arguments, transact.
bool Exchange(SpDevice* dev, int row, uint16_t code, uint32_t commandLength,
              std::initializer_list<uint32_t> args, void* data, uint32_t dataLength, bool isRead) {
  if (!dev || dev->closed.load()) return false;
  std::lock_guard<std::mutex> lock(dev->transactionLock);
  if (row != kDirectCode) code = CommandCode(row, dev->protocolColumn);
  if (code == kNoCode) return false;
  BuildRequest(dev->request, code, commandLength, dataLength);
  const std::size_t slots = commandLength >= 8 ? (commandLength - 4) / 4 : 0;
  std::size_t k = 0;
  for (uint32_t a : args) {
    if (k == slots) break;
    PutU32(dev->request + kOffArgs + 4 * k++, a);
  }
  return Transact(dev, dev->request, dev->reply, data, isRead);
}

// Commands with an 8-byte read whose second u32 is the answer.
bool ReadWord(SpDevice* dev, int row, uint16_t code, uint32_t* out) {
  uint8_t data[8];
  if (!Exchange(dev, row, code, 2, {}, data, sizeof data, true)) return false;
  if (out) *out = GetU32(data + 4);
  return true;
}

bool ReadBlock(SpDevice* dev, int row, uint8_t* block, uint32_t size) {
  return Exchange(dev, row, 0, 2, {}, block, size, true);
}

float FloatAt(const uint8_t* p) { return std::bit_cast<float>(GetU32(p)); }

bool WaitReadyImpl(SpDevice* dev, uint32_t limit, bool fast, std::chrono::milliseconds maxWait) {
  using Clock = std::chrono::steady_clock;
  if (!dev) return false;
  const bool longPause = dev->sensorType < 4 || dev->modelCode == 0xB4 || dev->modelCode == 0xB6;
  const auto pause = InstrumentPause(longPause ? std::chrono::microseconds(fast ? 1000 : 20000)
                                               : std::chrono::microseconds(500));
  const Clock::time_point start = Clock::now();
  const bool bounded = maxWait != kNoWaitLimit;
  int64_t budget = ReadyWaitBudget(dev, limit);
  for (;;) {
    uint32_t state = 1;
    if (!GetStatus(dev, &state)) return false;
    if (state != 1) return true;
    if (--budget <= 0) return false;
    if (bounded && Clock::now() - start + pause > maxWait) return false;
    std::this_thread::sleep_for(pause);
  }
}

}  // namespace

void BuildRequest(uint8_t* request, uint16_t code, uint32_t commandLength, uint32_t dataLength) {
  std::memset(request, 0, kRequestBufferSize);
  PutU32(request + kOffMagic, kRequestMagic);
  PutU32(request + kOffSequence, NextSequence());
  PutU32(request + kOffDataLength, dataLength);
  PutU32(request + kOffRequestLength, uint32_t(kRequestHeaderSize) + commandLength);
  PutU32(request + kOffCommandLength, commandLength);
  PutU16(request + kOffCode, code);
}

bool Transact(SpDevice* dev, uint8_t* request, uint8_t* reply, void* data, bool isRead) {
  if (!dev || !request || !reply) return false;
  dev->lastError = 0;
  dev->failedCommand = 0;
  const uint16_t code = GetU16(request + kOffCode);
  const uint32_t requestLength = GetU32(request + kOffRequestLength);
  const uint32_t dataLength = GetU32(request + kOffDataLength);
  const auto fail = [&](uint32_t error) {
    dev->lastError = error;
    dev->failedCommand = code;
    return false;
  };
  // A closed entry, or a request the buffer cannot hold: nothing goes on the wire.
  if (dev->closed.load() || requestLength < kRequestHeaderSize + 2 || requestLength > kMaxRequestSize)
    return fail(0);
  uint32_t moved = 0;
  if (!UsbWrite(&dev->usbHandle, request, requestLength, &moved, kTransferTimeoutMs))
    return fail(kErrWriteRequest);
  if (dataLength != 0) {
    const bool ok = data && (isRead ? UsbRead(&dev->usbHandle, data, dataLength, &moved, kTransferTimeoutMs)
                                    : UsbWrite(&dev->usbHandle, data, dataLength, &moved, kTransferTimeoutMs));
    if (!ok) return fail(kErrDataPhase);
  }
  if (!UsbRead(&dev->usbHandle, reply, kReplySize, &moved, kTransferTimeoutMs)) return fail(0);
  if (GetU32(reply + kOffMagic) != kReplyMagic) return fail(kErrMagic);
  if (GetU32(reply + kOffSequence) != GetU32(request + kOffSequence)) return fail(kErrSequence);
  if (GetU16(reply + kOffReplyStatus) != kStatusAccepted) return fail(kErrStatus);
  ++dev->transactionCount;
  return true;
}

bool Ping(SpDevice* dev, uint32_t* ready) { return ReadWord(dev, kDirectCode, kCodePing, ready); }

bool GetProtocolRevision(SpDevice* dev, uint16_t* protocolRev) {
  uint32_t word = 0;
  if (!ReadWord(dev, kDirectCode, kCodeGetProtocolRevision, &word)) return false;
  if (protocolRev) *protocolRev = uint16_t(word & 0xFFFF);
  return true;
}

bool ReadDeviceInfo(SpDevice* dev, uint8_t block[80]) {
  uint8_t data[80];
  if (!ReadBlock(dev, kRowReadDeviceInfo, data, sizeof data)) return false;
  std::memcpy(block, data, sizeof data);
  return true;
}

bool ReadConfig(SpDevice* dev, uint8_t block[44]) {
  uint8_t data[44];
  if (!ReadBlock(dev, kRowReadConfig, data, sizeof data)) return false;
  std::memcpy(block, data, sizeof data);
  return true;
}

uint32_t SpectrumBlockSize(const SpDevice* dev) {
  if (!dev || dev->spectrumPoints <= 0) return 0;
  const uint64_t size = 4 * uint64_t(dev->spectrumPoints) + 16;
  return size > 0xFFFFFFFFu ? 0 : uint32_t(size);
}

uint32_t PixelBlockSize(const SpDevice* dev) {
  if (!dev || dev->pixelCount <= 0) return 0;
  return uint32_t(2 * uint64_t(dev->pixelCount) + 4);
}

bool ReadSpectrum(SpDevice* dev, uint8_t* block, uint32_t capacity) {
  const uint32_t size = SpectrumBlockSize(dev);
  if (size == 0 || !block || capacity < size) return false;
  return ReadBlock(dev, kRowReadSpectrum, block, size);
}

bool ReadPixels(SpDevice* dev, uint8_t* block, uint32_t capacity) {
  const uint32_t size = PixelBlockSize(dev);
  if (size == 0 || !block || capacity < size) return false;
  return ReadBlock(dev, kRowReadPixels, block, size);
}

bool StartMeasurementLegacy(SpDevice* dev, uint32_t integrationTime, uint32_t mode) {
  return Exchange(dev, kRowStartMeasurementLegacy, 0, 16, {integrationTime, 0, mode}, nullptr, 0, false);
}

bool DarkReference(SpDevice* dev, uint32_t argument) {
  return Exchange(dev, kRowDarkReference, 0, 8, {argument}, nullptr, 0, false);
}

bool GetStatus(SpDevice* dev, uint32_t* state) {
  uint8_t data[12];
  if (!Exchange(dev, kRowGetStatus, 0, 2, {}, data, sizeof data, true)) return false;
  if (state) *state = GetU32(data + 4);
  return true;
}

bool DarkReferenceAlt(SpDevice* dev, uint32_t argument) {
  return Exchange(dev, kRowDarkReferenceAlt, 0, 8, {argument}, nullptr, 0, false);
}

bool GetTransferChunk(SpDevice* dev) {
  uint32_t chunk = 0;
  if (!ReadWord(dev, kRowGetTransferChunk, 0, &chunk)) return false;
  dev->maxChunk = chunk;
  return true;
}

bool SelectFile(SpDevice* dev, const char* name) {
  if (!name) return false;
  const std::size_t length = std::strlen(name);
  if (length > kMaxFileNameLength) return false;
  uint8_t block[kSelectFileBlockSize] = {};
  PutU16(block, CommandCode(kRowSelectFile, 0));
  for (std::size_t i = 0; i < length; ++i) PutU16(block + 4 + 2 * i, uint8_t(name[i]));
  return Exchange(dev, kRowSelectFile, 0, 2, {}, block, sizeof block, false);
}

bool GetFileInfo(SpDevice* dev, uint32_t* exists, uint32_t* size) {
  uint8_t data[12];
  if (!Exchange(dev, kRowGetFileInfo, 0, 2, {}, data, sizeof data, true)) return false;
  if (exists) *exists = GetU32(data + 4);
  if (size) *size = GetU32(data + 8);
  return true;
}

bool StartFileTransfer(SpDevice* dev, uint32_t direction, uint32_t size) {
  return Exchange(dev, kRowStartFileTransfer, 0, 12, {direction, size}, nullptr, 0, false);
}

bool FileChunk(SpDevice* dev, uint8_t* data, uint32_t length) {
  if (!data && length > 0) return false;
  return Exchange(dev, kRowFileChunk, 0, 2, {}, data, length, true);
}

bool EndFileTransfer(SpDevice* dev) {
  return Exchange(dev, kRowEndFileTransfer, 0, 2, {}, nullptr, 0, false);
}

bool StartMeasurement(SpDevice* dev, uint32_t integrationTime, uint32_t mode, uint32_t syncFlag,
                      uint32_t thirdArgument) {
  return Exchange(dev, kRowStartMeasurement, 0, 40,
                  {integrationTime, mode, 1, 0, 0, syncFlag, thirdArgument, 0}, nullptr, 0, false);
}

bool StartFlickerCapture(SpDevice* dev, uint32_t sampleFreq, uint32_t sampleCount, uint32_t range) {
  return Exchange(dev, kRowStartFlickerCapture, 0, 24, {sampleFreq, sampleCount, range}, nullptr, 0, false);
}

bool ReadFlickerSamples(SpDevice* dev, uint32_t count, uint16_t* samples) {
  if ((!samples && count > 0) || count > 0x7FFFFFFFu) return false;
  if (!Exchange(dev, kRowReadFlickerSamples, 0, 16, {count}, samples, 2 * count, true)) return false;
  if constexpr (std::endian::native == std::endian::big) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(samples);
    for (uint32_t i = 0; i < count; ++i) samples[i] = GetU16(bytes + 2 * i);
  }
  return true;
}

bool SetShutter(SpDevice* dev, uint32_t open) {
  return Exchange(dev, kRowSetShutter, 0, 24, {open}, nullptr, 0, false);
}

bool ReadGains(SpDevice* dev, float* x, float* y, float* z, float* l) {
  uint8_t data[52];
  if (!ReadBlock(dev, kRowReadGains, data, sizeof data)) return false;
  if (x) *x = FloatAt(data + 4);
  if (y) *y = FloatAt(data + 8);
  if (z) *z = FloatAt(data + 12);
  if (l) *l = FloatAt(data + 16);
  return true;
}

bool ReadMatrix(SpDevice* dev, uint32_t index, double matrix[9]) {
  uint8_t data[168];
  if (!Exchange(dev, kRowReadMatrix, 0, 12, {index}, data, sizeof data, true)) return false;
  for (int i = 0; i < 9; ++i) {
    const uint8_t* p = data + 40 + 8 * i;  // high word first
    matrix[i] = std::bit_cast<double>(uint64_t(GetU32(p)) << 32 | GetU32(p + 4));
  }
  return true;
}

bool GetMatrixIndex(SpDevice* dev, uint32_t* index) {
  return ReadWord(dev, kRowGetMatrixIndex, 0, index);
}

bool GetDarkVariant(SpDevice* dev, uint32_t* darkVariant) {
  return ReadWord(dev, kRowGetDarkVariant, 0, darkVariant);
}

bool FourAnglePrepare1(SpDevice* dev, uint32_t a, uint32_t b) {
  return Exchange(dev, kRowFourAnglePrepare1, 0, 16, {a, b}, nullptr, 0, false);
}

bool FourAnglePrepare2(SpDevice* dev, uint32_t a, uint32_t b) {
  return Exchange(dev, kRowFourAnglePrepare2, 0, 16, {a, b}, nullptr, 0, false);
}

uint32_t ReadyWaitBudget(const SpDevice* dev, uint32_t limit) {
  if (!dev) return limit;
  return (dev->modelCode & 0xFFF0) == 0xB0 ? limit / 30 : limit;
}

void SetInstrumentPauseScale(double scale) { pauseScale = scale < 0 ? 0.0 : scale; }

std::chrono::microseconds InstrumentPause(std::chrono::microseconds pause) {
  return std::chrono::microseconds(int64_t(double(pause.count()) * pauseScale.load()));
}

bool WaitReady(SpDevice* dev, uint32_t limit, std::chrono::milliseconds maxWait) {
  return WaitReadyImpl(dev, limit, false, maxWait);
}

bool WaitReadyFast(SpDevice* dev, uint32_t limit, std::chrono::milliseconds maxWait) {
  return WaitReadyImpl(dev, limit, true, maxWait);
}

bool ReadInstrumentFile(SpDevice* dev, const char* name, uint8_t* buffer, uint32_t capacity,
                        uint32_t* size) {
  constexpr uint32_t kFileWaitLimit = 30000;
  if (!dev || !name) return false;
  uint32_t exists = 0, fileSize = 0;
  bool ok = GetTransferChunk(dev) && dev->maxChunk != 0 && SelectFile(dev, name) &&
            GetFileInfo(dev, &exists, &fileSize) && exists != 0 && fileSize <= capacity &&
            (buffer || fileSize == 0) && StartFileTransfer(dev, 1, fileSize) &&
            WaitReadyFast(dev, kFileWaitLimit);
  uint32_t done = 0;
  while (ok && done < fileSize) {
    const uint32_t chunk = std::min(dev->maxChunk, fileSize - done);
    ok = FileChunk(dev, buffer + done, chunk) && WaitReadyFast(dev, kFileWaitLimit);
    if (ok) done += chunk;
  }
  if (!ok) {
    EndFileTransfer(dev);
    return false;
  }
  if (size) *size = fileSize;
  return true;
}

uint32_t InstrumentFileSize(SpDevice* dev, const char* name) {
  uint32_t exists = 0, size = 0;
  if (!GetTransferChunk(dev) || !SelectFile(dev, name) || !GetFileInfo(dev, &exists, &size)) return 0;
  return exists ? size : 0;
}
