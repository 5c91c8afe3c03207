#include "instrument/models.h"

namespace {

constexpr ModelEntry kModels[] = {
    {0xA2, "TR7A", 0, 0},  {0xA3, "TR7B", 0, 0},   {0xA4, "KW-70", 0, 0},  {0xA5, "TR7C", 0, 0},
    {0xA7, "TR7AX", 0, 0}, {0xA8, "PE-21", 0, 0},  {0xA9, "JS40", 0, 0},   {0xAA, "BL2A", 0, 0},
    {0xAB, "GRO30", 0, 0}, {0xAC, "TR7AQ", 0, 0},  {0xAD, "TR7BQ", 1, 1},  {0xAE, "JS41", 0, 0},
    {0xAF, "DF40A", 0, 0}, {0xB0, "SC40A", 0, 0},  {0xB1, "ZN4007", 0, 0}, {0xB2, "WE50A", 0, 0},
    {0xB3, "KW-80", 0, 0}, {0xB4, "BL3A", 1, 0},   {0xC1, "TR9G", 1, 1},   {0xC2, "VD2A", 1, 1},
    {0xC5, "VD2A", 1, 1},
};

}  // namespace

std::span<const ModelEntry> ModelTable() { return kModels; }

ModelEntry LookupModel(uint16_t modelCode) {
  for (const ModelEntry& entry : kModels)
    if (entry.code == modelCode) return entry;
  return {modelCode, kUnlistedModelName, 0, 0};
}
