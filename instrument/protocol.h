// The instrument's request/reply protocol on top of the USB transport.
//
// Every exchange is one transaction: the request header with its command block, an optional
// data phase in one direction, then a 16-byte reply. Commands are named by command-table rows;
// the entry's protocol column turns a row into the wire code. Each wrapper below holds the
// entry's transaction lock for exactly one transaction; a row without a code in the entry's
// column, and any command on a closed entry, fails at once without USB traffic. Failures
// leave their error in lastError (0x5001..0x5005) and failedCommand (see wire.h).
#pragma once

#include <chrono>
#include <cstdint>

#include "instrument/device.h"

// Longest file name SelectFile takes (UTF-16 code units, without the terminator).
constexpr uint32_t kMaxFileNameLength = 63;
constexpr uint32_t kSelectFileBlockSize = 132;

// Zeroes the 88-byte request buffer and writes magic, a fresh sequence (0..32767), the data
// length, the request length (24 + command length), the command length and the code.
void BuildRequest(uint8_t* request, uint16_t code, uint32_t commandLength, uint32_t dataLength);

// One exchange over the entry's handle; the request was built by BuildRequest. data is the
// data-phase buffer (data length bytes; may be null when that is 0), read from the instrument
// when isRead. The caller holds the entry's transaction lock.
bool Transact(SpDevice* dev, uint8_t* request, uint8_t* reply, void* data, bool isRead);

// --- one wrapper per command the application sends --------------------------------------
// Outputs are written only when the transaction succeeded.

// *ready = second u32 of the reply data (non-zero: the instrument answers and is ready).
bool Ping(SpDevice* dev, uint32_t* ready);
bool GetProtocolRevision(SpDevice* dev, uint16_t* protocolRev);
bool ReadDeviceInfo(SpDevice* dev, uint8_t block[80]);
// Spectrum block of 4 * spectrumPoints + 16 bytes into block (capacity bytes); fails
// without traffic when the entry's point count gives no valid size or the block is too small.
bool ReadSpectrum(SpDevice* dev, uint8_t* block, uint32_t capacity);
bool ReadConfig(SpDevice* dev, uint8_t block[44]);
// Pixel block of 2 * pixelCount + 4 bytes; same rules as ReadSpectrum.
bool ReadPixels(SpDevice* dev, uint8_t* block, uint32_t capacity);
bool StartMeasurementLegacy(SpDevice* dev, uint32_t integrationTime, uint32_t mode);
bool DarkReference(SpDevice* dev, uint32_t argument);
bool GetStatus(SpDevice* dev, uint32_t* state);  // *state: 1 = busy, other = ready
bool DarkReferenceAlt(SpDevice* dev, uint32_t argument);
bool GetTransferChunk(SpDevice* dev);  // sets dev->maxChunk
// name: at most 63 characters, each byte widened to one UTF-16 code unit.
bool SelectFile(SpDevice* dev, const char* name);
bool GetFileInfo(SpDevice* dev, uint32_t* exists, uint32_t* size);
bool StartFileTransfer(SpDevice* dev, uint32_t direction, uint32_t size);
bool FileChunk(SpDevice* dev, uint8_t* data, uint32_t length);
bool EndFileTransfer(SpDevice* dev);
bool StartMeasurement(SpDevice* dev, uint32_t integrationTime, uint32_t mode, uint32_t syncFlag,
                      uint32_t thirdArgument);
bool StartFlickerCapture(SpDevice* dev, uint32_t sampleFreq, uint32_t sampleCount, uint32_t range);
// count samples (2 * count bytes, little-endian on the wire) into samples.
bool ReadFlickerSamples(SpDevice* dev, uint32_t count, uint16_t* samples);
bool SetShutter(SpDevice* dev, uint32_t open);
bool ReadGains(SpDevice* dev, float* x, float* y, float* z, float* l);
bool ReadMatrix(SpDevice* dev, uint32_t index, double matrix[9]);
bool GetMatrixIndex(SpDevice* dev, uint32_t* index);
bool GetDarkVariant(SpDevice* dev, uint32_t* darkVariant);
// The two preparation commands of four-angle units (rows 81 and 82).
bool FourAnglePrepare1(SpDevice* dev, uint32_t a, uint32_t b);
bool FourAnglePrepare2(SpDevice* dev, uint32_t a, uint32_t b);

// Sizes of the variable data phases; 0 when the entry's counts give no valid size.
uint32_t SpectrumBlockSize(const SpDevice* dev);
uint32_t PixelBlockSize(const SpDevice* dev);

// --- ready-wait ----------------------------------------------------------------------------
// Polls GetStatus until the instrument reports a state other than busy (true). Fails on the
// first failed poll, when the poll budget is spent, or when maxWait has passed. The budget is
// limit, or limit / 30 for model codes 0xB0..0xBF. Between polls the thread sleeps 20 ms
// (WaitReady) or 1 ms (WaitReadyFast) for sensor types below 4 and model codes 0xB4 and 0xB6,
// else 0.5 ms in both.
constexpr auto kNoWaitLimit = std::chrono::milliseconds::max();
bool WaitReady(SpDevice* dev, uint32_t limit, std::chrono::milliseconds maxWait = kNoWaitLimit);
bool WaitReadyFast(SpDevice* dev, uint32_t limit, std::chrono::milliseconds maxWait = kNoWaitLimit);
// Polls the ready-wait may make for a limit on this entry.
uint32_t ReadyWaitBudget(const SpDevice* dev, uint32_t limit);

// Scale of every pause the instrument link makes between polls, retries and control calls:
// 1 (the default) as stated here; tests and fuzzing use 0. InstrumentPause scales a pause.
void SetInstrumentPauseScale(double scale);
std::chrono::microseconds InstrumentPause(std::chrono::microseconds pause);

// --- files on the instrument ---------------------------------------------------------------
// Reads a whole file into buffer (capacity bytes); *size receives its length. Fails on a
// transfer chunk of 0, an absent file, a file larger than capacity and any failed step
// (a failure after the file was selected sends EndFileTransfer).
bool ReadInstrumentFile(SpDevice* dev, const char* name, uint8_t* buffer, uint32_t capacity,
                        uint32_t* size);
// Size of a file in bytes; 0 when it is absent or a step failed.
uint32_t InstrumentFileSize(SpDevice* dev, const char* name);
