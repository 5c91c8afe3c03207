#include "files/workbook.h"

#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>

#include "files/sheet_text.h"
#include "files/text_scan.h"

WorkbookKind DetectWorkbook(std::string_view b) {
  auto at = [&](std::size_t i) { return static_cast<unsigned char>(b[i]); };
  if (b.size() >= 3 && at(0) == 0xD0 && at(1) == 0xCF && at(2) == 0x11) return WorkbookKind::Compound;
  if (b.size() >= 3 && at(0) == 0x50 && at(1) == 0x4B && at(2) == 0x03) return WorkbookKind::Zip;
  if (b.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) return WorkbookKind::Utf16;
  return WorkbookKind::None;
}

bool LooksLikeWorkbook(std::string_view bytes) {
  return DetectWorkbook(bytes) != WorkbookKind::None;
}

bool WorkbookToText(std::string& buffer, const std::filesystem::path& path) {
  std::string text;
  bool ok = false;
  switch (DetectWorkbook(buffer)) {
    case WorkbookKind::Compound: ok = XlsToText(path, &text); break;
    case WorkbookKind::Zip: ok = XlsxToText(buffer, &text); break;
    case WorkbookKind::Utf16: ok = Utf16ToText(buffer, &text); break;
    case WorkbookKind::None: break;
  }
  if (!ok) text.clear();
  buffer = std::move(text);
  return ok;
}

void AppendUtf8As8Bit(std::string_view s, std::string* out) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c) *out += static_cast<char>(c);
      ++i;
      continue;
    }
    // Length and first bits of a multi-byte sequence; anything malformed is one '?'.
    std::size_t len = 0;
    uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) len = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) len = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) len = 4, cp = c & 0x07;
    std::size_t k = 1;
    for (; len && k < len && i + k < s.size(); ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) break;
      cp = (cp << 6) | (t & 0x3F);
    }
    if (len && k == len) {
      *out += cp >= 0x80 && cp <= 0xFF ? static_cast<char>(cp) : '?';
      i += len;
    } else {
      *out += '?';
      i += k;
    }
  }
}

std::string_view PlainNumber(double v, char (&buf)[kPlainNumberRoom]) {
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (r.ec != std::errc()) return {};
  return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

namespace {

// A cell of spreadsheet text written in exponent notation ("1E-05", "-2.5e+3", "1,5E-05"),
// rewritten in plain notation; other cells are returned unchanged.
std::string_view PlainIfExponent(std::string_view cell, char (&buf)[kPlainNumberRoom]) {
  std::size_t i = 0;
  if (i < cell.size() && cell[i] == '-') ++i;
  const std::size_t digits = i;
  while (i < cell.size() && IsDigit(cell[i])) ++i;
  if (i == digits) return cell;
  if (i < cell.size() && (cell[i] == '.' || cell[i] == ',')) {
    ++i;
    while (i < cell.size() && IsDigit(cell[i])) ++i;
  }
  if (i >= cell.size() || (cell[i] != 'e' && cell[i] != 'E')) return cell;
  ++i;
  if (i < cell.size() && (cell[i] == '+' || cell[i] == '-')) ++i;
  const std::size_t exponent = i;
  while (i < cell.size() && IsDigit(cell[i])) ++i;
  if (i == exponent || i != cell.size() || cell.size() >= sizeof buf) return cell;

  char scientific[kPlainNumberRoom];
  for (std::size_t k = 0; k < cell.size(); ++k) scientific[k] = cell[k] == ',' ? '.' : cell[k];
  double v = 0;
  const auto r = std::from_chars(scientific, scientific + cell.size(), v,
                                 std::chars_format::scientific);
  if (r.ec != std::errc() || r.ptr != scientific + cell.size()) return cell;
  const std::string_view plain = PlainNumber(v, buf);
  return plain.empty() ? cell : plain;
}

}  // namespace

bool Utf16ToText(std::string_view bytes, std::string* text) {
  text->clear();
  if (DetectWorkbook(bytes) != WorkbookKind::Utf16) return false;
  std::string plain;
  plain.reserve(bytes.size() / 2);
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    const unsigned unit = static_cast<unsigned char>(bytes[i]) |
                          (static_cast<unsigned>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    if (unit == 0) continue;
    plain += unit <= 0xFF ? static_cast<char>(unit) : '?';
  }
  // Tab-separated rows; a cell that starts with a quote runs to the closing quote (two
  // quotes stand for one and TABs and line ends inside are kept).
  const std::string_view s = plain;
  std::string cell;
  char number[kPlainNumberRoom];
  auto forEach = [&](auto&& visit) {
    std::size_t pos = 0;
    uint64_t row = 0, column = 0;
    while (pos < s.size()) {
      std::string_view content;
      if (s[pos] == '"') {
        cell.clear();
        ++pos;
        while (pos < s.size()) {
          if (s[pos] == '"') {
            if (pos + 1 < s.size() && s[pos + 1] == '"') {
              cell += '"';
              pos += 2;
              continue;
            }
            ++pos;
            break;
          }
          cell += s[pos++];
        }
        while (pos < s.size() && s[pos] != '\t' && !IsLineEnd(s[pos])) cell += s[pos++];
        content = cell;
      } else {
        const std::size_t start = pos;
        while (pos < s.size() && s[pos] != '\t' && !IsLineEnd(s[pos])) ++pos;
        content = s.substr(start, pos - start);
      }
      if (!visit(row, column, PlainIfExponent(content, number))) return false;
      if (pos >= s.size()) break;
      if (s[pos] == '\t') {
        ++pos;
        ++column;
      } else {
        pos = NextLine(s, pos);
        ++row;
        column = 0;
      }
    }
    return true;
  };
  return BuildSheetText(forEach, text);
}
