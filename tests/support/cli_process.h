// Running quivra-cli as a process from a test: its exit code and both output streams.
// QUIVRA_CLI (a compile definition of the test) is the path of the executable.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

struct CliResult {
  int exitCode = -1;  // -1 when the process did not exit normally
  std::string out;
  std::string err;
};

// A folder private to the running test (process id and test name, since ctest runs tests of
// one executable side by side; tag tells two folders of one test apart), removed with the
// object.
class CliTestFolder {
 public:
  explicit CliTestFolder(const std::string& tag = "") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char& c : name)
      if (c == '/') c = '_';
    path_ = std::filesystem::temp_directory_path() /
            ("quivra-test-" + std::to_string(::getpid()) + "-" + name + tag);
    std::filesystem::create_directories(path_);
  }
  ~CliTestFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  CliTestFolder(const CliTestFolder&) = delete;
  CliTestFolder& operator=(const CliTestFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

  // Writes text to a file of the folder and returns its path.
  std::string Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
    return File(name);
  }

  // Runs quivra-cli with the arguments (a shell word list), output captured in the folder.
  CliResult Run(const std::string& arguments) const {
    const std::string out = File("cli.out"), err = File("cli.err");
    const std::string command = std::string(QUIVRA_CLI) + " " + arguments + " >" + out + " 2>" + err;
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

 private:
  std::filesystem::path path_;
};
