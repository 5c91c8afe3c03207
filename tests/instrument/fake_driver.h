// Test back ends of the USB driver interface.
//
// ScriptedDriver: a back end whose IN bytes, failures and short transfers a test scripts, and
// which records every call. A Responder turns it into a tiny instrument that answers each
// request by its code. RecordingDriver: wraps another back end (the simulated instrument),
// logs the requests that pass and can make the count or identity strings fail.
#pragma once

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "instrument/usb_driver.h"
#include "instrument/wire.h"

namespace test {

using Bytes = std::vector<uint8_t>;

inline Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes b(4 * words.size());
  std::size_t i = 0;
  for (uint32_t w : words) wire::PutU32(b.data() + 4 * i++, w);
  return b;
}

// A request as it went over the wire.
struct Request {
  uint16_t code = 0;
  uint32_t sequence = 0;
  uint32_t dataLength = 0;
  uint32_t commandLength = 0;
  std::vector<uint32_t> args;
  Bytes raw;
};

inline bool ParseRequest(const uint8_t* p, std::size_t n, Request* out) {
  if (n < 26 || wire::GetU32(p) != wire::kRequestMagic) return false;
  out->sequence = wire::GetU32(p + wire::kOffSequence);
  out->dataLength = wire::GetU32(p + wire::kOffDataLength);
  out->commandLength = wire::GetU32(p + wire::kOffCommandLength);
  out->code = wire::GetU16(p + wire::kOffCode);
  out->args.clear();
  for (std::size_t off = wire::kOffArgs; off + 4 <= n; off += 4) out->args.push_back(wire::GetU32(p + off));
  out->raw.assign(p, p + n);
  return true;
}

class ScriptedDriver : public UsbDriver {
 public:
  struct In {
    enum Kind { kData, kFailure, kReply } kind = kData;
    Bytes bytes;
    UsbStatus status = kUsbIoError;
    uint16_t replyStatus = wire::kStatusAccepted;
    uint32_t magic = wire::kReplyMagic;
    uint32_t sequenceDelta = 0;
    bool built = false;
    std::size_t offset = 0;
  };

  // Attached devices by identity string.
  std::vector<std::string> devices;
  UsbStatus countStatus = kUsbOk;

  // Called for every request written (under the driver's lock); may queue the answer.
  std::function<void(ScriptedDriver&, const Request&)> onRequest;

