// Helpers shared by the measurement-file tests: whole-file reads and writes, and a test
// fixture with a private folder that is removed after each test and the identity of the
// instrument that "made" the measurements (a TR7BQ, serial SIM00001).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstdio>
#include <string>

#include "instrument/device.h"

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteAll(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("quivra-files-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    std::snprintf(device.model, sizeof device.model, "TR7BQ");
    std::snprintf(device.serial, sizeof device.serial, "SIM00001");
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  std::filesystem::path dir;
  SpDevice device;
};
