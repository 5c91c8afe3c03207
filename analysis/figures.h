// The flicker figures by name: the one table through which the parameter box, the
// command-line output and the report address a figure of a record.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "analysis/record.h"

// Which value of a record a figure shows.
enum class FigureSource {
  kFrequency,       // frequency (Hz)
  kRmsRatio,        // rmsRatio
  kRmsDb,           // rmsDb
  kJeitaRatio,      // jeitaRatio
  kJeitaDb,         // jeitaDb
  kFma,             // fma
  kVesaRatio,       // vesaRatio
  kVesaDb,          // vesaDb
  kDc,              // spectrum amplitude[0] (V)
  kContrast,        // contrast
  kContrastDb,      // contrastDb
  kMinVolts,        // minVolts (V)
  kMaxVolts,        // maxVolts (V)
  kMaxMinusMin,     // maxVolts - minVolts (V)
  kPercentFlicker,  // percentFlicker
  kFlickerIndex,    // flickerIndex
  kAverage,         // average (V)
  kSvm,             // svm
  kAcDcRatio,       // acDcRatio
};

struct FigureInfo {
  std::string_view name;     // canonical name, exact case
  std::string_view synonym;  // accepted alternative, empty when none
  FigureSource source;
  bool percent;              // shown as ratio x 100 followed by "%"
};

// Every figure, in table order (the order of the parameter-box choices).
std::span<const FigureInfo> FigureTable() noexcept;

// The entry whose name or synonym equals name exactly (case-sensitive); null when none.
const FigureInfo* FindFigure(std::string_view name) noexcept;

// The value as the parameter box shows it: percent figures x 100, rounded to float.
float FigureValueOf(const FlickerRecord& record, const FigureInfo& figure) noexcept;

// FigureValueOf for a name or synonym; false (value untouched) for an unknown name or a
// null record.
bool FigureValue(const FlickerRecord* record, std::string_view name, float* value) noexcept;

// The parameter-box text of a figure: "Frequnecy" as the shortest exact decimal, the others
// FormatByMagnitude with "%" after percent figures; "0.0000" for a known name without a
// record; empty for an unknown name.
std::string FigureText(const FlickerRecord* record, std::string_view name, char decimalSep = '.');
