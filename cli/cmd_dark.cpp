// quivra-cli dark: dark calibration of the first attached instrument: its own dark
// reference, then the flicker sensor's dark offset of every gain range (with the shutter
// closed on instruments that have one; others must be covered).
#include <iostream>
#include <memory>

#include "analysis/numfmt.h"
#include "cli/command.h"
#include "cli/common.h"
#include "instrument/capture.h"
#include "instrument/registry.h"

namespace {

struct Options {
  std::string instrument;
};

int Run(const Options& options) {
  InstrumentSession session;
  std::string error;
  const SpDevicePtr dev = session.OpenFirst(options.instrument, &error);
  if (!dev) return CliFail(error);
  const int channel = SpChannelOf(dev->name);
  if (channel < 0) return CliFail("no channel free for the instrument");
  dev->flickerAcq.offsetsValid = 0;
  if (!SpDarkCalibrate(channel)) {
    const std::string why = ProtocolFailureText(*dev);
    return CliFail(why.empty() ? "dark calibration failed" : "dark calibration failed: " + why);
  }
  if (!SpMeasureFlickerOffsets(channel, true)) return CliFail("dark offsets failed: the instrument was disconnected");
  std::cout << "Dark calibration finished!\n";
  const FlickerAcq& unit = dev->flickerAcq;
  for (uint32_t r = 0; r < unit.rangeCount && r < 64; ++r)
    std::cout << "gain " << r + 1 << "  " << FormatPattern(unit.offset[r], "0.000000") << " V\n";
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  AddInstrumentOption(command, &options->instrument);
  return [options] { return Run(*options); };
}

const CliRegistrar registrar("dark", "Dark calibration: the instrument's dark reference and the sensor's dark offsets",
                             Setup);

}  // namespace
