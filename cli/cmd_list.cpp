// quivra-cli list: the attached instruments as the device tree shows them, one top line per
// instrument (its serial) and its information lines indented below.
#include <iostream>
#include <memory>

#include "cli/command.h"
#include "cli/common.h"
#include "instrument/device_info.h"
#include "instrument/registry.h"

namespace {

struct Options {
  std::string instrument;
};

int Run(const Options& options) {
  InstrumentSession session;
  std::string error;
  if (!session.Open(options.instrument, &error)) return CliFail(error);
  session.WaitForFirstScan(kInstrumentWait);
  const DeviceTree tree = BuildPlainTree(SpDevices(), 0);
  for (const DeviceTreeNode& node : tree.nodes) {
    std::cout << node.text << "\n";
    for (const std::string& line : node.lines) std::cout << "  " << line << "\n";
  }
  if (tree.nodes.empty()) std::cerr << "quivra-cli: no instrument attached\n";
  return kExitOk;
}

CliRun Setup(CLI::App& command) {
  auto options = std::make_shared<Options>();
  AddInstrumentOption(command, &options->instrument);
  return [options] { return Run(*options); };
}

const CliRegistrar registrar("list", "List the attached instruments with their information lines", Setup);

}  // namespace
