// Configuration of the simulated instrument: one driver-wide time scale and the instruments
// attached at start, each with its identity, its calibration, the light it sees, and faults
// to inject. Read from JSON (see docs/simulator.md for every key and its range).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Wave shape of the light's ripple.
enum class SimWaveform { kSine, kSquare, kTriangle, kPulse, kDc };

// The light that falls on the flicker sensor.
struct SimLight {
  SimWaveform waveform = SimWaveform::kSine;
  double frequency = 100.0;  // Hz of the ripple; 0 = a steady light
  double modulation = 0.1;   // (max - min) / (max + min), 0..1
  double level = 0.4;        // mean in sensor volts at gain range 1 (0-based range 0)
  double duty = 0.5;         // fraction of the period at the high level (pulse only), 0..1
  double noise = 0.001;      // standard deviation of the light's noise, volts at range 1
};

// How the instrument's shutter behaves.
enum class SimShutter {
  kModel,        // as the model table says (a working shutter or none)
  kPresent,      // a working shutter whatever the model
  kAbsent,       // no shutter: SetShutter is refused, the light is always seen
  kStuckOpen,    // SetShutter is accepted, but the light is always seen
  kStuckClosed,  // SetShutter is accepted, but only dark is seen
};

enum class SimFaultKind {
  kLostReply,      // the 16-byte reply is never sent (the data phase still is)
  kWrongMagic,     // the reply carries a wrong magic
  kWrongSequence,  // the reply carries the request's sequence + 1
  kRefusedStatus,  // the command is not carried out; the reply carries `status`
  kStalledBusy,    // GetStatus reports busy (applies to GetStatus requests only)
  kShortRead,      // the data phase (or, without one, the reply) is cut to half its length
  kUnplug,         // the instrument is unplugged halfway through the data phase / before the reply
};

// A fault to inject into the replies of one instrument.
struct SimFault {
  SimFaultKind kind = SimFaultKind::kLostReply;
  uint16_t code = 0;        // wire code of the requests it applies to; 0 = every request
  bool persistent = false;  // false: fires once, then is gone; true: fires until cleared
  uint32_t skip = 0;        // matching requests to let pass before it first fires
  uint16_t status = 0x0001; // the refusal status of kRefusedStatus
};

struct SimInstrumentConfig {
  uint16_t modelCode = 0xAD;         // "TR7BQ"
  std::string serial = "SIM00001";   // information block text, 1..19 characters
  std::string identity;              // driver identity string; empty = the serial
  uint16_t protocolRevision = 0x107;
  std::array<uint8_t, 4> firmware = {1, 2, 3, 0};  // major, minor, patch, build (0 = none)
  // Hardware version: first number, second number, letter 1, letter 2 (0 = "A").
  uint8_t hwFirst = 1, hwSecond = 0;
  uint16_t hwLetter1 = 0, hwLetter2 = 0;
  int32_t wavelengthStart = 380;     // nm
  int32_t wavelengthEnd = 780;       // nm
  int32_t spectrumPoints = -1;       // -1 = wavelengthEnd - wavelengthStart + 1
  uint32_t pixelCount = 1024;
  uint32_t sensorType = 5;
  std::array<float, 4> gains = {1.0f, 1.0f, 1.0f, 1.0f};  // X, Y, Z, L
  std::array<double, 9> matrix = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  uint32_t matrixIndex = 0;
  std::string matrixName = "Default";  // text of the ReadMatrix block, at most 31 characters
  int64_t darkVariant = -1;            // -1 = by model (1 for four-angle units, else 0)
  // Contents of "/SYS1/YT2290_Info.CFG". Unset: by model (kSimFourAngleFileText on four-angle
  // units, no file on the others).
  std::optional<std::string> fourAngleFile;
  bool fourAngleFileAbsent = false;    // true: no such file, whatever the model
  uint32_t fileChunk = 512;            // file-transfer chunk size the instrument reports
  SimLight light;
  double lux = 500.0;                  // illuminance the spectrum is scaled to
  SimShutter shutter = SimShutter::kModel;
  std::array<double, 4> rangeGains = {1.0, 2.0, 4.0, 8.0};
  std::array<double, 4> darkOffsets = {0.020, 0.025, 0.031, 0.042};  // volts per range
  std::optional<uint64_t> seed;        // noise generator seed; unset = from the serial
  std::vector<SimFault> faults;
};

struct SimConfig {
  double timeScale = 1.0;  // 1 = real time, 0 = every operation completes at once
  std::vector<SimInstrumentConfig> instruments;
};

// "SIM00001" for 1, "SIM00002" for 2, ...: the serials given to instruments without one.
std::string SimSerialNumber(int n);

// The built-in default: one "TR7BQ" (serial "SIM00001") under a 100 Hz LED ripple, real time.
SimConfig DefaultSimConfig();

// Parses a whole configuration. False with a message naming the key and the bad value.
bool ParseSimConfig(std::string_view json, SimConfig* config, std::string* error);
// The same from a file; messages start with the file name.
bool LoadSimConfigFile(const std::string& path, SimConfig* config, std::string* error);
// One instrument object (the shape of an element of "instruments"). `defaultSerial` is taken
// when the object has no "serial".
bool ParseSimInstrument(std::string_view json, const std::string& defaultSerial,
                        SimInstrumentConfig* config, std::string* error);

// Checks what the field types do not: lengths of the texts, ranges of the light, gains,
// offsets and lux. `where` prefixes the message ("instruments[0]").
bool ValidateSimInstrument(const SimInstrumentConfig& config, const std::string& where, std::string* error);

// Model table of the instrument family.
struct SimModel {
  uint16_t code;
  const char* name;
  bool hasShutter;
};
// The entry for a code; unlisted codes give "TR7F" without a shutter.
SimModel SimModelOf(uint16_t code);
// Code of a model name (the first code carrying it); false when no listed model has it.
bool SimModelCode(std::string_view name, uint16_t* code);
// Four-angle units: codes 0xC1, 0xC2 and 0xC5.
bool SimIsFourAngle(uint16_t code);

// Names used in the configuration.
const char* SimWaveformName(SimWaveform waveform);
const char* SimShutterName(SimShutter shutter);
const char* SimFaultName(SimFaultKind kind);
bool SimWaveformFromName(std::string_view name, SimWaveform* waveform);
bool SimShutterFromName(std::string_view name, SimShutter* shutter);
bool SimFaultFromName(std::string_view name, SimFaultKind* kind);

// The default contents of the four-angle information file.
extern const char kSimFourAngleFileText[];
constexpr const char* kSimFourAngleFileName = "/SYS1/YT2290_Info.CFG";
