// Hostile requests against the simulated instrument: whatever the host writes, the
// simulator answers with replies or refusals, never a crash, a hang or an overrun.
//
// The input is a list of operations, each one byte of kind followed by its operands:
//   0 raw write:   length (1 byte), that many bytes written as they are
//   1 raw read:    length (2 bytes, little-endian), one read of that many bytes
//   2 request:     code (2), command-length choice (1), data length (3), the arguments the
//                  command length holds (4 bytes each); a well-formed header around them,
//                  then the data phase read (or, for SelectFile, written: one byte chooses
//                  the information file's name, else 132 bytes of block follow) in
//                  1024-byte chunks and the 16-byte reply read
//   3 control:     one byte: fault injection, shutter model, light, unplug, plug
// Two instruments are attached: a four-angle unit (file system) and the default TR7BQ.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "instrument/sim/sim_driver.h"
#include "instrument/wire.h"

namespace {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  uint32_t Take(int bytes) {
    uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint32_t(at_ < size_ ? data_[at_++] : 0) << (8 * i);
    return v;
  }
  const uint8_t* Span(size_t n, size_t* got) {
    *got = std::min(n, size_ - std::min(at_, size_));
    const uint8_t* p = data_ + at_;
    at_ += *got;
    return p;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

void Check(bool ok) {
  if (!ok) std::abort();
}

constexpr uint32_t kCommandLengths[] = {2, 8, 12, 16, 24, 32, 40};
constexpr uint32_t kMaxDataPhase = 1u << 18;  // bounds the work per operation, not the simulator

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SimConfig config;
  config.timeScale = 0;
  config.instruments.resize(2);
  config.instruments[0].modelCode = 0xC1;
  config.instruments[0].serial = "FA1";
  config.instruments[0].fileChunk = 16;
  config.instruments[1].serial = "SIM00001";
  auto driver = std::make_shared<SimDriver>(config);
  uint32_t handle = 0;
  driver->Open(0, &handle);

  static std::vector<uint8_t> buffer(kMaxDataPhase + 1024);
  Input in(data, size);
  for (int op = 0; op < 256 && !in.empty(); ++op) {
    uint32_t moved = 0;
    switch (in.Take(1) % 4) {
      case 0: {
        size_t got = 0;
        const uint8_t* bytes = in.Span(in.Take(1), &got);
        driver->Write(handle, bytes, uint32_t(got), &moved);
        Check(moved <= got);
        break;
      }
      case 1: {
        const uint32_t n = in.Take(2);
        driver->Read(handle, buffer.data(), n, &moved);
        Check(moved <= n);
        break;
      }
      case 2: {
        const uint16_t code = uint16_t(in.Take(2));
        const uint32_t commandLength = kCommandLengths[in.Take(1) % 7];
        const uint32_t dataLength = in.Take(3) % (kMaxDataPhase + 1);
        uint8_t request[wire::kMaxRequestSize] = {};
        wire::PutU32(request + wire::kOffMagic, wire::kRequestMagic);
        wire::PutU32(request + wire::kOffSequence, uint32_t(op));
        wire::PutU32(request + wire::kOffDataLength, dataLength);
        wire::PutU32(request + wire::kOffRequestLength, 24 + commandLength);
        wire::PutU32(request + wire::kOffCommandLength, commandLength);
        wire::PutU16(request + wire::kOffCode, code);
        for (uint32_t at = uint32_t(wire::kOffArgs); at + 4 <= 24 + commandLength; at += 4)
          wire::PutU32(request + at, in.Take(4));
        if (code == 0x4002) {
          // SelectFile's block: the information file's name, or bytes from the input.
          std::fill(buffer.begin(), buffer.begin() + 132, 0);
          if (in.Take(1) & 1) {
            wire::PutU16(buffer.data(), 0x4002);
            const char* name = "/SYS1/YT2290_Info.CFG";
            for (int i = 0; name[i]; ++i) wire::PutU16(buffer.data() + 4 + 2 * i, uint16_t(name[i]));
          } else {
            size_t got = 0;
            const uint8_t* bytes = in.Span(132, &got);
            std::copy(bytes, bytes + got, buffer.begin());
          }
        }
        if (driver->Write(handle, request, 24 + commandLength, &moved) != kUsbOk) break;
        for (uint32_t done = 0; done < dataLength;) {
          const uint32_t chunk = std::min<uint32_t>(wire::kChunkSize, dataLength - done);
          const UsbStatus status = code == 0x4002 ? driver->Write(handle, buffer.data() + done, chunk, &moved)
                                                  : driver->Read(handle, buffer.data() + done, chunk, &moved);
          Check(moved <= chunk);
          done += moved;
          if (status != kUsbOk || moved != chunk) break;
        }
        uint8_t reply[16];
        driver->Read(handle, reply, 16, &moved);
        Check(moved <= 16);
        break;
      }
      case 3: {
        const uint32_t c = in.Take(1);
        SimFault fault;
        fault.kind = SimFaultKind(c % 7);
        fault.persistent = (c & 0x08) != 0;
        fault.code = (c & 0x10) ? 0 : uint16_t(in.Take(2));
        fault.skip = (c >> 5) & 1;
        switch ((c >> 6) & 3) {
          case 0: driver->InjectFault("FA1", fault); break;
          case 1: driver->SetShutterModel("FA1", SimShutter(c % 5)); break;
          case 2: {
            SimLight light;
            light.waveform = SimWaveform(c % 5);
            light.frequency = in.Take(2);
            light.modulation = (c & 7) / 7.0;
            driver->SetLight("FA1", light);
            break;
          }
          case 3:
            if (c & 1) {
              driver->Unplug("FA1");
            } else if (driver->Plug(config.instruments[0]).size()) {
              driver->Open(1, &handle);
            }
            break;
        }
        break;
      }
    }
  }
  return 0;
}
