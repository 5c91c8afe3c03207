// Helpers shared by the quivra-cli commands: the --instrument option and the instrument
// session behind it, one capture through the acquisition path, and the output of a record's
// figures as an aligned table or as one JSON object.
#pragma once

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <memory>
#include <string>

#include "analysis/assessment.h"
#include "analysis/record.h"
#include "instrument/device.h"

constexpr std::chrono::milliseconds kInstrumentWait{5000};

// Prints "quivra-cli: <message>" as one line on stderr and returns kExitFailure.
int CliFail(const std::string& message);

// Adds --instrument=usb|sim|sim:FILE.json to a command.
void AddInstrumentOption(CLI::App& command, std::string* option);

// The instrument library opened with the chosen back end and its polling thread running;
// closed again on destruction.
class InstrumentSession {
 public:
  InstrumentSession() = default;
  ~InstrumentSession();
  InstrumentSession(const InstrumentSession&) = delete;
  InstrumentSession& operator=(const InstrumentSession&) = delete;

  // Selects the back end for the option (empty: real instruments when one is attached,
  // else the simulated one) and starts the registry. False with a message.
  bool Open(const std::string& option, std::string* error);
  // Waits until the first scan is done (at most `timeout`).
  void WaitForFirstScan(std::chrono::milliseconds timeout);
  // The first listed instrument, waiting for one at most `timeout`; null when none came.
  SpDevicePtr WaitForInstrument(std::chrono::milliseconds timeout);
  // Open, then WaitForInstrument(kInstrumentWait): the instrument a command works on, or null
  // with the message to fail with.
  SpDevicePtr OpenFirst(const std::string& option, std::string* error);

 private:
  bool open_ = false;
};

// One capture into `record` from the instrument `dev`: gain 1..4, or 0 for auto-range. The
// acquisition unit measures the dark offsets first where it controls a shutter. On success
// *usedGain is the 1-based range the samples were taken with and the record's gainIndex is
// set; the record is detached from the unit again in every case.
bool CaptureRecord(const SpDevicePtr& dev, FlickerRecord* record, int gain, int* usedGain,
                   std::string* error);

// Text of an entry's last protocol failure, e.g. "error 0x5003 on command 0x6000"; empty
// when none was recorded.
std::string ProtocolFailureText(const SpDevice& dev);

// {"sampleCount", "sampleFreq", "gain", "figures": {every figure name: value}, "peaks": [...],
// "assessment": {...}} with values as the parameter box shows them (percent figures x 100);
// pst is the PstLM the assessment judges (none: not assessed).
nlohmann::json RecordJson(const FlickerRecord& record, int gain, const PstLmFigure& pst = PstLmFigure::None());
// One object per criterion under its rule id: {"rule", "quantity", "value", "limit", "state"}
// and, where it applies, "frequency" and "noObservableEffectLimit" (IEEE 1789), "note",
// "reason" (not assessed). A value not measured and a limit that does not exist are null.
nlohmann::json AssessmentJson(const Assessment& assessment);
// The verdicts as lines "rule quantity  state  value  limit".
std::string AssessmentTable(const Assessment& assessment);
// The ten strongest spectral lines, strongest first: frequency, amplitude, percent of DC.
nlohmann::json PeaksJson(const FlickerRecord& record);
// The same content as an aligned table, the verdicts of the assessment last.
std::string RecordTable(const FlickerRecord& record, int gain, const PstLmFigure& pst = PstLmFigure::None());
// JSON number of a float by its shortest exact decimal text (null when not finite).
nlohmann::json JsonNumber(float value);
