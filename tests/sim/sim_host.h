// A minimal host for the simulator's tests: builds requests by hand with the wire
// definitions and moves them through the driver interface as the host does (request, data
// phase in 1024-byte chunks, 16-byte reply), keeping every status for the test to check.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "instrument/sim/sim_driver.h"
#include "instrument/wire.h"

struct SimExchange {
  UsbStatus writeStatus = kUsbOk;
  UsbStatus dataStatus = kUsbOk;     // of the first failing chunk, else kUsbOk
  uint32_t dataMoved = 0;
  std::vector<uint8_t> data;         // the data phase as read
  UsbStatus replyStatus = kUsbOk;
  uint32_t replyMoved = 0;
  uint8_t reply[16] = {};

  uint32_t Magic() const { return wire::GetU32(reply + 0); }
  uint32_t Sequence() const { return wire::GetU32(reply + 4); }
  uint16_t Status() const { return wire::GetU16(reply + 12); }
  uint32_t Word(std::size_t index) const { return wire::GetU32(data.data() + 4 * index); }
  bool Accepted() const {
    return writeStatus == kUsbOk && dataStatus == kUsbOk && replyStatus == kUsbOk && replyMoved == 16 &&
           Magic() == wire::kReplyMagic && Status() == wire::kStatusAccepted;
  }
};

// A request as the host builds it: header, code, arguments from offset 28.
inline std::vector<uint8_t> SimRequest(uint16_t code, uint32_t commandLength, std::initializer_list<uint32_t> args,
                                       uint32_t dataLength, uint32_t sequence = 0x1234) {
  std::vector<uint8_t> r(wire::kRequestHeaderSize + commandLength, 0);
  wire::PutU32(r.data() + wire::kOffMagic, wire::kRequestMagic);
  wire::PutU32(r.data() + wire::kOffSequence, sequence);
  wire::PutU32(r.data() + wire::kOffDataLength, dataLength);
  wire::PutU32(r.data() + wire::kOffRequestLength, uint32_t(r.size()));
  wire::PutU32(r.data() + wire::kOffCommandLength, commandLength);
  wire::PutU16(r.data() + wire::kOffCode, code);
  std::size_t at = wire::kOffArgs;
  for (uint32_t a : args) {
    if (at + 4 <= r.size()) wire::PutU32(r.data() + at, a);
    at += 4;
  }
  return r;
}

class SimHost {
 public:
  SimHost(std::shared_ptr<SimDriver> driver, uint32_t index = 0) : driver_(std::move(driver)) {
    opened_ = driver_->Open(index, &handle_) == kUsbOk;
  }
  bool opened() const { return opened_; }
  uint32_t handle() const { return handle_; }
  SimDriver& driver() { return *driver_; }

  // One exchange of raw request bytes; `readData` says whether the data phase is read.
  SimExchange SendRaw(const std::vector<uint8_t>& request, uint32_t dataLength, bool readData = true,
                      const std::vector<uint8_t>& writeData = {}) {
    SimExchange x;
    uint32_t moved = 0;
    x.writeStatus = driver_->Write(handle_, request.data(), uint32_t(request.size()), &moved);
    if (x.writeStatus != kUsbOk) return x;
    if (dataLength > 0) {
      if (readData) {
        x.data.assign(dataLength, 0xEE);
        while (x.dataMoved < dataLength) {
          const uint32_t chunk = std::min<uint32_t>(wire::kChunkSize, dataLength - x.dataMoved);
          moved = 0;
          x.dataStatus = driver_->Read(handle_, x.data.data() + x.dataMoved, chunk, &moved);
          x.dataMoved += moved;
          if (x.dataStatus != kUsbOk) break;
          if (moved != chunk) {
            x.dataStatus = kUsbIoError;  // short transfer
            break;
          }
        }
      } else {
        x.dataStatus = driver_->Write(handle_, writeData.data(), uint32_t(writeData.size()), &x.dataMoved);
      }
      if (x.dataStatus != kUsbOk) return x;
    }
    x.replyStatus = driver_->Read(handle_, x.reply, 16, &x.replyMoved);
    return x;
  }

  SimExchange Send(uint16_t code, uint32_t commandLength, std::initializer_list<uint32_t> args = {},
                   uint32_t dataLength = 0, uint32_t sequence = 0x1234) {
    return SendRaw(SimRequest(code, commandLength, args, dataLength, sequence), dataLength);
  }

  // SelectFile with a name (UTF-16, zero-terminated) in the 132-byte block.
  SimExchange SelectFile(const std::string& name) {
    std::vector<uint8_t> block(132, 0);
    wire::PutU16(block.data(), 0x4002);
    for (std::size_t i = 0; i < name.size() && 4 + 2 * i + 1 < block.size(); ++i)
      wire::PutU16(block.data() + 4 + 2 * i, uint8_t(name[i]));
    return SendRaw(SimRequest(0x4002, 2, {}, 132), 132, false, block);
  }

 private:
  std::shared_ptr<SimDriver> driver_;
  uint32_t handle_ = 0;
  bool opened_ = false;
};

// A driver at time scale 0 with the instruments of a JSON list (the "instruments" array).
inline std::shared_ptr<SimDriver> SimFromJson(const std::string& instruments, double timeScale = 0) {
  std::string error;
  auto driver = SimDriver::FromJson(
      "{\"timeScale\": " + std::to_string(timeScale) + ", \"instruments\": " + instruments + "}", &error);
  if (!driver) throw std::runtime_error(error);
  return driver;
}

inline float SimFloatAt(const std::vector<uint8_t>& data, std::size_t offset) {
  float v;
  const uint32_t bits = wire::GetU32(data.data() + offset);
  std::memcpy(&v, &bits, 4);
  return v;
}
