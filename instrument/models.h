// The model table of the instrument family: model code (from the information block) to
// display name and the two flags. Pure data shared by the host side and the simulator.
#pragma once

#include <cstdint>
#include <span>

struct ModelEntry {
  uint16_t code;
  const char* model;    // display name
  uint32_t hasShutter;  // the instrument takes SetShutter
  uint32_t syncFlag;    // with hasShutter: the synchronisation argument of StartMeasurement
};

// Name of every code that is not in the table.
inline constexpr const char* kUnlistedModelName = "TR7F";

// Every listed model, in code order.
std::span<const ModelEntry> ModelTable();

// The model table entry of a code; codes not in the table give "TR7F" without flags
// (the returned entry then carries the code asked for).
ModelEntry LookupModel(uint16_t modelCode);
