// Number text, one implementation for every layer that shows figures.
//
// Patterns follow the usual picture syntax: "0" a digit always shown, "#" a digit shown
// only when significant, "," (before the decimal point) thousands grouping, "." the decimal
// point. Supported: "0", "0.0", "0.00", "0.000", "0.0000", "0.000000", "0.#####", "#0.000",
// "#,##0.#####", "#,##0.#######". Rounding is half away from zero on the value's exact
// decimal expansion (0.125 with "0.00" gives 0.13; 2.675, stored as 2.67499999..., gives 2.67).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Formats value with pattern; decimalSep replaces "." and thousandsSep the grouping mark.
std::string FormatPattern(double value, std::string_view pattern, char decimalSep = '.',
                          char thousandsSep = ',');

// The workbench's format by size: |trunc(x)| above 100: "0"; 10 to 100: "0.00";
// below 10: "0.0000".
std::string FormatByMagnitude(float x, char decimalSep = '.');

// Shortest decimal text that reads back as the same float, in plain (non-exponent)
// notation: 100 -> "100", 99.9f -> "99.9", -1 -> "-1".
std::string ShortestFloatText(float x, char decimalSep = '.');

// General format: up to 15 significant digits, trailing zeros dropped, fixed notation unless
// the magnitude is below 0.00001 or needs more than 15 integer digits (then "1.5E-6" form).
// A float 99.9 widened to double prints as 99.9000015258789.
std::string GeneralFormat(double x, char decimalSep = '.');

// Fast "0.000000" of a float for bulk writers (the measurement file): appends to out and
// returns the number of characters written. out must have room for 64 characters.
std::size_t FormatFixed6(float x, char* out, char decimalSep = '.');
