// quivra-cli: the plain layers driven headless, one subcommand per cmd_<name>.cpp.
#include <algorithm>
#include <cstring>
#include <exception>
#include <iostream>
#include <map>
#include <string>

#include "cli/command.h"
#include "cli/common.h"

std::vector<CliCommand>& CliCommands() {
  static std::vector<CliCommand> commands;
  return commands;
}

int main(int argc, char** argv) {
  CLI::App app("Quivra light-flicker analyser, headless", "quivra-cli");
  app.require_subcommand(1);
  std::vector<CliCommand> commands = CliCommands();
  std::sort(commands.begin(), commands.end(),
            [](const CliCommand& a, const CliCommand& b) { return std::strcmp(a.name, b.name) < 0; });
  std::map<CLI::App*, CliRun> runners;
  for (const CliCommand& command : commands) {
    CLI::App* sub = app.add_subcommand(command.name, command.description);
    runners[sub] = command.setup(*sub);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();  // the selected subcommand's help when there is one
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return kExitOk;
    std::cerr << "quivra-cli: " << e.what() << "\n";
    return kExitUsage;
  }
  for (CLI::App* sub : app.get_subcommands()) {
    auto it = runners.find(sub);
    if (it == runners.end() || !it->second) continue;
    try {
      return it->second();
    } catch (const std::exception& e) {
      return CliFail(e.what());
    }
  }
  return CliFail("no command given");
}
