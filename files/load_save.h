// The Save and Load paths of the workbench without any window: the file-name rule, the
// whole load sequence (read, workbook conversion, header, new record, samples, analysis)
// and its result, and saving a record with the identity of the instrument that made it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "analysis/record.h"
#include "files/flktank.h"

struct SpDevice;

// The name a measurement is saved under: the chosen name with ".xls" appended, always
// (result -> result.xls, result.xls -> result.xls.xls).
std::filesystem::path MeasurementSavePath(const std::filesystem::path& chosen);

// The load error: the path immediately followed by " not a correct format for quivra".
std::string NotCorrectFormatMessage(const std::filesystem::path& path);

// Files above this size are not measurement files (the longest measurement a header may
// describe is far smaller); they are refused without being read.
inline constexpr std::uintmax_t kMaxMeasurementFileBytes = std::uintmax_t{1} << 30;

// Reads the whole regular file at path into *bytes with one read; bytes->size() is the file
// size and the std::string's terminator follows the last byte. False when the file cannot
// be opened or read, is not a regular file, or is larger than kMaxMeasurementFileBytes
// (*tooLarge set then, when given).
bool ReadMeasurementBuffer(const std::filesystem::path& path, std::string* bytes,
                           bool* tooLarge = nullptr);

enum class LoadStatus {
  Loaded,            // the store holds the file's measurement, analysed
  Unreadable,        // the file could not be opened or read: the window says nothing
  NotCorrectFormat,  // not a measurement (header missing or out of range, no data section,
                     // too large, or a workbook that cannot be converted): the message is
                     // NotCorrectFormatMessage(path)
  NoRecord,          // no record could be made for the header (out of memory)
};

struct LoadResult {
  LoadStatus status = LoadStatus::Unreadable;
  bool workbook = false;   // the file was a workbook or UTF-16 text and was converted
  FileHeader header;       // valid from the header check on
  int64_t samplesRead = 0; // data rows read (at most header.sampleCount)
};

struct LoadOptions {
  uint32_t firCutoffHz = 1000;  // cut-off of the new record's 100-tap FIR filter
  uint32_t firEnabled = 0;      // FIR switch of the analysis run on the loaded samples
};

// The Load button's sequence. Reads the file; when it looks like a workbook (or UTF-16
// text), calls beforeConversion (the window shows "this is a large file, please wait!")
// and converts it to text; checks the header; makes a new record for (sampleFreq,
// sampleCount) with 100 taps, options.firCutoffHz and a rounded buffer; sets its gainIndex
// from the header, reads the samples, and runs FlickerRun(record, 0, options.firEnabled).
// Only when all of that succeeded is the new record installed in the store (the previous
// one is destroyed); otherwise the store is left exactly as it was. The store's identity
// texts and time are never changed by loading.
LoadResult LoadMeasurementFile(TFlkTankMgr& store, const std::filesystem::path& path,
                               const LoadOptions& options = {},
                               const std::function<void()>& beforeConversion = {});

// Saves record as a measurement file at path (no ".xls" appended here), headed by the
// device's model and serial (cut to 15 characters; empty for a null device) and the
// current local time, with the record's own gainIndex. The record is not copied or
// changed. False when the file cannot be created or fully written.
bool SaveRecordToFile(const FlickerRecord& record, const SpDevice* device,
                      const std::filesystem::path& path);
