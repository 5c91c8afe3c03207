#include "instrument/sim/sim_config.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "instrument/models.h"

using nlohmann::json;

const char kSimFourAngleFileText[] = "Version:1\r\nID:2\r\nSN:12345\r\n";

namespace {

constexpr const char* kUnlistedModel = kUnlistedModelName;

struct NamedWaveform { const char* name; SimWaveform value; };
constexpr NamedWaveform kWaveforms[] = {{"sine", SimWaveform::kSine}, {"square", SimWaveform::kSquare},
                                        {"triangle", SimWaveform::kTriangle}, {"pulse", SimWaveform::kPulse},
                                        {"dc", SimWaveform::kDc}};
struct NamedShutter { const char* name; SimShutter value; };
constexpr NamedShutter kShutters[] = {{"model", SimShutter::kModel}, {"present", SimShutter::kPresent},
                                      {"absent", SimShutter::kAbsent}, {"stuckOpen", SimShutter::kStuckOpen},
                                      {"stuckClosed", SimShutter::kStuckClosed}};
struct NamedFault { const char* name; SimFaultKind value; };
constexpr NamedFault kFaults[] = {{"lostReply", SimFaultKind::kLostReply},
                                  {"wrongMagic", SimFaultKind::kWrongMagic},
                                  {"wrongSequence", SimFaultKind::kWrongSequence},
                                  {"refusedStatus", SimFaultKind::kRefusedStatus},
                                  {"stalledBusy", SimFaultKind::kStalledBusy},
                                  {"shortRead", SimFaultKind::kShortRead},
                                  {"unplug", SimFaultKind::kUnplug}};

template <typename Table>
std::string NameList(const Table& table) {
  std::string list;
  for (const auto& entry : table) list += std::string(list.empty() ? "" : ", ") + entry.name;
  return list;
}

std::string NumberText(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// A failure while reading the configuration: the message says where and what.
struct ConfigError {
  std::string message;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw ConfigError{where + ": " + what};
}

std::string Shown(const json& value) {
  std::string text = value.dump();
  if (text.size() > 60) text = text.substr(0, 57) + "...";
  return text;
}

std::string Child(const std::string& where, const std::string& key) {
  return where.empty() ? key : where + "." + key;
}

std::string Element(const std::string& where, std::size_t index) {
  return where + "[" + std::to_string(index) + "]";
}

void RequireObject(const json& value, const std::string& where, std::initializer_list<const char*> keys) {
  if (!value.is_object()) Fail(where.empty() ? "configuration" : where, "must be an object, not " + Shown(value));
  for (const auto& item : value.items()) {
    bool known = false;
    for (const char* key : keys) known = known || item.key() == key;
    if (!known) {
      std::string list;
      for (const char* key : keys) list += std::string(list.empty() ? "" : ", ") + key;
      Fail(where.empty() ? "configuration" : where, "unknown key \"" + item.key() + "\" (known keys: " + list + ")");
    }
  }
}

double Number(const json& value, const std::string& where, double low, double high) {
  if (!value.is_number()) Fail(where, "must be a number, not " + Shown(value));
  const double v = value.get<double>();
  if (!std::isfinite(v) || v < low || v > high)
    Fail(where, Shown(value) + " is out of range " + NumberText(low) + " to " + NumberText(high));
  return v;
}

// An integer, also written as a hexadecimal text ("0x6000") where `hexText` allows it.
uint64_t Integer(const json& value, const std::string& where, uint64_t low, uint64_t high, bool hexText = false) {
  uint64_t v = 0;
  if (hexText && value.is_string()) {
    const std::string text = value.get<std::string>();
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* begin = text.data() + (hex ? 2 : 0);
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(begin, end, v, hex ? 16 : 10);
    if (begin == end || result.ec != std::errc() || result.ptr != end)
      Fail(where, Shown(value) + " is not a number (write 173 or \"0xAD\")");
  } else if (value.is_number_unsigned()) {
    v = value.get<uint64_t>();
  } else if (value.is_number_integer()) {
    if (value.get<int64_t>() < 0) Fail(where, Shown(value) + " is out of range " + std::to_string(low) + " to " + std::to_string(high));
    v = uint64_t(value.get<int64_t>());
  } else if (value.is_number_float()) {
    const double d = value.get<double>();
    if (!(d >= 0 && d <= 1.8e19) || d != std::floor(d)) Fail(where, Shown(value) + " must be a whole number");
    v = uint64_t(d);
  } else {
    Fail(where, "must be a whole number, not " + Shown(value));
  }
  if (v < low || v > high)
    Fail(where, Shown(value) + " is out of range " + std::to_string(low) + " to " + std::to_string(high));
  return v;
}

std::string Text(const json& value, const std::string& where) {
  if (!value.is_string()) Fail(where, "must be a text, not " + Shown(value));
  return value.get<std::string>();
}

bool Boolean(const json& value, const std::string& where) {
  if (!value.is_boolean()) Fail(where, "must be true or false, not " + Shown(value));
  return value.get<bool>();
}

const json& Array(const json& value, const std::string& where, std::size_t size) {
  if (!value.is_array() || (size != 0 && value.size() != size))
    Fail(where, "must be an array of " + std::to_string(size) + " numbers, not " + Shown(value));
  return value;
}

SimLight ParseLight(const json& value, const std::string& where, SimLight light) {
  RequireObject(value, where, {"waveform", "frequency", "modulation", "level", "duty", "noise"});
  if (value.contains("waveform")) {
    const std::string name = Text(value["waveform"], Child(where, "waveform"));
    if (!SimWaveformFromName(name, &light.waveform))
      Fail(Child(where, "waveform"), "\"" + name + "\" is not one of " + NameList(kWaveforms));
  }
  // Ranges are checked by ValidateSimInstrument, which also serves configurations built in code.
  const auto number = [&](const char* key, double* out) {
    if (value.contains(key))
      *out = Number(value[key], Child(where, key), -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
  };
  number("frequency", &light.frequency);
  number("modulation", &light.modulation);
  number("level", &light.level);
  number("duty", &light.duty);
  number("noise", &light.noise);
  return light;
}

SimFault ParseFault(const json& value, const std::string& where) {
  RequireObject(value, where, {"kind", "code", "persistent", "skip", "status"});
  SimFault fault;
  if (!value.contains("kind")) Fail(where, "a fault needs a \"kind\" (one of " + NameList(kFaults) + ")");
  const std::string kind = Text(value["kind"], Child(where, "kind"));
  if (!SimFaultFromName(kind, &fault.kind))
    Fail(Child(where, "kind"), "\"" + kind + "\" is not one of " + NameList(kFaults));
  if (value.contains("code")) fault.code = uint16_t(Integer(value["code"], Child(where, "code"), 0, 0xFFFF, true));
  if (value.contains("persistent")) fault.persistent = Boolean(value["persistent"], Child(where, "persistent"));
  if (value.contains("skip")) fault.skip = uint32_t(Integer(value["skip"], Child(where, "skip"), 0, 0xFFFFFFFFu));
  if (value.contains("status")) {
    if (fault.kind != SimFaultKind::kRefusedStatus) Fail(Child(where, "status"), "applies to refusedStatus faults only");
    fault.status = uint16_t(Integer(value["status"], Child(where, "status"), 0, 0xFFFF, true));
  }
  return fault;
}

SimInstrumentConfig ParseInstrument(const json& value, const std::string& where, const std::string& defaultSerial) {
  RequireObject(value, where,
                {"model", "serial", "identity", "protocolRevision", "firmware", "hardware", "wavelengthRange",
                 "spectrumPoints", "pixelCount", "sensorType", "gains", "matrix", "matrixIndex", "matrixName",
                 "darkVariant", "fourAngleFile", "fileChunk", "light", "lux", "shutter", "rangeGains",
                 "darkOffsets", "seed", "faults"});
  SimInstrumentConfig c;
  c.serial = defaultSerial;
  if (value.contains("model")) {
    const json& model = value["model"];
    const std::string key = Child(where, "model");
    if (model.is_string() && !(model.get<std::string>().rfind("0x", 0) == 0 || model.get<std::string>().rfind("0X", 0) == 0)) {
      const std::string name = model.get<std::string>();
      if (!SimModelCode(name, &c.modelCode)) {
        std::string names;
        for (const ModelEntry& m : ModelTable())
          if (names.find(std::string(m.model) + ",") == std::string::npos) names += std::string(m.model) + ", ";
        Fail(key, "\"" + name + "\" is not a model name (" + names +
                      "or a model code such as 173 or \"0xAD\"; unlisted codes show as " + kUnlistedModel + ")");
      }
    } else {
      c.modelCode = uint16_t(Integer(model, key, 0, 0xFFFF, true));
    }
  }
  if (value.contains("serial")) c.serial = Text(value["serial"], Child(where, "serial"));
  if (value.contains("identity")) c.identity = Text(value["identity"], Child(where, "identity"));
  if (value.contains("protocolRevision"))
    c.protocolRevision = uint16_t(Integer(value["protocolRevision"], Child(where, "protocolRevision"), 0, 0xFFFF, true));
  if (value.contains("firmware")) {
    const std::string key = Child(where, "firmware");
    const json& a = Array(value["firmware"], key, 4);
    for (std::size_t i = 0; i < 4; ++i) c.firmware[i] = uint8_t(Integer(a[i], Element(key, i), 0, 255));
  }
  if (value.contains("hardware")) {
    const std::string key = Child(where, "hardware");
    const json& a = Array(value["hardware"], key, 4);
    c.hwFirst = uint8_t(Integer(a[0], Element(key, 0), 0, 255));
    c.hwSecond = uint8_t(Integer(a[1], Element(key, 1), 0, 255));
    c.hwLetter1 = uint16_t(Integer(a[2], Element(key, 2), 0, 0xFFFF));
    c.hwLetter2 = uint16_t(Integer(a[3], Element(key, 3), 0, 0xFFFF));
  }
  if (value.contains("wavelengthRange")) {
    const std::string key = Child(where, "wavelengthRange");
    const json& a = Array(value["wavelengthRange"], key, 2);
    c.wavelengthStart = int32_t(Integer(a[0], Element(key, 0), 0, 2000));
    c.wavelengthEnd = int32_t(Integer(a[1], Element(key, 1), 0, 2000));
  }
  if (value.contains("spectrumPoints"))
    c.spectrumPoints = int32_t(Integer(value["spectrumPoints"], Child(where, "spectrumPoints"), 0, 65535));
  if (value.contains("pixelCount"))
    c.pixelCount = uint32_t(Integer(value["pixelCount"], Child(where, "pixelCount"), 0, 65535));
  if (value.contains("sensorType"))
    c.sensorType = uint32_t(Integer(value["sensorType"], Child(where, "sensorType"), 0, 0xFFFFFFFFu));
  if (value.contains("gains")) {
    const std::string key = Child(where, "gains");
    const json& a = Array(value["gains"], key, 4);
    for (std::size_t i = 0; i < 4; ++i) c.gains[i] = float(Number(a[i], Element(key, i), -1e6, 1e6));
  }
  if (value.contains("matrix")) {
    const std::string key = Child(where, "matrix");
    const json& a = Array(value["matrix"], key, 9);
    for (std::size_t i = 0; i < 9; ++i) c.matrix[i] = Number(a[i], Element(key, i), -1e6, 1e6);
  }
  if (value.contains("matrixIndex"))
    c.matrixIndex = uint32_t(Integer(value["matrixIndex"], Child(where, "matrixIndex"), 0, 0xFFFFFFFFu));
  if (value.contains("matrixName")) c.matrixName = Text(value["matrixName"], Child(where, "matrixName"));
  if (value.contains("darkVariant"))
    c.darkVariant = int64_t(Integer(value["darkVariant"], Child(where, "darkVariant"), 0, 0xFFFFFFFFu));
  if (value.contains("fourAngleFile")) {
    const json& file = value["fourAngleFile"];
    if (file.is_null())
      c.fourAngleFileAbsent = true;
    else if (file.is_string())
      c.fourAngleFile = file.get<std::string>();
    else
      Fail(Child(where, "fourAngleFile"), "must be a text or null, not " + Shown(file));
  }
  if (value.contains("fileChunk"))
    c.fileChunk = uint32_t(Integer(value["fileChunk"], Child(where, "fileChunk"), 0, 65536));
  if (value.contains("light")) c.light = ParseLight(value["light"], Child(where, "light"), c.light);
  if (value.contains("lux")) c.lux = Number(value["lux"], Child(where, "lux"), -1e300, 1e300);
  if (value.contains("shutter")) {
    const std::string name = Text(value["shutter"], Child(where, "shutter"));
    if (!SimShutterFromName(name, &c.shutter))
      Fail(Child(where, "shutter"), "\"" + name + "\" is not one of " + NameList(kShutters));
  }
  if (value.contains("rangeGains")) {
    const std::string key = Child(where, "rangeGains");
    const json& a = Array(value["rangeGains"], key, 4);
    for (std::size_t i = 0; i < 4; ++i) c.rangeGains[i] = Number(a[i], Element(key, i), -1e300, 1e300);
  }
  if (value.contains("darkOffsets")) {
    const std::string key = Child(where, "darkOffsets");
    const json& a = Array(value["darkOffsets"], key, 4);
    for (std::size_t i = 0; i < 4; ++i) c.darkOffsets[i] = Number(a[i], Element(key, i), -1e300, 1e300);
  }
  if (value.contains("seed")) c.seed = Integer(value["seed"], Child(where, "seed"), 0, std::numeric_limits<uint64_t>::max());
  if (value.contains("faults")) {
    const std::string key = Child(where, "faults");
    const json& faults = value["faults"];
    if (!faults.is_array()) Fail(key, "must be an array of fault objects, not " + Shown(faults));
    for (std::size_t i = 0; i < faults.size(); ++i) c.faults.push_back(ParseFault(faults[i], Element(key, i)));
  }
  std::string error;
  if (!ValidateSimInstrument(c, where, &error)) throw ConfigError{error};
  return c;
}

json ParseJson(std::string_view text) {
  try {
    return json::parse(text.begin(), text.end());
  } catch (const json::parse_error& e) {
    // e.what() reads "[json.exception.parse_error.101] parse error at line 1, column 5: ...".
    std::string what = e.what();
    const std::size_t at = what.find("parse error");
    throw ConfigError{"JSON syntax error: " + (at == std::string::npos ? what : what.substr(at + 12))};
  }
}

bool Range(double value, double low, double high) { return std::isfinite(value) && value >= low && value <= high; }

}  // namespace


std::string SimSerialNumber(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "SIM%05d", n);
  return text;
}

SimConfig DefaultSimConfig() {
  SimConfig config;
  config.timeScale = 1.0;
  config.instruments.emplace_back();
  return config;
}

bool ValidateSimInstrument(const SimInstrumentConfig& c, const std::string& where, std::string* error) {
  const auto fail = [&](const std::string& key, const std::string& what) {
    if (error) *error = Child(where, key) + ": " + what;
    return false;
  };
  const auto range = [&](const std::string& key, double value, double low, double high) {
    if (Range(value, low, high)) return true;
    return fail(key, NumberText(value) + " is out of range " + NumberText(low) + " to " + NumberText(high));
  };
  if (c.serial.empty() || c.serial.size() > 19 || c.serial.find('\0') != std::string::npos)
    return fail("serial", "\"" + c.serial + "\" must be 1 to 19 characters");
  if (c.identity.size() > 255 || c.identity.find('\0') != std::string::npos)
    return fail("identity", "must be at most 255 characters");
  if (c.matrixName.size() > 31 || c.matrixName.find('\0') != std::string::npos)
    return fail("matrixName", "must be at most 31 characters");
  if (c.fourAngleFile && c.fourAngleFile->size() > (1u << 20))
    return fail("fourAngleFile", "must be at most 1 MiB");
  if (c.spectrumPoints < -1 || c.spectrumPoints > 65535)
    return fail("spectrumPoints", std::to_string(c.spectrumPoints) + " is out of range 0 to 65535");
  if (c.wavelengthStart < 0 || c.wavelengthStart > 2000)
    return fail("wavelengthRange[0]", std::to_string(c.wavelengthStart) + " is out of range 0 to 2000");
  if (c.wavelengthEnd < 0 || c.wavelengthEnd > 2000)
    return fail("wavelengthRange[1]", std::to_string(c.wavelengthEnd) + " is out of range 0 to 2000");
  if (c.spectrumPoints < 0 && c.wavelengthEnd < c.wavelengthStart)
    return fail("wavelengthRange", "the end lies below the start; give \"spectrumPoints\" to send such a range");
  if (c.pixelCount > 65535) return fail("pixelCount", std::to_string(c.pixelCount) + " is out of range 0 to 65535");
  if (c.fileChunk > 65536) return fail("fileChunk", std::to_string(c.fileChunk) + " is out of range 0 to 65536");
  const SimLight& l = c.light;
  if (!range("light.frequency", l.frequency, 0, 100000) || !range("light.modulation", l.modulation, 0, 1) ||
      !range("light.level", l.level, 0, 100) || !range("light.duty", l.duty, 0, 1) ||
      !range("light.noise", l.noise, 0, 10) || !range("lux", c.lux, 0, 1e6))
    return false;
  for (std::size_t i = 0; i < 4; ++i) {
    if (!range("gains[" + std::to_string(i) + "]", c.gains[i], -1e6, 1e6)) return false;
    if (!range("rangeGains[" + std::to_string(i) + "]", c.rangeGains[i], 1e-3, 1000)) return false;
    if (!range("darkOffsets[" + std::to_string(i) + "]", c.darkOffsets[i], 0, 5)) return false;
  }
  for (std::size_t i = 0; i < 9; ++i)
    if (!range("matrix[" + std::to_string(i) + "]", c.matrix[i], -1e6, 1e6)) return false;
  return true;
}

namespace {

// Runs a parse, turning its failures into a message; `what` names the whole for errors of
// the JSON library itself.
template <typename Parse>
bool Guarded(const char* what, std::string* error, Parse parse) {
  try {
    parse();
    return true;
  } catch (const ConfigError& e) {
    if (error) *error = e.message;
  } catch (const json::exception& e) {
    if (error) *error = std::string(what) + ": " + e.what();
  }
  return false;
}

}  // namespace

bool ParseSimInstrument(std::string_view text, const std::string& defaultSerial, SimInstrumentConfig* config,
                        std::string* error) {
  return Guarded("instrument", error, [&] { *config = ParseInstrument(ParseJson(text), "instrument", defaultSerial); });
}

bool ParseSimConfig(std::string_view text, SimConfig* config, std::string* error) {
  return Guarded("configuration", error, [&] {
    const json value = ParseJson(text);
    RequireObject(value, "", {"timeScale", "instruments"});
    SimConfig result;
    result.instruments.clear();
    if (value.contains("timeScale")) result.timeScale = Number(value["timeScale"], "timeScale", 0, 1000);
    if (value.contains("instruments")) {
      const json& list = value["instruments"];
      if (!list.is_array()) Fail("instruments", "must be an array of instrument objects, not " + Shown(list));
      if (list.size() > 64) Fail("instruments", "at most 64 instruments, not " + std::to_string(list.size()));
      // Serials that are not given are numbered SIM00001, SIM00002, ... skipping those in use.
      std::set<std::string> given;
      for (const json& item : list)
        if (item.is_object() && item.contains("serial") && item["serial"].is_string())
          given.insert(item["serial"].get<std::string>());
      std::set<std::string> used;
      int next = 1;
      for (std::size_t i = 0; i < list.size(); ++i) {
        std::string serial;
        if (!(list[i].is_object() && list[i].contains("serial"))) {
          do serial = SimSerialNumber(next++);
          while (given.count(serial));
        }
        SimInstrumentConfig c = ParseInstrument(list[i], Element("instruments", i), serial);
        if (!used.insert(c.serial).second)
          Fail(Element("instruments", i) + ".serial", "\"" + c.serial + "\" is used by an earlier instrument");
        result.instruments.push_back(std::move(c));
      }
    }
    *config = std::move(result);
  });
}

bool LoadSimConfigFile(const std::string& path, SimConfig* config, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = path + ": cannot be read (" + std::strerror(errno) + ")";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (file.bad()) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  std::string why;
  if (!ParseSimConfig(text.str(), config, &why)) {
    if (error) *error = path + ": " + why;
    return false;
  }
  return true;
}

SimModel SimModelOf(uint16_t code) {
  const ModelEntry m = LookupModel(code);
  return {code, m.model, m.hasShutter != 0};
}

bool SimModelCode(std::string_view name, uint16_t* code) {
  for (const ModelEntry& m : ModelTable())
    if (name == m.model) {
      *code = m.code;
      return true;
    }
  return false;
}

bool SimIsFourAngle(uint16_t code) { return code == 0xC1 || code == 0xC2 || code == 0xC5; }

const char* SimWaveformName(SimWaveform waveform) {
  for (const auto& w : kWaveforms)
    if (w.value == waveform) return w.name;
  return "?";
}
const char* SimShutterName(SimShutter shutter) {
  for (const auto& s : kShutters)
    if (s.value == shutter) return s.name;
  return "?";
}
const char* SimFaultName(SimFaultKind kind) {
  for (const auto& f : kFaults)
    if (f.value == kind) return f.name;
  return "?";
}
bool SimWaveformFromName(std::string_view name, SimWaveform* waveform) {
  for (const auto& w : kWaveforms)
    if (name == w.name) return *waveform = w.value, true;
  return false;
}
bool SimShutterFromName(std::string_view name, SimShutter* shutter) {
  for (const auto& s : kShutters)
    if (name == s.name) return *shutter = s.value, true;
  return false;
}
bool SimFaultFromName(std::string_view name, SimFaultKind* kind) {
  for (const auto& f : kFaults)
    if (name == f.name) return *kind = f.value, true;
  return false;
}
