// Wire definitions of the instrument's request/reply protocol, shared by the host side
// (instrument/) and the simulated instrument (instrument/sim/). Pure data: no I/O.
//
// A request is a 24-byte header plus a command block (2..40 bytes): magic, sequence, data
// length, reserved, request length (24 + command length), command length, then the u16 wire
// code, u16 padding and up to nine u32 arguments. An optional data phase follows in one
// direction, then a 16-byte reply: magic, sequence, a word not interpreted, u16 status.
// All multi-byte fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace wire {

constexpr uint32_t kRequestMagic = 0x55443322;
constexpr uint32_t kReplyMagic = 0x55443311;
constexpr uint16_t kStatusAccepted = 0x8000;
constexpr std::size_t kRequestHeaderSize = 24;
constexpr std::size_t kRequestBufferSize = 88;  // the entry's request buffer
constexpr std::size_t kReplySize = 16;
constexpr std::size_t kMaxRequestSize = 64;     // 24 + the longest command block (40)
constexpr uint32_t kChunkSize = 1024;           // every block transfer moves in such chunks

// Offsets in the request.
constexpr std::size_t kOffMagic = 0;
constexpr std::size_t kOffSequence = 4;
constexpr std::size_t kOffDataLength = 8;
constexpr std::size_t kOffReserved = 12;
constexpr std::size_t kOffRequestLength = 16;
constexpr std::size_t kOffCommandLength = 20;
constexpr std::size_t kOffCode = 24;
constexpr std::size_t kOffArgs = 28;  // argument k (1-based) at kOffArgs + 4 * (k - 1)
// Offsets in the reply.
constexpr std::size_t kOffReplyStatus = 12;

// Codes sent as they are, whatever the protocol column.
constexpr uint16_t kCodePing = 0x0101;
constexpr uint16_t kCodeGetProtocolRevision = 0x0102;

// Error codes recorded in an entry's lastError (0 = none).
constexpr uint32_t kErrWriteRequest = 0x5001;  // writing the request failed
constexpr uint32_t kErrDataPhase = 0x5002;     // writing or reading the data phase failed
constexpr uint32_t kErrStatus = 0x5003;        // reply status was not 0x8000
constexpr uint32_t kErrMagic = 0x5004;         // reply magic was wrong
constexpr uint32_t kErrSequence = 0x5005;      // reply sequence did not match

// Rows of the command table that the application sends.
enum CommandRow : int {
  kRowReadDeviceInfo = 0,
  kRowReadSpectrum = 1,
  kRowReadConfig = 3,
  kRowReadPixels = 4,
  kRowStartMeasurementLegacy = 10,
  kRowDarkReference = 11,
  kRowGetStatus = 12,
  kRowDarkReferenceAlt = 13,
  kRowGetTransferChunk = 34,
  kRowSelectFile = 36,
  kRowGetFileInfo = 38,
  kRowStartFileTransfer = 39,
  kRowFileChunk = 41,
  kRowEndFileTransfer = 42,
  kRowStartMeasurement = 51,
  kRowStartFlickerCapture = 53,
  kRowReadFlickerSamples = 54,
  kRowSetShutter = 56,
  kRowReadGains = 58,
  kRowReadMatrix = 64,
  kRowGetMatrixIndex = 66,
  kRowGetDarkVariant = 68,
  kRowFourAnglePrepare1 = 81,
  kRowFourAnglePrepare2 = 82,
};

constexpr int kCommandRows = 89;
constexpr int kProtocolColumns = 7;
constexpr uint16_t kNoCode = 0xFFFF;  // the column does not have the command

// Column of the command table for a protocol revision: 0x101 -> 0 ... 0x106 -> 5,
// 0x107 and every other value -> 6.
constexpr uint16_t ProtocolColumn(uint16_t protocolRev) {
  return (protocolRev >= 0x101 && protocolRev <= 0x106) ? uint16_t(protocolRev - 0x101) : uint16_t(6);
}

// Wire code of a row in a column; kNoCode when the column lacks it or row/column are out of range.
uint16_t CommandCode(int row, int column);

// Little-endian field access on byte buffers.
inline uint32_t GetU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}
inline void PutU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }

}  // namespace wire
