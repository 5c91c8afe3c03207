// Measurement files saved again by a spreadsheet program, turned back into the text form
// the file parser reads: the first sheet's used range from A1, row by row, each cell's text
// followed by one TAB when the text is not empty and the cell is not in the range's last
// column, each row followed by CR LF. Empty cells add nothing, so the blank lines and
// two-cell rows of a saved measurement come back as they were.
//
// Readers: a compound-document workbook (.xls, BIFF) through freexl, a zip-packaged
// workbook (.xlsx) through libzip and pugixml (first sheet, shared strings, inline strings,
// numbers), and UTF-16 little-endian text decoded directly. Text is turned into 8-bit
// characters (code points above 255 become '?', NULs are dropped). Numbers of .xls and
// .xlsx cells are written in plain decimal notation, the shortest that reads back as the
// same double (0.0001, -1, 4096), as are numbers in exponent notation in UTF-16 text (1E-05
// becomes 0.00001): the file parser reads no exponents.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

enum class WorkbookKind {
  None,      // plain 8-bit text (or anything else)
  Compound,  // D0 CF 11: compound-document workbook
  Zip,       // 50 4B 03: zip-packaged workbook
  Utf16,     // FF FE: UTF-16 little-endian text
};

// The kind told by the first bytes; None for fewer bytes than the magic needs.
WorkbookKind DetectWorkbook(std::string_view bytes);
// DetectWorkbook(bytes) != None.
bool LooksLikeWorkbook(std::string_view bytes);

// Limits that keep a hostile workbook from running away: the text a conversion may produce
// and the uncompressed size of one part of a zip-packaged workbook.
inline constexpr std::size_t kMaxWorkbookText = std::size_t{1} << 30;
inline constexpr std::size_t kMaxWorkbookPart = std::size_t{1} << 30;

// Replaces buffer, which holds the bytes of the file at path, by the text form of its first
// sheet (sized to the text; std::string keeps it zero-terminated). The compound-document
// reader opens path itself; the other readers use the bytes. False, with buffer empty, when
// the bytes are no workbook or it cannot be read.
bool WorkbookToText(std::string& buffer, const std::filesystem::path& path);

// The three readers; each replaces *text and returns false (with *text empty) on failure.
bool XlsToText(const std::filesystem::path& path, std::string* text);
bool XlsxToText(std::string_view bytes, std::string* text);
bool Utf16ToText(std::string_view bytes, std::string* text);