  // Script.
  void QueueIn(Bytes bytes) { Push({In::kData, std::move(bytes)}); }
  void QueueReadFailure(UsbStatus status = kUsbIoError) {
    In in;
    in.kind = In::kFailure;
    in.status = status;
    Push(std::move(in));
  }
  void QueueReply(uint16_t status = wire::kStatusAccepted, uint32_t magic = wire::kReplyMagic,
                  uint32_t sequenceDelta = 0) {
    In in;
    in.kind = In::kReply;
    in.replyStatus = status;
    in.magic = magic;
    in.sequenceDelta = sequenceDelta;
    Push(std::move(in));
  }
  // Data of an IN phase followed by an accepted reply.
  void QueueAnswer(Bytes data = {}) {
    if (!data.empty()) QueueIn(std::move(data));
    QueueReply();
  }
  // The write call `calls` from now (0 = the next) fails with status, or moves only `moved`
  // bytes when moved is set.
  void FailWrite(std::size_t calls, UsbStatus status = kUsbIoError) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    writeFaults_[writeCalls_ + calls] = {status, UINT32_MAX};
  }
  void ShortWrite(std::size_t calls, uint32_t moved) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    writeFaults_[writeCalls_ + calls] = {kUsbOk, moved};
  }

  // Records.
  struct Log {
    std::vector<Bytes> writes;           // bytes of every write call
    std::vector<uint32_t> readSizes;     // size of every read call
    std::vector<Request> requests;       // every request header written
    std::vector<std::pair<uint32_t, uint32_t>> timeoutsSet;
    std::vector<std::pair<std::thread::id, uint32_t>> readTimeoutAtRead;  // per read call
    int countCalls = 0, openCalls = 0, closeCalls = 0;
  };
  Log log() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return log_;
  }
  std::vector<uint16_t> Codes() const {
    std::vector<uint16_t> codes;
    for (const Request& r : log().requests) codes.push_back(r.code);
    return codes;
  }
  void ClearLog() {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log_ = {};
  }
  uint32_t lastSequence() const {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    return lastSequence_;
  }

  // UsbDriver.
  UsbStatus GetDeviceCount(uint32_t* count) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++log_.countCalls;
    if (countStatus != kUsbOk) return countStatus;
    *count = uint32_t(devices.size());
    return kUsbOk;
  }
  UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    if (index >= devices.size()) return kUsbNoDevice;
    std::snprintf(buffer, kUsbDeviceStringSize, "%s", devices[index].c_str());
    return kUsbOk;
  }
  UsbStatus Open(uint32_t index, uint32_t* handle) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++log_.openCalls;
    if (index >= devices.size()) return kUsbNoDevice;
    *handle = 100 + index;
    return kUsbOk;
  }
  UsbStatus Close(uint32_t) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    ++log_.closeCalls;
    return kUsbOk;
  }
  UsbStatus Read(uint32_t, void* buffer, uint32_t bytes, uint32_t* transferred) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log_.readSizes.push_back(bytes);
    log_.readTimeoutAtRead.emplace_back(std::this_thread::get_id(), timeouts_.ReadMs());
    *transferred = 0;
    if (in_.empty()) return kUsbTimeout;
    In& front = in_.front();
    if (front.kind == In::kFailure) {
      const UsbStatus status = front.status;
      in_.pop_front();
      return status;
    }
    if (front.kind == In::kReply && !front.built) {
      front.bytes.assign(16, 0);
      wire::PutU32(front.bytes.data(), front.magic);
      wire::PutU32(front.bytes.data() + 4, lastSequence_ + front.sequenceDelta);
      wire::PutU16(front.bytes.data() + 12, front.replyStatus);
      front.built = true;
    }
    const std::size_t n = std::min<std::size_t>(bytes, front.bytes.size() - front.offset);
    std::memcpy(buffer, front.bytes.data() + front.offset, n);
    front.offset += n;
    *transferred = uint32_t(n);
    if (front.offset == front.bytes.size()) in_.pop_front();
    return kUsbOk;
  }
  UsbStatus Write(uint32_t, const void* buffer, uint32_t bytes, uint32_t* transferred) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    const auto* p = static_cast<const uint8_t*>(buffer);
    log_.writes.emplace_back(p, p + bytes);
    *transferred = 0;
    const std::size_t call = writeCalls_++;
    if (auto it = writeFaults_.find(call); it != writeFaults_.end()) {
      const Fault fault = it->second;
      writeFaults_.erase(it);
      if (fault.status != kUsbOk) return fault.status;
      *transferred = std::min(fault.moved, bytes);
      return kUsbOk;
    }
    *transferred = bytes;
    Request request;
    if (ParseRequest(p, bytes, &request)) {
      lastSequence_ = request.sequence;
      log_.requests.push_back(request);
      if (onRequest) onRequest(*this, request);
    }
    return kUsbOk;
  }
  UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    log_.timeoutsSet.emplace_back(readMs, writeMs);
    timeouts_.Set(readMs, writeMs);
    return kUsbOk;
  }
  UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) override {
    timeouts_.Get(readMs, writeMs);
    return kUsbOk;
  }

 private:
  struct Fault {
    UsbStatus status;
    uint32_t moved;
  };
  void Push(In in) {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    in_.push_back(std::move(in));
  }
  mutable std::recursive_mutex mutex_;
  std::deque<In> in_;
  std::map<std::size_t, Fault> writeFaults_;
  std::size_t writeCalls_ = 0;
  uint32_t lastSequence_ = 0;
  ThreadTimeouts timeouts_;
  Log log_;
};

