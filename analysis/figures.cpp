#include "analysis/figures.h"

#include <array>

#include "analysis/numfmt.h"

namespace {

constexpr std::array<FigureInfo, 19> kFigures = {{
    {"Frequnecy", "Freq", FigureSource::kFrequency, false},
    {"RMS %", "", FigureSource::kRmsRatio, true},
    {"RMS dB", "", FigureSource::kRmsDb, false},
    {"JEITA %", "Jeita %", FigureSource::kJeitaRatio, true},
    {"JEITA dB", "Jeita dB", FigureSource::kJeitaDb, false},
    {"VESA FMA", "Vesa FMA", FigureSource::kFma, true},
    {"VESA %", "Vesa %", FigureSource::kVesaRatio, true},
    {"VESA dB", "Vesa dB", FigureSource::kVesaDb, false},
    {"DC", "", FigureSource::kDc, false},
    {"contrast", "", FigureSource::kContrast, true},
    {"contrast dB", "", FigureSource::kContrastDb, false},
    {"Min", "", FigureSource::kMinVolts, false},
    {"Max", "", FigureSource::kMaxVolts, false},
    {"Max-Min", "", FigureSource::kMaxMinusMin, false},
    {"Percentage(IES)", "Persentage(IES)", FigureSource::kPercentFlicker, true},
    {"Index(IES)", "", FigureSource::kFlickerIndex, false},
    {"Average", "", FigureSource::kAverage, false},
    {"SVM", "", FigureSource::kSvm, false},
    {"AC/DC", "", FigureSource::kAcDcRatio, true},
}};

float RawValue(const FlickerRecord& r, FigureSource source) noexcept {
  switch (source) {
    case FigureSource::kFrequency: return r.frequency;
    case FigureSource::kRmsRatio: return r.rmsRatio;
    case FigureSource::kRmsDb: return r.rmsDb;
    case FigureSource::kJeitaRatio: return r.jeitaRatio;
    case FigureSource::kJeitaDb: return r.jeitaDb;
    case FigureSource::kFma: return r.fma;
    case FigureSource::kVesaRatio: return r.vesaRatio;
    case FigureSource::kVesaDb: return r.vesaDb;
    case FigureSource::kDc:
      return r.spectrum && !r.spectrum->amplitude.empty() ? r.spectrum->amplitude[0] : 0.0f;
    case FigureSource::kContrast: return r.contrast;
    case FigureSource::kContrastDb: return r.contrastDb;
    case FigureSource::kMinVolts: return r.minVolts;
    case FigureSource::kMaxVolts: return r.maxVolts;
    case FigureSource::kMaxMinusMin: return r.maxVolts - r.minVolts;
    case FigureSource::kPercentFlicker: return r.percentFlicker;
    case FigureSource::kFlickerIndex: return r.flickerIndex;
    case FigureSource::kAverage: return r.average;
    case FigureSource::kSvm: return r.svm;
    case FigureSource::kAcDcRatio: return r.acDcRatio;
  }
  return 0.0f;
}

}  // namespace

std::span<const FigureInfo> FigureTable() noexcept { return kFigures; }

const FigureInfo* FindFigure(std::string_view name) noexcept {
  if (name.empty()) return nullptr;
  for (const FigureInfo& figure : kFigures) {
    if (figure.name == name || figure.synonym == name) return &figure;
  }
  return nullptr;
}

float FigureValueOf(const FlickerRecord& record, const FigureInfo& figure) noexcept {
  const float value = RawValue(record, figure.source);
  return figure.percent ? value * 100.0f : value;
}

bool FigureValue(const FlickerRecord* record, std::string_view name, float* value) noexcept {
  const FigureInfo* figure = FindFigure(name);
  if (record == nullptr || figure == nullptr || value == nullptr) return false;
  *value = FigureValueOf(*record, *figure);
  return true;
}

std::string FigureText(const FlickerRecord* record, std::string_view name, char decimalSep) {
  const FigureInfo* figure = FindFigure(name);
  if (figure == nullptr) return {};
  if (record == nullptr) return FormatPattern(0.0, "0.0000", decimalSep);
  const float value = FigureValueOf(*record, *figure);
  if (figure->source == FigureSource::kFrequency) return ShortestFloatText(value, decimalSep);
  std::string text = FormatByMagnitude(value, decimalSep);
  if (figure->percent) text += '%';
  return text;
}
