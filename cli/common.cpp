#include "cli/common.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "analysis/acquisition.h"
#include "analysis/figures.h"
#include "analysis/numfmt.h"
#include "cli/command.h"
#include "instrument/capture.h"
#include "instrument/registry.h"
#include "instrument/usb_driver.h"
#include "instrument/sim/backend.h"

namespace {

constexpr std::chrono::milliseconds kPoll{20};

std::shared_ptr<UsbDriver> ChooseBackend(const std::string& option, std::string* error) {
  return SelectUsbBackend(option, error);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", value);
  return text;
}

}  // namespace

int CliFail(const std::string& message) {
  std::cerr << "quivra-cli: " << message << "\n";
  return kExitFailure;
}

void AddInstrumentOption(CLI::App& command, std::string* option) {
  command.add_option("--instrument", *option,
                     "usb (real instruments), sim (the built-in simulated instrument) or sim:FILE.json; "
                     "default: a real instrument when one is attached, else the simulated one");
}

InstrumentSession::~InstrumentSession() {
  if (open_) {
    SpShutdown();
    UsbSetDriver(nullptr);
  }
}

bool InstrumentSession::Open(const std::string& option, std::string* error) {
  std::shared_ptr<UsbDriver> driver = ChooseBackend(option, error);
  if (!driver) return false;
  UsbSetDriver(std::move(driver));
  SpInit(1, kMinPollingPeriodMs);
  open_ = true;
  return true;
}

void InstrumentSession::WaitForFirstScan(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (SpScanCount() == 0 && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kPoll);
}

SpDevicePtr InstrumentSession::WaitForInstrument(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (SpDevicePtr dev = SpFirstDevice()) return dev;
    if (std::chrono::steady_clock::now() >= deadline) return nullptr;
    std::this_thread::sleep_for(kPoll);
  }
}

SpDevicePtr InstrumentSession::OpenFirst(const std::string& option, std::string* error) {
  if (!Open(option, error)) return nullptr;
  SpDevicePtr dev = WaitForInstrument(kInstrumentWait);
  if (!dev) *error = "no instrument found";
  return dev;
}

std::string ProtocolFailureText(const SpDevice& dev) {
  if (dev.failedCommand == 0 && dev.lastError == 0) return {};
  if (dev.lastError == 0) return "no reply to command " + Hex(dev.failedCommand);
  return "error " + Hex(dev.lastError) + " on command " + Hex(dev.failedCommand);
}

bool CaptureRecord(const SpDevicePtr& dev, FlickerRecord* record, int gain, int* usedGain,
                   std::string* error) {
  const int channel = SpChannelOf(dev->name);
  if (channel < 0) {
    *error = "no channel free for the instrument";
    return false;
  }
  FlickerAcq* unit = &dev->flickerAcq;
  if (gain > 0) unit->range = gain - 1;
  const bool ok = SpCaptureFlicker(channel, gain == 0 ? 1 : 0, uint16_t(gain > 0 ? gain - 1 : 0), record);
  FlickerAcqDetach(unit, record);
  if (!ok) {
    if (!SpIsListed(dev.get()))
      *error = "capture failed: the instrument was disconnected";
    else if (const std::string why = ProtocolFailureText(*dev); !why.empty())
      *error = "capture failed: " + why;
    else
      *error = "capture failed";
    return false;
  }
  const int range = gain > 0 ? gain - 1 : unit->range;
  record->gainIndex = range;
  if (usedGain) *usedGain = range + 1;
  return true;
}

nlohmann::json JsonNumber(float value) {
  if (!std::isfinite(value)) return nullptr;
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  *result.ptr = 0;
  return std::strtod(text, nullptr);
}

