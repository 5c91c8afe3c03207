// The figure table: names, synonyms, values and the parameter-box text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/figures.h"
#include "analysis/record.h"

namespace {

TEST(Figures, TableOrderAndSynonyms) {
  std::vector<std::string> names;
  for (const FigureInfo& figure : FigureTable()) names.emplace_back(figure.name);
  const std::vector<std::string> expected = {
      "Frequnecy", "RMS %", "RMS dB", "JEITA %", "JEITA dB", "VESA FMA", "VESA %",
      "VESA dB", "DC", "contrast", "contrast dB", "Min", "Max", "Max-Min", "Percentage(IES)",
      "Index(IES)", "Average", "SVM", "AC/DC"};
  EXPECT_EQ(names, expected);

  const std::pair<const char*, const char*> synonyms[] = {
      {"Freq", "Frequnecy"}, {"Jeita %", "JEITA %"}, {"Jeita dB", "JEITA dB"},
      {"Vesa FMA", "VESA FMA"}, {"Vesa %", "VESA %"}, {"Vesa dB", "VESA dB"},
      {"Persentage(IES)", "Percentage(IES)"}};
  for (auto [synonym, name] : synonyms) {
    ASSERT_NE(FindFigure(synonym), nullptr) << synonym;
    EXPECT_EQ(FindFigure(synonym)->name, name);
  }
  for (const char* unknown : {"rms %", "Frequency", "None", "", "VESA  dB", "Contrast"}) {
    EXPECT_EQ(FindFigure(unknown), nullptr) << unknown;
  }
}

TEST(Figures, ValuesAsTheParameterBoxShowsThem) {
  FlickerRecordPtr r = MakeFlickerRecord(1024, 1024, 100, 1000);
  r->frequency = 99.9f;
  r->rmsRatio = 0.123f;
  r->rmsDb = -26.7f;
  r->jeitaRatio = 0.35355339f;
  r->fma = 0.6f;
  r->vesaRatio = 0.5f;
  r->contrast = 0.045f;
  r->minVolts = 0.7f;
  r->maxVolts = 4.9f;
  r->percentFlicker = 0.3f;
  r->flickerIndex = 0.0825f;
  r->svm = 0.3902f;
  r->acDcRatio = 0.25f;
  r->spectrum->amplitude[0] = 2.5f;

  const auto value = [&](const char* name) {
    float v = -12345.0f;
    EXPECT_TRUE(FigureValue(r.get(), name, &v)) << name;
    return v;
  };
  EXPECT_EQ(value("Freq"), 99.9f);
  EXPECT_EQ(value("RMS %"), 0.123f * 100.0f);
  EXPECT_EQ(value("RMS dB"), -26.7f);
  EXPECT_EQ(value("DC"), 2.5f);
  EXPECT_EQ(value("Max-Min"), 4.9f - 0.7f);
  EXPECT_EQ(value("AC/DC"), 25.0f);

  float untouched = 7.0f;
  EXPECT_FALSE(FigureValue(r.get(), "RMS", &untouched));
  EXPECT_FALSE(FigureValue(nullptr, "RMS %", &untouched));
  EXPECT_EQ(untouched, 7.0f);

  const std::pair<const char*, const char*> texts[] = {
      {"Frequnecy", "99.9"},     {"RMS %", "12.30%"},    {"RMS dB", "-26.70"},
      {"JEITA %", "35.36%"},     {"VESA FMA", "60.00%"},   {"Vesa %", "50.00%"},
      {"DC", "2.5000"},          {"contrast", "4.5000%"},  {"Max", "4.9000"},
      {"Max-Min", "4.2000"},     {"Percentage(IES)", "30.00%"}, {"Index(IES)", "0.0825"},
      {"SVM", "0.3902"},         {"AC/DC", "25.00%"},      {"rms %", ""}};
  for (auto [name, text] : texts) EXPECT_EQ(FigureText(r.get(), name), text) << name;
  EXPECT_EQ(FigureText(r.get(), "RMS dB", ','), "-26,70");
  EXPECT_EQ(FigureText(nullptr, "SVM"), "0.0000");
  EXPECT_EQ(FigureText(nullptr, "Freq"), "0.0000");
  EXPECT_EQ(FigureText(nullptr, "Unknown"), "");
}

}  // namespace
