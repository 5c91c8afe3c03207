// quivra-cli pst: the PstLM measurement of the first attached instrument: a 180 s capture at
// 4096 Hz (737280 samples) with auto-range, the ordinary analysis of it and the flickermeter,
// with progress on stderr; then the figures with PstLM and PinstMax.
#include <iostream>
#include <memory>
#include <string>

#include "analysis/numfmt.h"
#include "cli/command.h"
#include "cli/common.h"
#include "instrument/pstlm_run.h"
#include "instrument/registry.h"
#if QUIVRA_HAVE_FILES
#include "files/load_save.h"
#endif

namespace {

struct Options {
  std::string instrument;
  std::string save;
  bool json = false;
};

constexpr uint32_t kPstSampleCount = 737280;
constexpr uint32_t kPstSampleFreq = 4096;
constexpr uint32_t kFirTaps = 100;
constexpr uint32_t kFirCutoffHz = 1000;

const char* PhaseText(PstLmPhase phase) {
  switch (phase) {
    case PstLmPhase::Capturing: return "capturing";
    case PstLmPhase::Analysing: return "analysing";
    case PstLmPhase::Computing: return "computing PstLM";
    case PstLmPhase::Reporting:
    case PstLmPhase::Idle: break;
  }
  return "finishing";
}

int Run(const Options& options) {
#if !QUIVRA_HAVE_FILES
  if (!options.save.empty()) return CliFail("--save needs the measurement files, not in this build");
#endif
  InstrumentSession session;
  std::string error;
  if (!session.Open(options.instrument, &error)) return CliFail(error);
  const SpDevicePtr dev = session.WaitForInstrument(kInstrumentWait);
  if (!dev) return CliFail("no instrument found");
  const int channel = SpChannelOf(dev->name);
  if (channel < 0) return CliFail("no channel free for the instrument");

  FlickerRecordPtr record =
      MakeFlickerRecord(kPstSampleCount, kPstSampleFreq, kFirTaps, kFirCutoffHz, 1);
  if (!record) return CliFail("cannot create a record of 737280 samples");

  PstLmOutcome outcome;
  {
    PstLmRun run([&outcome](const PstLmOutcome& o) { outcome = o; });
    PstLmRequest request;
    request.channel = channel;
    request.autoGain = 1;
    request.record = record.get();
    if (!run.Request(request)) return CliFail("the PstLM run could not be started");
    const double seconds = double(kPstSampleCount) / kPstSampleFreq;
    PstLmPhase shown = PstLmPhase::Idle;
    while (!run.WaitIdle(std::chrono::seconds(1))) {
      const PstLmPhase phase = run.Phase();
      const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(run.Elapsed());
      if (phase == PstLmPhase::Capturing) {
        std::cerr << "PstLM: capturing, " << elapsed.count() << " s of " << seconds << " s\n";
      } else if (phase != shown) {
        std::cerr << "PstLM: " << PhaseText(phase) << "\n";
      }
      shown = phase;
    }
    std::cerr << "PstLM: done\n";
  }
  // The record is about to go: the acquisition unit must not keep pointing at it.
  FlickerAcqDetach(&dev->flickerAcq, record.get());

  if (!outcome.captured) {
    if (!SpIsListed(dev.get())) return CliFail("capture failed: the instrument was disconnected");
    const std::string why = ProtocolFailureText(*dev);
    return CliFail(why.empty() ? "capture failed" : "capture failed: " + why);
  }
  if (!outcome.computed) return CliFail("PstLM could not be computed from the capture");

#if QUIVRA_HAVE_FILES
  if (!options.save.empty() && !SaveRecordToFile(*record, dev.get(), options.save)) {
    return CliFail("cannot write " + options.save);
  }
#endif

  const int gain = record->gainIndex + 1;
  if (options.json) {
    nlohmann::json out = RecordJson(*record, gain, PstLmFigure::Of(outcome.result.pst));
    out["PstLM"] = outcome.result.pst;
    out["PinstMax"] = outcome.result.pinstMax;
    std::cout << out.dump(2) << "\n";
  } else {
    std::cout << RecordTable(*record, gain, PstLmFigure::Of(outcome.result.pst)) << "\n"
              << "PstLM     " << outcome.pstText << "\n"
              << "PinstMax  " << FormatPattern(outcome.result.pinstMax, "0.0000") << "\n";
  }
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  AddInstrumentOption(command, &options->instrument);
  command.add_option("--save", options->save,
                     "Also save the 180 s measurement as a measurement file at exactly this path");
  command.add_flag("--json", options->json, "Print one JSON object, with PstLM and PinstMax");
  return [options] { return Run(*options); };
}

const CliRegistrar registrar(
    "pst", "PstLM flicker severity: a 180 s capture at 4096 Hz, its analysis and the flickermeter",
    Setup);

}  // namespace