namespace {

struct Peak {
  float frequency, amplitude, percent;
};

// The ten strongest lines, strongest first; percent of the DC line, 0 when that is 0.
std::vector<Peak> StrongestLines(const FlickerRecord& record) {
  std::vector<Peak> peaks;
  if (!record.spectrum) return peaks;
  const SpectrumEngine& s = *record.spectrum;
  int32_t bins[10];
  FlickerPeaks(&record, 10, bins);
  const float dc = s.amplitude.empty() ? 0.0f : s.amplitude[0];
  for (int i = 9; i >= 0; --i) {
    const int32_t b = bins[i];
    if (b < 0 || std::size_t(b) >= s.amplitude.size() || std::size_t(b) >= s.frequency.size()) continue;
    const float amplitude = s.amplitude[std::size_t(b)];
    peaks.push_back({s.frequency[std::size_t(b)], amplitude, dc == 0 ? 0.0f : amplitude / dc * 100.0f});
  }
  return peaks;
}

std::string Padded(const std::string& text, std::size_t width) {
  return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

}  // namespace

nlohmann::json PeaksJson(const FlickerRecord& record) {
  nlohmann::json peaks = nlohmann::json::array();
  for (const Peak& p : StrongestLines(record))
    peaks.push_back({{"frequency", JsonNumber(p.frequency)},
                     {"amplitude", JsonNumber(p.amplitude)},
                     {"percent", JsonNumber(p.percent)}});
  return peaks;
}

namespace {

Assessment AssessOnce(const FlickerRecord& record, const PstLmFigure& pst) {
  SpectrumWorkspace workspace;  // one command, one assessment: made for it and freed after
  return AssessRecord(&record, pst, workspace);
}

// A figure or limit of the assessment to ten significant digits (null when not finite), so a
// limit such as 0.0333 x 100 Hz reads 3.33 and not the binary neighbour of it.
nlohmann::json JsonDouble(double value) {
  if (!std::isfinite(value)) return nullptr;
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return std::strtod(text, nullptr);
}

}  // namespace

nlohmann::json AssessmentJson(const Assessment& assessment) {
  nlohmann::json out = nlohmann::json::object();
  for (const Verdict& v : assessment.verdicts) {
    const RuleInfo& info = RuleOf(v.rule);
    nlohmann::json item = {{"rule", std::string(info.name)},
                           {"quantity", std::string(info.quantity)},
                           {"value", JsonDouble(v.value)},
                           {"limit", JsonDouble(v.limit)},
                           {"state", std::string(VerdictStateText(v.state))}};
    if (v.rule == AssessmentRule::kIeee1789) {
      item["frequency"] = JsonDouble(v.frequency);
      item["noObservableEffectLimit"] = JsonDouble(v.noEffectLimit);
    }
    if (!info.note.empty()) item["note"] = std::string(info.note);
    if (v.state == VerdictState::kNotAssessed) item["reason"] = v.reason;
    out[std::string(info.id)] = std::move(item);
  }
  return out;
}

std::string AssessmentTable(const Assessment& assessment) {
  std::vector<std::array<std::string, 4>> rows;
  for (const Verdict& v : assessment.verdicts) {
    const RuleInfo& info = RuleOf(v.rule);
    rows.push_back({std::string(info.name) + " " + std::string(info.quantity), VerdictStateLine(v),
                    VerdictValueText(v), VerdictLimitText(v)});
  }
  std::size_t width[3] = {0, 0, 0};
  for (const auto& row : rows)
    for (std::size_t c = 0; c < 3; ++c) width[c] = std::max(width[c], row[c].size());
  std::ostringstream out;
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < 3; ++c) out << Padded(row[c], width[c] + 2);
    out << "limit " << row[3] << "\n";
  }
  return out.str();
}

nlohmann::json RecordJson(const FlickerRecord& record, int gain, const PstLmFigure& pst) {
  nlohmann::json figures = nlohmann::json::object();
  for (const FigureInfo& figure : FigureTable())
    figures[std::string(figure.name)] = JsonNumber(FigureValueOf(record, figure));
  return {{"sampleCount", record.sampleCount},
          {"sampleFreq", record.sampleFreq},
          {"gain", gain},
          {"figures", figures},
          {"peaks", PeaksJson(record)},
          {"assessment", AssessmentJson(AssessOnce(record, pst))}};
}

std::string RecordTable(const FlickerRecord& record, int gain, const PstLmFigure& pst) {
  std::vector<std::pair<std::string, std::string>> rows = {
      {"sampleCount", std::to_string(record.sampleCount)},
      {"sampleFreq", std::to_string(record.sampleFreq)},
      {"gain", std::to_string(gain)},
  };
  for (const FigureInfo& figure : FigureTable())
    rows.emplace_back(std::string(figure.name), FigureText(&record, figure.name));
  std::size_t width = 0;
  for (const auto& row : rows) width = std::max(width, row.first.size());
  std::ostringstream out;
  for (const auto& [name, value] : rows) out << name << std::string(width + 2 - name.size(), ' ') << value << "\n";

  out << "\n" << Padded("frequency", 12) << Padded("amplitude", 12) << "amplitude(%)\n";
  for (const Peak& p : StrongestLines(record))
    out << Padded(ShortestFloatText(p.frequency), 12) << Padded(FormatByMagnitude(p.amplitude), 12)
        << FormatByMagnitude(p.percent) << "\n";
  out << "\n" << AssessmentTable(AssessOnce(record, pst));
  return out.str();
}
