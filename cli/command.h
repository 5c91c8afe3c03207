// quivra-cli commands. Each command lives in its own cmd_<name>.cpp and registers itself with
// a static CliRegistrar: its setup function adds the command's options to the CLI11
// subcommand it is given and returns the function that runs the command once the command line
// is parsed. Adding a command is adding one file.
//
//   namespace {
//   CliRun Setup(CLI::App& command) {
//     auto options = std::make_shared<Options>();
//     command.add_option("FILE", options->file, "...")->required();
//     return [options] { return Run(*options); };
//   }
//   const CliRegistrar registrar("name", "one line of help", Setup);
//   }
#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <vector>

// Exit codes of every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;  // with one line on stderr saying what failed
constexpr int kExitUsage = 2;

// A parsed command's work; returns the exit code.
using CliRun = std::function<int()>;
using CliSetup = CliRun (*)(CLI::App& command);

struct CliCommand {
  const char* name;
  const char* description;
  CliSetup setup;
};

// Every registered command (registration order is not defined; main sorts by name).
std::vector<CliCommand>& CliCommands();

struct CliRegistrar {
  CliRegistrar(const char* name, const char* description, CliSetup setup) {
    CliCommands().push_back({name, description, setup});
  }
};
