// Shared by the workbook readers: the text form of a sheet and the conversions of cell
// contents into 8-bit text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "files/workbook.h"

// Appends the 8-bit form of UTF-8 text: code points up to 255 as one byte, others and
// malformed sequences as '?', NUL dropped.
void AppendUtf8As8Bit(std::string_view utf8, std::string* out);

// Room for the plain decimal text of any double.
inline constexpr std::size_t kPlainNumberRoom = 400;
// Shortest plain-notation decimal text of v that reads back as v ("0.00001", "-1", "4096").
std::string_view PlainNumber(double v, char (&buf)[kPlainNumberRoom]);

// Builds the text form of a sheet from its cells. forEach(visit) must call
// visit(row, column, text) for the cells of the sheet in row-major order (0-based row and
// column, 8-bit text; empty cells may be left out), stop and return false when visit
// returns false, and return false when the sheet cannot be read. It is called twice: once
// to find the used range (the last row and column holding a non-empty cell) and once to
// write the text. False, with *out empty, when forEach fails or the text would exceed
// kMaxWorkbookText.
template <typename ForEach>
bool BuildSheetText(ForEach&& forEach, std::string* out) {
  out->clear();
  uint64_t lastRow = 0, lastColumn = 0;
  bool any = false;
  bool ok = forEach([&](uint64_t row, uint64_t column, std::string_view text) {
    if (text.empty()) return true;
    any = true;
    if (row > lastRow) lastRow = row;
    if (column > lastColumn) lastColumn = column;
    return true;
  });
  if (!ok) return false;
  if (!any) return true;

  uint64_t openRow = 0;  // the row being written
  ok = forEach([&](uint64_t row, uint64_t column, std::string_view text) {
    if (text.empty()) return true;
    for (; openRow < row; ++openRow) *out += "\r\n";
    if (out->size() + text.size() + 1 > kMaxWorkbookText) return false;
    *out += text;
    if (column != lastColumn) *out += '\t';
    return true;
  });
  if (!ok) {
    out->clear();
    return false;
  }
  for (; openRow <= lastRow; ++openRow) *out += "\r\n";
  return true;
}
