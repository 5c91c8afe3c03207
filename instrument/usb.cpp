#include "instrument/usb.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "instrument/timed_mutex.h"
#include "instrument/usb_driver.h"
#include "instrument/wire.h"

namespace {

std::mutex driverLock;
std::shared_ptr<UsbDriver> currentDriver;

// Serialises the four management calls across all threads.
TimedMutex usbMutex;

// usbMutex for one management call, or nothing when it stayed owned for 3000 ms.
std::unique_lock<TimedMutex> TakeUsbMutex() {
  std::unique_lock<TimedMutex> lock(usbMutex, std::defer_lock);
  (void)lock.try_lock_for(std::chrono::milliseconds(kUsbMutexWaitMs));
  return lock;
}

// Count call made while usbMutex is held: >= 0 or -1.
int CountLocked(UsbDriver& driver) {
  uint32_t count = 0;
  if (driver.GetDeviceCount(&count) != kUsbOk) return -1;
  return count > 0x7FFFFFFFu ? 0x7FFFFFFF : int(count);
}

// Restores the calling thread's time-out pair on every path out of a transfer.
class TimeoutScope {
 public:
  TimeoutScope(UsbDriver& driver, bool write, uint32_t timeoutMs) : driver_(driver) {
    if (driver_.GetTimeouts(&read_, &write_) != kUsbOk) {
      read_ = kTransferTimeoutMs;
      write_ = kTransferTimeoutMs;
    }
    if (write)
      driver_.SetTimeouts(0, timeoutMs);
    else
      driver_.SetTimeouts(timeoutMs, 0);
  }
  ~TimeoutScope() { driver_.SetTimeouts(read_, write_); }
  TimeoutScope(const TimeoutScope&) = delete;
  TimeoutScope& operator=(const TimeoutScope&) = delete;

 private:
  UsbDriver& driver_;
  uint32_t read_ = 0, write_ = 0;
};

template <typename Move>
bool Transfer(uint32_t* handle, uint32_t bytes, uint32_t* count, uint32_t timeoutMs, bool write,
              Move move) {
  if (count) *count = 0;
  std::shared_ptr<UsbDriver> driver = UsbGetDriver();
  if (!driver || !handle) return false;
  TimeoutScope scope(*driver, write, timeoutMs);
  uint32_t done = 0;
  bool ok = true;
  while (done < bytes) {
    const uint32_t chunk = std::min(wire::kChunkSize, bytes - done);
    uint32_t moved = 0;
    const UsbStatus status = move(*driver, *handle, done, chunk, &moved);
    if (status != kUsbOk) {
      ok = false;
      break;
    }
    done += std::min(moved, chunk);
    if (moved != chunk) {  // short transfer
      ok = false;
      break;
    }
  }
  if (count) *count = done;
  return ok;
}

}  // namespace

void UsbSetDriver(std::shared_ptr<UsbDriver> driver) {
  std::lock_guard<std::mutex> lock(driverLock);
  currentDriver = std::move(driver);
}

std::shared_ptr<UsbDriver> UsbGetDriver() {
  std::lock_guard<std::mutex> lock(driverLock);
  return currentDriver;
}

bool UsbInit() {
  if (std::shared_ptr<UsbDriver> driver = UsbGetDriver())
    driver->SetTimeouts(kTransferTimeoutMs, kTransferTimeoutMs);
  return true;
}

int UsbDeviceCount() {
  std::shared_ptr<UsbDriver> driver = UsbGetDriver();
  auto lock = TakeUsbMutex();
  if (!lock.owns_lock() || !driver) return -1;
  return CountLocked(*driver);
}

bool UsbDeviceString(uint32_t index, char* out, uint32_t size) {
  if (!out || size == 0) return false;
  std::shared_ptr<UsbDriver> driver = UsbGetDriver();
  auto lock = TakeUsbMutex();
  if (!lock.owns_lock() || !driver) return false;
  char buffer[kUsbDeviceStringSize] = {};
  if (driver->GetDeviceString(index, buffer, 0) != kUsbOk) return false;
  buffer[kUsbDeviceStringSize - 1] = 0;  // a back end that filled all 256 bytes
  const std::size_t length = std::strlen(buffer);
  if (length >= size) return false;
  std::memcpy(out, buffer, length + 1);
  return true;
}

bool UsbOpen(uint32_t* handle, uint32_t index) {
  if (!handle) return false;
  std::shared_ptr<UsbDriver> driver = UsbGetDriver();
  auto lock = TakeUsbMutex();
  if (!lock.owns_lock() || !driver) return false;
  if (CountLocked(*driver) <= 0) return false;
  return driver->Open(index, handle) == kUsbOk;
}

bool UsbClose(uint32_t* handle) {
  if (!handle) return false;
  std::shared_ptr<UsbDriver> driver = UsbGetDriver();
  auto lock = TakeUsbMutex();
  if (!lock.owns_lock() || !driver) return false;
  if (CountLocked(*driver) <= 0) return false;
  return driver->Close(*handle) == kUsbOk;
}

bool UsbWrite(uint32_t* handle, const void* buffer, uint32_t bytes, uint32_t* count,
              uint32_t timeoutMs) {
  if (!buffer && bytes > 0) {
    if (count) *count = 0;
    return false;
  }
  const auto* base = static_cast<const uint8_t*>(buffer);
  return Transfer(handle, bytes, count, timeoutMs, true,
                  [base](UsbDriver& d, uint32_t h, uint32_t offset, uint32_t chunk, uint32_t* moved) {
                    return d.Write(h, base + offset, chunk, moved);
                  });
}

bool UsbRead(uint32_t* handle, void* buffer, uint32_t bytes, uint32_t* count, uint32_t timeoutMs) {
  if (!buffer && bytes > 0) {
    if (count) *count = 0;
    return false;
  }
  auto* base = static_cast<uint8_t*>(buffer);
  return Transfer(handle, bytes, count, timeoutMs, false,
                  [base](UsbDriver& d, uint32_t h, uint32_t offset, uint32_t chunk, uint32_t* moved) {
                    return d.Read(h, base + offset, chunk, moved);
                  });
}
