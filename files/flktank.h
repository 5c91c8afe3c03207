// TFlkTankMgr, the measurement store: the one measurement the workbench regards as current
// (a flicker record) together with the model name and serial number of the instrument that
// made it and the local time at which it was kept; plus the reading and writing of the
// measurement text file (measurement_text.h).
//
// Ownership: the store owns its kept record through `record` (a FlickerRecordPtr). Callers
// install a record with Install (getting the previous one back to dispose of) or take it out
// with Take; destroying the store destroys the kept record. The kept record is never emptied
// by the store itself. Keep copies a freshly analysed record INTO the kept one and never
// keeps a pointer to the caller's record.
//
// Not thread-safe: every member runs on the thread that owns the store (the user interface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "analysis/record.h"

struct SpDevice;

// The three values a file's header supplies.
struct FileHeader {
  int32_t sampleCount = 0;  // samples of the measurement, 1 .. kMaxFileSampleCount
  int32_t sampleFreq = 0;   // Hz, 1 .. kMaxFileSampleFreq
  int32_t gainIndex = 0;    // 0-based gain range: the "gain" line minus 1; 0 without that line
};

// Headers beyond these limits describe no measurement a record can hold: refused.
inline constexpr int32_t kMaxFileSampleCount = 10240000;
inline constexpr int32_t kMaxFileSampleFreq = 1000000;

// Reads the sample count ("Sampling Number", else "Sample Number"), the sampling frequency
// ("Sampling Rate", else "Sample Frequency") and the gain ("gain", looked for only after the
// line of the sampling frequency) from the text of a file; values are truncated toward zero.
// False, with *header unchanged, when the count or the frequency is missing or outside
// 1 .. kMaxFileSampleCount / 1 .. kMaxFileSampleFreq. A gain beyond the 32-bit range
// saturates; it is not checked against the instrument's ranges.
bool ParseHeader(std::string_view text, FileHeader* header);

// Reads the voltage column into record->volts: from the line after the first word "Votage",
// else the first word "Voltage" (one empty line after it skipped), the second cell of each
// line, until an empty line or a line starting with TAB, the end of the text, or
// sampleCount values. A second cell that is missing or not a number stores 0 (the row still
// counts, so the samples keep their times). The rest of volts, up to bufferLen, is set to
// 0. Returns the number of rows read, or -1 when the text has no "Votage"/"Voltage" word
// (volts then all 0).
int64_t LoadSamplesInto(FlickerRecord* record, std::string_view text);

class TFlkTankMgr {
 public:
  TFlkTankMgr() = default;
  TFlkTankMgr(const TFlkTankMgr&) = delete;
  TFlkTankMgr& operator=(const TFlkTankMgr&) = delete;

  // Installs r as the kept record; returns the previous one (null if none).
  FlickerRecordPtr Install(FlickerRecordPtr r);
  // Removes the kept record and hands it over; the store is empty afterwards.
  FlickerRecordPtr Take();

  // Keeps a freshly analysed record: the instrument's `model` and `serial` (each cut to 15
  // characters; a null device, i.e. no known instrument, empties both), the current local
  // time as "YYYY/MM/DD_hh:mm:ss", and a copy of the record's figures (sampleCount,
  // sampleFreq, frequency and every result figure), its volts and firOut buffers and its
  // spectrum's frequency and amplitude arrays. gainIndex and the other fields of the kept
  // record stay as they are; the caller sets gainIndex afterwards.
  // When the kept record's sizes differ from r's (sample count, frequency, buffer length,
  // FFT length, FIR taps or cut-off) or there is none, it is first replaced by a new record
  // made for r's sizes, taking over the old gainIndex. False, with the store unchanged,
  // when r is null or that record cannot be created.
  bool Keep(const FlickerRecord* r, const SpDevice* device);

  // Writes the kept record with the kept identity and time to path (created or
  // overwritten), composed in memory and written with one write. False when there is no
  // kept record or the file cannot be created or fully written.
  bool SaveToFile(const std::filesystem::path& path) const;

  // ParseHeader above; kept as a member for the workbench's load path.
  static bool ParseHeader(std::string_view text, FileHeader* header) {
    return ::ParseHeader(text, header);
  }
  // LoadSamplesInto the kept record; -1 also when there is none.
  int64_t LoadSamples(std::string_view text);

  // The kept measurement; null until a record is installed or kept.
  FlickerRecordPtr record;
  char modelName[16] = {};     // NUL-terminated, at most 15 characters
  char serialNumber[16] = {};  // NUL-terminated, at most 15 characters
  char captureTime[32] = {};   // "YYYY/MM/DD_hh:mm:ss" local time of the last Keep; "" before
};

// "YYYY/MM/DD_hh:mm:ss" of the current local time into out, NUL-terminated.
void FormatCaptureTime(char (&out)[32]);

// The identity part of Keep: device's model and serial, each cut to 15 characters (both
// empty for a null device), and the current local time.
void FormatIdentity(const SpDevice* device, char (&modelName)[16], char (&serialNumber)[16],
                    char (&captureTime)[32]);

// Writes the text of record with the given identity texts to path in one write.
// False when the file cannot be created or fully written.
bool WriteMeasurementFile(const FlickerRecord& record, std::string_view modelName,
                          std::string_view serialNumber, std::string_view captureTime,
                          const std::filesystem::path& path);
