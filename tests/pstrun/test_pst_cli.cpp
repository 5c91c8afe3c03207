// quivra-cli pst run as a process against the simulated instrument at time scale 0.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <string>

#include "tests/support/cli_process.h"

namespace {

CliResult RunPst(const std::string& config, const std::string& arguments) {
  const CliTestFolder folder;
  return folder.Run("pst --instrument=sim:" + folder.Write("cfg.json", config) + " " + arguments);
}

std::string Instrument(const std::string& light, const std::string& extra = "") {
  return R"({"timeScale": 0, "instruments": [{"serial": "PST00001", "light": )" + light + extra +
         "}]}";
}

const char* kSteady = R"({"waveform": "dc", "level": 0.8, "noise": 0})";

TEST(PstCommand, SteadyLightAsJsonAndSaved) {
  const CliTestFolder out("-out");
  const std::string saved = out.File("pst_saved.xls");
  const CliResult run = RunPst(Instrument(kSteady), "--json --save " + saved);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const auto j = nlohmann::json::parse(run.out);
  EXPECT_EQ(j["sampleCount"], 737280);
  EXPECT_EQ(j["sampleFreq"], 4096);
  ASSERT_TRUE(j.contains("PstLM")) << run.out;
  ASSERT_TRUE(j.contains("PinstMax"));
  EXPECT_LT(j["PstLM"].get<double>(), 0.01);
  EXPECT_GE(j["PstLM"].get<double>(), 0.0);
  EXPECT_LT(j["PinstMax"].get<double>(), 0.01);
  EXPECT_TRUE(j["figures"].contains("Frequnecy"));
  EXPECT_EQ(j["assessment"]["ecodesignPstLM"]["state"], "pass");
  EXPECT_NEAR(j["assessment"]["ecodesignPstLM"]["value"].get<double>(), j["PstLM"].get<double>(), 1e-9);
  EXPECT_NE(run.err.find("PstLM: done"), std::string::npos) << run.err;

  std::ifstream file(saved, std::ios::binary);
  ASSERT_TRUE(file) << saved;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Sample Number\t737280\r\n"), std::string::npos);
  EXPECT_NE(text.find("Serial Number\tPST00001\r\n"), std::string::npos);
}

TEST(PstCommand, TableEndsWithPstLmAndPinstMax) {
  const CliResult run = RunPst(Instrument(kSteady), "");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::size_t pst = run.out.find("\nPstLM     0.00");
  ASSERT_NE(pst, std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nPinstMax  0.0", pst), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("sampleCount"), std::string::npos);
}

// Failures end with exit 1 and one line on stderr saying what failed.
TEST(PstCommand, FailuresAreReported) {
  const struct {
    std::string config;
    std::string arguments;
    std::string message;
  } cases[] = {
      // StartFlickerCapture (wire code 0x6000) refused every time.
      {Instrument(kSteady, R"(, "faults": [{"kind": "refusedStatus", "code": 24576,
                                "persistent": true}])"),
       "", "quivra-cli: capture failed"},
      // No light at all: the flickermeter has no mean to normalise to.
      {Instrument(R"({"waveform": "dc", "level": 0, "noise": 0})"), "",
       "quivra-cli: PstLM could not be computed"},
      {Instrument(kSteady), "--save /nonexistent-folder/x.xls", "quivra-cli: cannot write"},
  };
  for (const auto& c : cases) {
    const CliResult run = RunPst(c.config, c.arguments);
    EXPECT_EQ(run.exitCode, 1) << c.message << "\n" << run.out;
    const std::size_t at = run.err.find(c.message);
    EXPECT_NE(at, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n', at), run.err.size() - 1) << run.err;  // the last line
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  const CliResult usage = RunPst(Instrument(kSteady), "--no-such-option");
  EXPECT_EQ(usage.exitCode, 2);
}

}  // namespace
