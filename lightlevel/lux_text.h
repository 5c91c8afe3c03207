// Text of a light-level reading as the light-level display shows it.
#pragma once

#include <string>

// By size: below 10 "0.000", below 100 "0.00", below 1000 "0.0", else "0" (3.142, 31.42,
// 314.2, 3142). decimalSep replaces the decimal point.
std::string FormatLux(double lux, char decimalSep = '.');
