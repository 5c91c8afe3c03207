// quivra-cli measure: one flicker capture from the first attached instrument, analysed and
// printed as a table or as one JSON object.
#include <iostream>
#include <memory>

#include "cli/command.h"
#include "cli/common.h"
#include "files/load_save.h"
#include "instrument/device.h"

namespace {

struct Options {
  std::string instrument;
  uint32_t freq = 32768;  // Hz
  uint32_t count = 16384;
  std::string gain = "auto";  // auto or 1..4
  bool fir = false;
  bool json = false;
  std::string save;  // measurement file to write; empty = none
};

constexpr uint32_t kFirTaps = 100;
constexpr uint32_t kFirCutoffHz = 1000;

// Everything a step after the analysis needs.
struct Measurement {
  SpDevicePtr device;
  FlickerRecordPtr record;
  int gain = 0;  // 1-based range of the samples
};

int Run(const Options& options) {
  // 1. The instrument.
  InstrumentSession session;
  std::string error;
  Measurement m;
  m.device = session.OpenFirst(options.instrument, &error);
  if (!m.device) return CliFail(error);

  // 2. A record as the workbench makes one from its options.
  m.record = MakeFlickerRecord(options.count, options.freq, kFirTaps, kFirCutoffHz, 1);
  if (!m.record) return CliFail("cannot create a record of " + std::to_string(options.count) + " samples");

  // 3. Capture (dark offsets and auto-range inside the acquisition unit), then analyse.
  const int gain = options.gain == "auto" ? 0 : std::stoi(options.gain);
  if (!CaptureRecord(m.device, m.record.get(), gain, &m.gain, &error)) return CliFail(error);
  FlickerRun(m.record.get(), 0, options.fir ? 1 : 0);

  // 4. The measurement file, written as the workbench's Save writes it (no extension added).
  if (!options.save.empty() && !SaveRecordToFile(*m.record, m.device.get(), options.save))
    return CliFail("cannot write " + options.save);

  // 5. Output.
  if (options.json)
    std::cout << RecordJson(*m.record, m.gain).dump(2) << "\n";
  else
    std::cout << RecordTable(*m.record, m.gain);
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  AddInstrumentOption(command, &options->instrument);
  command.add_option("--freq", options->freq, "Sampling frequency in Hz (1024 to 102400)")
      ->check(CLI::Range(1024u, 102400u))
      ->capture_default_str();
  command.add_option("--count", options->count, "Number of samples (1024 to 65536)")
      ->check(CLI::Range(1024u, 65536u))
      ->capture_default_str();
  command.add_option("--gain", options->gain, "Gain range: auto or 1 to 4")
      ->check(CLI::IsMember({"auto", "1", "2", "3", "4"}))
      ->capture_default_str();
  command.add_flag("--fir", options->fir, "Low-pass FIR filter (100 taps, 1000 Hz) before the analysis");
  command.add_option("--save", options->save, "Write the measurement file to FILE");
  command.add_flag("--json", options->json, "Print one JSON object");
  return [options] { return Run(*options); };
}

const CliRegistrar registrar("measure", "Capture and analyse one flicker measurement", Setup);

}  // namespace
