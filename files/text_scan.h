// Character classes and line scanning shared by the measurement-text readers. A line ends
// at CR, LF or CR LF; every position handled lies inside the given text.
#pragma once

#include <cstddef>
#include <string_view>

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
// Space or TAB: what separates words inside a line.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Position of the line end (CR or LF) at or after pos, or text.size().
inline std::size_t LineEnd(std::string_view text, std::size_t pos) {
  while (pos < text.size() && !IsLineEnd(text[pos])) ++pos;
  return pos;
}

// Start of the line after the line end at end (CR LF counts as one), or text.size().
inline std::size_t NextLine(std::string_view text, std::size_t end) {
  if (end >= text.size()) return text.size();
  if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
  return end + 1;
}

// Position of the first whitespace-delimited word equal to word, or npos.
inline std::size_t FindWord(std::string_view text, std::string_view word) {
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = text.find(word, pos);
    if (hit == std::string_view::npos) return hit;
    const std::size_t after = hit + word.size();
    if ((hit == 0 || IsSpace(text[hit - 1])) && (after == text.size() || IsSpace(text[after]))) {
      return hit;
    }
    pos = hit + 1;
  }
}
