#include "analysis/numfmt.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The exact decimal expansion of |x| (finite x): digits without a point, of which the first
// intCount are the integer part (at least one digit).
struct ExactDecimal {
  std::string digits;
  std::size_t intCount = 0;
};

ExactDecimal Expand(double x) {
  x = std::fabs(x);
  int exponent = 0;
  std::frexp(x, &exponent);
  // The lowest bit of a double is 2^(exponent - 53), or 2^-1074 below the normal range:
  // that many fraction digits hold the expansion exactly.
  int fraction = 53 - exponent;
  if (fraction < 0) fraction = 0;
  if (fraction > 1074) fraction = 1074;
  std::array<char, 1500> buffer;
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, std::chars_format::fixed, fraction);
  ExactDecimal d;
  const std::string_view text(buffer.data(), static_cast<std::size_t>(result.ptr - buffer.data()));
  const std::size_t point = text.find('.');
  d.digits.assign(text.substr(0, point));
  d.intCount = d.digits.size();
  if (point != std::string_view::npos) d.digits.append(text.substr(point + 1));
  return d;
}

// Keeps the first `keep` digits of d (padding with zeros), rounding half away from zero on
// the digits dropped. A carry out of the first digit adds a leading 1 (intCount grows).
void RoundDigits(ExactDecimal& d, std::size_t keep) {
  const bool up = keep < d.digits.size() && d.digits[keep] >= '5';
  d.digits.resize(keep, '0');
  if (!up) return;
  std::size_t i = keep;
  while (i > 0) {
    --i;
    if (d.digits[i] != '9') {
      ++d.digits[i];
      return;
    }
    d.digits[i] = '0';
  }
  d.digits.insert(d.digits.begin(), '1');
  ++d.intCount;
}

bool AllZero(std::string_view digits) {
  return digits.find_first_not_of('0') == std::string_view::npos;
}

// Text of a value that is not finite.
std::string NonFiniteText(double x) {
  if (std::isnan(x)) return "NAN";
  return x < 0 ? "-INF" : "INF";
}

struct Picture {
  int minInt = 0;    // '0' digits before the point
  bool grouping = false;
  int minFrac = 0;   // '0' digits after the point
  int maxFrac = 0;   // '0' and '#' digits after the point
};

Picture ParsePicture(std::string_view pattern) {
  Picture p;
  const std::size_t point = pattern.find('.');
  const std::string_view integer = pattern.substr(0, point);
  for (char c : integer) {
    if (c == '0') ++p.minInt;
    if (c == ',') p.grouping = true;
  }
  if (point != std::string_view::npos) {
    for (char c : pattern.substr(point + 1)) {
      if (c == '0') {
        ++p.minFrac;
        ++p.maxFrac;
      } else if (c == '#') {
        ++p.maxFrac;
      }
    }
  }
  return p;
}

}  // namespace

std::string FormatPattern(double value, std::string_view pattern, char decimalSep, char thousandsSep) {
  if (!std::isfinite(value)) return NonFiniteText(value);
  const Picture picture = ParsePicture(pattern);
  ExactDecimal d = Expand(value);
  RoundDigits(d, d.intCount + picture.maxFrac);

  std::string_view integer(d.digits.data(), d.intCount);
  std::string_view fraction(d.digits.data() + d.intCount, d.digits.size() - d.intCount);
  const bool negative = std::signbit(value) && !AllZero(d.digits);
  while (fraction.size() > static_cast<std::size_t>(picture.minFrac) && fraction.back() == '0') {
    fraction.remove_suffix(1);
  }
  while (!integer.empty() && integer.front() == '0') integer.remove_prefix(1);

  std::string intText(integer);
  if (intText.size() < static_cast<std::size_t>(picture.minInt)) {
    intText.insert(0, picture.minInt - intText.size(), '0');
  }
  if (intText.empty() && fraction.empty()) intText = "0";

  std::string text;
  text.reserve(intText.size() * 4 / 3 + fraction.size() + 3);
  if (negative) text += '-';
  for (std::size_t i = 0; i < intText.size(); ++i) {
    if (picture.grouping && i > 0 && (intText.size() - i) % 3 == 0) text += thousandsSep;
    text += intText[i];
  }
  if (!fraction.empty()) {
    text += decimalSep;
    text += fraction;
  }
  return text;
}

std::string FormatByMagnitude(float x, char decimalSep) {
  const double a = std::fabs(std::trunc(static_cast<double>(x)));
  const char* pattern = a > 100 ? "0" : (a >= 10 ? "0.00" : "0.0000");
  return FormatPattern(x, pattern, decimalSep);
}

std::string ShortestFloatText(float x, char decimalSep) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  if (x == 0.0f) return "0";
  std::array<char, 64> buffer;
  const auto result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), x, std::chars_format::fixed);
  std::string text(buffer.data(), result.ptr);
  for (char& c : text) {
    if (c == '.') c = decimalSep;
  }
  return text;
}

std::string GeneralFormat(double x, char decimalSep) {
  if (!std::isfinite(x)) return NonFiniteText(x);
  if (x == 0.0) return "0";
  constexpr int kDigits = 15;
  ExactDecimal d = Expand(x);
  // Position of the first significant digit, as a power of ten.
  const std::size_t first = d.digits.find_first_not_of('0');
  int exponent = static_cast<int>(d.intCount) - static_cast<int>(first) - 1;
  std::string digits = d.digits.substr(first);
  ExactDecimal significant{digits, 1};
  RoundDigits(significant, kDigits);
  if (significant.intCount > 1) {  // carried into a new digit: 9.99... became 10.0...
    ++exponent;
    significant.digits.resize(kDigits);
  }
  std::string_view sig(significant.digits);
  while (sig.size() > 1 && sig.back() == '0') sig.remove_suffix(1);

  std::string text = x < 0 ? "-" : "";
  if (exponent < -5 || exponent >= kDigits) {
    text += sig.front();
    if (sig.size() > 1) {
      text += decimalSep;
      text += sig.substr(1);
    }
    text += 'E';
    text += std::to_string(exponent);
    return text;
  }
  if (exponent < 0) {
    text += '0';
    text += decimalSep;
    text.append(static_cast<std::size_t>(-exponent - 1), '0');
    text += sig;
    return text;
  }
  const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
  if (sig.size() <= intDigits) {
    text += sig;
    text.append(intDigits - sig.size(), '0');
  } else {
    text += sig.substr(0, intDigits);
    text += decimalSep;
    text += sig.substr(intDigits);
  }
  return text;
}

std::size_t FormatFixed6(float x, char* out, char decimalSep) {
  // x * 10^6 is exact in double (24-bit mantissa times 15625 * 2^6 fits in 53 bits), and so
  // is adding 0.5 below 2^52, so the rounding below sees the exact value.
  const double scaled = std::fabs(static_cast<double>(x) * 1e6);
  if (!(scaled < 9.0e18)) {  // too large for the integer path, or not finite
    const std::string text = FormatPattern(x, "0.000000", decimalSep);
    std::memcpy(out, text.data(), text.size());
    return text.size();
  }
  const uint64_t units =
      static_cast<uint64_t>(scaled < 4503599627370496.0 ? std::floor(scaled + 0.5) : scaled);
  char* p = out;
  if (x < 0 && units != 0) *p++ = '-';
  p = std::to_chars(p, out + 64, units / 1000000).ptr;
  *p++ = decimalSep;
  uint32_t fraction = static_cast<uint32_t>(units % 1000000);
  for (int i = 5; i >= 0; --i) {
    p[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  p += 6;
  return static_cast<std::size_t>(p - out);
}
