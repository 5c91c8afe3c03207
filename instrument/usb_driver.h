// The USB driver interface: the eight operations of the instruments' USB-bridge driver.
//
// Everything above it (chunking, time-outs, usbMutex, transactions, the registry) is the same
// code for every back end. Back ends: the simulated instrument (instrument/sim/) and
// libusb-1.0 for real instruments (instrument/libusb_driver.*).
//
// Every operation returns a status: 0 = success, anything else = failure.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

using UsbStatus = int32_t;

constexpr UsbStatus kUsbOk = 0;
constexpr UsbStatus kUsbTimeout = 1;         // the transfer did not complete within its time-out
constexpr UsbStatus kUsbNoDevice = 2;        // index or handle does not name an attached device
constexpr UsbStatus kUsbIoError = 3;         // any other transfer or library failure
constexpr UsbStatus kUsbInvalidParameter = 4;

constexpr uint32_t kUsbDeviceStringSize = 256;  // buffer size of GetDeviceString

class UsbDriver {
 public:
  virtual ~UsbDriver() = default;
  // Number of attached devices.
  virtual UsbStatus GetDeviceCount(uint32_t* count) = 0;
  // Zero-terminated identity string of device `index` (option 0) into a 256-byte buffer.
  virtual UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t option) = 0;
  virtual UsbStatus Open(uint32_t index, uint32_t* handle) = 0;
  virtual UsbStatus Close(uint32_t handle) = 0;
  // Moves up to `bytes` bytes; *transferred receives the bytes actually moved. Success only
  // when the transfer completed within the calling thread's time-out.
  virtual UsbStatus Read(uint32_t handle, void* buffer, uint32_t bytes, uint32_t* transferred) = 0;
  virtual UsbStatus Write(uint32_t handle, const void* buffer, uint32_t bytes, uint32_t* transferred) = 0;
  // The time-out pair (ms) for the following reads and writes of the calling thread. The pair
  // is kept per thread, so concurrent transfers on two instruments never run under each
  // other's time-outs.
  virtual UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) = 0;
  virtual UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) = 0;
};

// Per-thread time-out pairs for back ends. A thread that never set a pair gets the defaults.
class ThreadTimeouts {
 public:
  explicit ThreadTimeouts(uint32_t defaultReadMs = 5000, uint32_t defaultWriteMs = 5000)
      : defaultRead_(defaultReadMs), defaultWrite_(defaultWriteMs) {}
  void Set(uint32_t readMs, uint32_t writeMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    pairs_[std::this_thread::get_id()] = {readMs, writeMs};
  }
  void Get(uint32_t* readMs, uint32_t* writeMs) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = pairs_.find(std::this_thread::get_id());
    *readMs = it == pairs_.end() ? defaultRead_ : it->second.read;
    *writeMs = it == pairs_.end() ? defaultWrite_ : it->second.write;
  }
  uint32_t ReadMs() const { uint32_t r, w; Get(&r, &w); return r; }
  uint32_t WriteMs() const { uint32_t r, w; Get(&r, &w); return w; }

 private:
  struct Pair { uint32_t read, write; };
  mutable std::mutex mutex_;
  std::map<std::thread::id, Pair> pairs_;
  uint32_t defaultRead_, defaultWrite_;
};

// The back end in use. Set once before UsbInit / SpInit; the host side reads it for every call.
void UsbSetDriver(std::shared_ptr<UsbDriver> driver);
std::shared_ptr<UsbDriver> UsbGetDriver();
