// quivra-cli lux run as a process against the simulated instrument.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>

#include "tests/support/cli_process.h"

namespace {

// Runs quivra-cli lux with the arguments, with a simulated instrument configured by `config`.
CliResult RunCli(const std::string& config, const std::string& arguments) {
  const CliTestFolder folder;
  return folder.Run("lux --instrument=sim:" + folder.Write("cfg.json", config) + " " + arguments);
}

std::string Config(double lux, const std::string& extra = "") {
  return R"({"timeScale": 0, "instruments": [{"model": "TR7BQ", "serial": "SIM00001", "lux": )" +
         std::to_string(lux) + extra + "}]}";
}

// Digits after the decimal point of a printed reading ("500.0\n" has 1).
int Decimals(const std::string& text) {
  const std::size_t point = text.find('.');
  if (point == std::string::npos) return 0;
  const std::size_t end = text.find_first_not_of("0123456789", point + 1);
  return int((end == std::string::npos ? text.size() : end) - point - 1);
}

TEST(LuxCommand, PrintsTheReadingInTheDisplayFormat) {
  const struct {
    double lux;
    int decimals;
  } cases[] = {{500, 1}, {5, 3}, {50, 2}, {5000, 0}};
  for (const auto& c : cases) {
    const CliResult run = RunCli(Config(c.lux), "");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NEAR(std::stod(run.out), c.lux, c.lux * 0.005) << run.out;
    EXPECT_EQ(Decimals(run.out), c.decimals) << run.out;
    EXPECT_EQ(run.out.back(), '\n');
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;
  }
}

TEST(LuxCommand, JsonCarriesTheReadingAndItsText) {
  const CliResult run = RunCli(Config(500), "--json");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json out = nlohmann::json::parse(run.out);
  EXPECT_NEAR(out.at("lux").get<double>(), 500.0, 2.5);
  const std::string text = out.at("text").get<std::string>();
  EXPECT_EQ(Decimals(text), 1) << text;
  EXPECT_NEAR(std::stod(text), out.at("lux").get<double>(), 0.05) << text;
  EXPECT_EQ(out.at("Y").get<double>(), out.at("lux").get<double>());
}

TEST(LuxCommand, RefusedMeasurementFailsWithOneLine) {
  const CliResult run = RunCli(
      Config(500, R"(, "faults": [{"kind": "refusedStatus", "code": 4103, "persistent": true}])"), "");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("spectrum measurement failed"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

}  // namespace
