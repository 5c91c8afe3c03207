// Identification of an opened instrument from its information block: model table, version
// texts, and the four-angle information file. Pure functions over bytes, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>

#include "instrument/models.h"

struct SpDevice;

// Four-angle units shown as such by the device tree: 0xC1 and 0xC2.
bool IsFourAngleModel(uint16_t modelCode);
// Models opened with the four-angle preparation and dark variant 1: 0xC1, 0xC2, 0xC5.
bool NeedsFourAnglePreparation(uint16_t modelCode);

// "HWVer:1.%d.%d%c%c" and "FWVer:%d.%d.%d.B%d" / "FWVer:%d.%d.%d" from the 80-byte block.
void FormatHardwareVersion(const uint8_t info[80], char out[32]);
void FormatFirmwareVersion(const uint8_t info[80], char out[32]);

// Float of the information block truncated toward zero; NaN gives 0 and values beyond the
// 32-bit range the nearest limit.
int32_t TruncateToInt(float value);

// Fills the identification fields of dev from its infoBlock and configBlock: spectrumPoints,
// wavelengths, pixels, sensorType, modelCode, model and flags, versions, serial, id = 0.
void ApplyInfoBlocks(SpDevice* dev);

// Name of the four-angle information file on the instrument and the largest size accepted.
constexpr const char* kFourAngleFileName = "/SYS1/YT2290_Info.CFG";
constexpr uint32_t kMaxFourAngleFileSize = 64 * 1024;
constexpr std::size_t kMaxFourAngleSerial = 31;  // characters kept of the serial value

// Parses the three lines (version, unit number, serial) of the four-angle file: each line
// ends in CR LF and its value follows the first ":". Lines are taken in order; the parse
// stops at a line without CR LF or without ":" and never reads past size bytes. Fields of
// the lines read are stored as they are parsed; returns true when all three were read.
bool ParseFourAngleInfo(const uint8_t* data, std::size_t size, SpDevice* dev);
