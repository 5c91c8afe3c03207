// quivra-cli lux: one light-level reading of the first attached instrument, printed as the
// light-level display shows it (3.142, 31.42, 314.2, 3142).
#if QUIVRA_HAVE_LIGHTLEVEL
#include <iostream>
#include <memory>

#include "cli/command.h"
#include "cli/common.h"
#include "instrument/registry.h"
#include "lightlevel/lux_text.h"
#include "lightlevel/spectrum_record.h"

namespace {

struct Options {
  std::string instrument;
  bool json = false;
};

// The light-level reading's measurement arguments: mode 1, integration time 100, third start
// argument 0.
constexpr int kMode = 1;
constexpr int kIntegrationTime = 100;
constexpr int kThirdStartArgument = 0;

int Run(const Options& options) {
  InstrumentSession session;
  std::string error;
  if (!session.Open(options.instrument, &error)) return CliFail(error);
  const SpDevicePtr dev = session.WaitForInstrument(kInstrumentWait);
  if (!dev) return CliFail("no instrument found");
  SpectrumRecordPtr record = SpMakeSpectrum();
  if (!record) return CliFail("out of memory for the spectrum");
  if (!SpMeasureSpectrum(dev.get(), record.get(), kMode, kIntegrationTime, kThirdStartArgument)) {
    const std::string why = ProtocolFailureText(*dev);
    return CliFail(why.empty() ? "spectrum measurement failed" : "spectrum measurement failed: " + why);
  }
  SpEvaluateSpectrum(record.get());
  if (options.json) {
    const nlohmann::json out = {{"lux", JsonNumber(record->lux)},
                                {"text", FormatLux(record->lux)},
                                {"X", JsonNumber(record->X)},
                                {"Y", JsonNumber(record->Y)},
                                {"Z", JsonNumber(record->Z)}};
    std::cout << out.dump() << "\n";
  } else {
    std::cout << FormatLux(record->lux) << "\n";
  }
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  AddInstrumentOption(command, &options->instrument);
  command.add_flag("--json", options->json, "Print one JSON object: lux, its text, X, Y, Z");
  return [options] { return Run(*options); };
}

const CliRegistrar registrar("lux", "One light-level reading (illuminance in lx) from one spectrum", Setup);

}  // namespace
#endif
