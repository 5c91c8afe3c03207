// Fuzzes the host's reply parsing: one attached instrument whose every answer comes from the
// fuzz input. The input is a stream: data phases take raw bytes; each 16-byte reply takes a
// control byte first, which either passes 16 raw bytes (any magic, sequence, status) or builds
// a well-formed reply with a status from the stream, so that the opening sequence, the
// four-angle file, a capture with auto-range and a dark calibration are all reached.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>

#include "analysis/record.h"
#include "instrument/capture.h"
#include "instrument/protocol.h"
#include "instrument/registry.h"
#include "instrument/usb_driver.h"
#include "instrument/wire.h"

namespace {

class FuzzDriver : public UsbDriver {
 public:
  FuzzDriver(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  UsbStatus GetDeviceCount(uint32_t* count) override {
    *count = 1;
    return kUsbOk;
  }
  UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t) override {
    if (index != 0) return kUsbNoDevice;
    std::strcpy(buffer, "FUZZ0001");
    return kUsbOk;
  }
  UsbStatus Open(uint32_t, uint32_t* handle) override {
    *handle = 1;
    return kUsbOk;
  }
  UsbStatus Close(uint32_t) override { return kUsbOk; }
  UsbStatus Read(uint32_t, void* buffer, uint32_t bytes, uint32_t* transferred) override {
    std::lock_guard<std::mutex> lock(mutex_);
    auto* out = static_cast<uint8_t*>(buffer);
    *transferred = 0;
    if (expectData_ > 0) {  // data phase
      const uint32_t n = Take(out, bytes);
      expectData_ -= std::min(expectData_, bytes);
      *transferred = n;
      return n == bytes ? kUsbOk : kUsbTimeout;
    }
    uint8_t control = 0;
    if (Take(&control, 1) == 0) return kUsbTimeout;
    if (control < 32 || bytes != wire::kReplySize) {
      *transferred = Take(out, bytes);
      return kUsbOk;
    }
    std::memset(out, 0, bytes);
    wire::PutU32(out, wire::kReplyMagic);
    wire::PutU32(out + 4, sequence_);
    uint8_t status[2] = {0x00, 0x80};
    if (control < 64) Take(status, 2);
    out[12] = status[0];
    out[13] = status[1];
    *transferred = bytes;
    return kUsbOk;
  }
  UsbStatus Write(uint32_t, const void* buffer, uint32_t bytes, uint32_t* transferred) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto* p = static_cast<const uint8_t*>(buffer);
    if (bytes >= 26 && wire::GetU32(p) == wire::kRequestMagic) {
      sequence_ = wire::GetU32(p + wire::kOffSequence);
      const uint16_t code = wire::GetU16(p + wire::kOffCode);
      // The host writes the SelectFile block; every other data phase is read.
      expectData_ = code == 0x4002 ? 0 : wire::GetU32(p + wire::kOffDataLength);
    }
    *transferred = bytes;
    return kUsbOk;
  }
  UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override {
    timeouts_.Set(readMs, writeMs);
    return kUsbOk;
  }
  UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) override {
    timeouts_.Get(readMs, writeMs);
    return kUsbOk;
  }

 private:
  uint32_t Take(uint8_t* out, uint32_t n) {
    const std::size_t k = std::min<std::size_t>(n, size_ - pos_);
    if (k) std::memcpy(out, data_ + pos_, k);
    pos_ += k;
    return uint32_t(k);
  }
  std::mutex mutex_;
  const uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
  uint32_t expectData_ = 0;
  uint32_t sequence_ = 0;
  ThreadTimeouts timeouts_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  SetInstrumentPauseScale(0);
  UsbSetDriver(std::make_shared<FuzzDriver>(data, size));
  SpInit(0, 0);
  if (SpDevicePtr dev = OpenDevice(0)) {
    const int channel = SpChannelOf(dev->name);
    if (FlickerRecordPtr record = MakeFlickerRecord(1024, 8192, 100, 1000)) {
      SpCaptureFlicker(channel, 1, 0, record.get());
      FlickerAcqDetach(&dev->flickerAcq, record.get());
    }
    SpDarkCalibrate(channel);
    uint8_t file[256];
    uint32_t got = 0;
    ReadInstrumentFile(dev.get(), "/SYS1/YT2290_Info.CFG", file, sizeof file, &got);
  }
  SpShutdown();
  UsbSetDriver(nullptr);
  return 0;
}
