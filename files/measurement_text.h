// The measurement text file: its number syntax, its key lookup and the composition of the
// whole file in memory.
//
// The file is 8-bit text without byte-order mark, cells separated by one TAB, every line
// ended by CR LF:
//   25 header lines "<name>\t<value>" (model, serial, time, sample count and frequency, the
//   figures, the 1-based gain), an empty line, "Time(sec)\tVoltage" and one row per sample,
//   an empty line, "Hz\tAmplitude" and one row per spectrum line k < sampleCount / 2.
// Every float is written as "0.000000" (at least one integer digit, six decimals, rounded).
//
// Readers accept CR LF, bare LF and bare CR as line ends; every scan stays inside the text
// it is given and never relies on a terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/record.h"

// Largest float text FormatValue writes (sign, 39 integer digits, mark, six decimals) with
// room to spare.
inline constexpr std::size_t kMaxValueText = 64;

// Writes value as "0.000000" with '.' as decimal mark to out (room for kMaxValueText
// characters); returns the number of characters written. No terminator.
std::size_t FormatValue(float value, char* out);
std::string FormatValue(float value);

// True for an optional leading "-" (only when the text is longer than one character and ends
// in a digit) followed by digits with at most one decimal mark, "." or ",". False for "".
bool IsNumber(std::string_view text);

// Reads an optional "-", integer digits and optionally one decimal mark ("." or ",")
// directly after them with fraction digits; stops at anything else. The fraction is gathered
// from its last digit backwards in single precision, f = (digit + f) * 0.1. No exponent,
// no "+". Integer digits beyond float range saturate at the largest float.
float ParseDecimal(std::string_view text);

// Looks for the first line at or after position `from` (a line start) whose first cell, the
// text before its first TAB, equals key exactly and whose value, the first space- or
// TAB-delimited word after that TAB on the same line, is a number (IsNumber; words longer
// than 31 characters are not). Lines without a TAB are skipped, as are matching lines whose
// value is not a number. On success *value is ParseDecimal of the word and *next the start
// of the following line; false when the end of the text is reached.
bool FindValue(std::string_view text, std::string_view key, std::size_t from, float* value,
               std::size_t* next);

// The identity texts that head a measurement file.
struct MeasurementIdentity {
  std::string_view modelName;
  std::string_view serialNumber;
  std::string_view captureTime;
};

// Composes the whole file text of record into *out (replacing its content). The record's
// own sizes bound every row: sample rows stop at the volts buffer, spectrum rows at the
// spectrum arrays. No allocation per line: the text grows geometrically in one block.
void ComposeMeasurementText(const FlickerRecord& record, const MeasurementIdentity& identity,
                            std::string* out);