// A tiny instrument for ScriptedDriver: answers every request with the data its handler
// returns and an accepted reply. Codes without a handler get their IN phase zero-filled.
class Responder {
 public:
  using Handler = std::function<Bytes(const Request&)>;
  std::map<uint16_t, Handler> handlers;
  std::set<uint16_t> refused;  // codes answered with status 0

  void Attach(ScriptedDriver& driver) {
    driver.onRequest = [this](ScriptedDriver& d, const Request& r) {
      Bytes data;
      if (auto it = handlers.find(r.code); it != handlers.end()) data = it->second(r);
      // Every data phase but the written SelectFile block (0x4002) is read by the host.
      if (r.dataLength > 0 && r.code != 0x4002) {
        data.resize(r.dataLength);
        d.QueueIn(data);
      }
      d.QueueReply(refused.count(r.code) ? 0 : wire::kStatusAccepted);
    };
  }
};

// Forwards to another back end; logs requests and can make management calls fail.
class RecordingDriver : public UsbDriver {
 public:
  explicit RecordingDriver(std::shared_ptr<UsbDriver> inner) : inner_(std::move(inner)) {}

  bool failCount = false;
  std::set<uint32_t> unreadableStrings;  // indexes whose identity string fails
  // Called for every request before it is passed on (set before use, from one thread).
  std::function<void(const Request&)> onRequest;

  std::vector<Request> Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
  }
  std::vector<uint16_t> Codes() const {
    std::vector<uint16_t> codes;
    for (const Request& r : Requests()) codes.push_back(r.code);
    return codes;
  }
  std::size_t RequestCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_.size();
  }
  uint64_t ReadBytes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return readBytes_;
  }
  int CloseCalls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closeCalls_;
  }
  void Clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.clear();
    readBytes_ = 0;
  }
  void SetFailCount(bool fail) {
    std::lock_guard<std::mutex> lock(mutex_);
    failCount = fail;
  }
  void SetUnreadable(std::set<uint32_t> indexes) {
    std::lock_guard<std::mutex> lock(mutex_);
    unreadableStrings = std::move(indexes);
  }

  UsbStatus GetDeviceCount(uint32_t* count) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (failCount) return kUsbIoError;
    }
    return inner_->GetDeviceCount(count);
  }
  UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t option) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (unreadableStrings.count(index)) return kUsbIoError;
    }
    return inner_->GetDeviceString(index, buffer, option);
  }
  UsbStatus Open(uint32_t index, uint32_t* handle) override { return inner_->Open(index, handle); }
  UsbStatus Close(uint32_t handle) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++closeCalls_;
    }
    return inner_->Close(handle);
  }
  UsbStatus Read(uint32_t handle, void* buffer, uint32_t bytes, uint32_t* transferred) override {
    const UsbStatus status = inner_->Read(handle, buffer, bytes, transferred);
    std::lock_guard<std::mutex> lock(mutex_);
    readBytes_ += *transferred;
    return status;
  }
  UsbStatus Write(uint32_t handle, const void* buffer, uint32_t bytes, uint32_t* transferred) override {
    Request request;
    if (ParseRequest(static_cast<const uint8_t*>(buffer), bytes, &request)) {
      if (onRequest) onRequest(request);
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(std::move(request));
    }
    return inner_->Write(handle, buffer, bytes, transferred);
  }
  UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override { return inner_->SetTimeouts(readMs, writeMs); }
  UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) override { return inner_->GetTimeouts(readMs, writeMs); }

 private:
  std::shared_ptr<UsbDriver> inner_;
  mutable std::mutex mutex_;
  std::vector<Request> requests_;
  uint64_t readBytes_ = 0;
  int closeCalls_ = 0;
};

}  // namespace test
