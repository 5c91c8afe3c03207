#include "lightlevel/lux_text.h"

#include "analysis/numfmt.h"

std::string FormatLux(double lux, char decimalSep) {
  const char* pattern = lux < 10 ? "0.000" : lux < 100 ? "0.00" : lux < 1000 ? "0.0" : "0";
  return FormatPattern(lux, pattern, decimalSep);
}
