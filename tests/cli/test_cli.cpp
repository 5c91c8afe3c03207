// quivra-cli run as a process against the simulated instrument: list, measure and dark,
// their exit codes and their one-line failures.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <string>

#include "tests/support/cli_process.h"

namespace {

class Cli : public ::testing::Test {
 protected:
  // Writes a simulator configuration with one instrument object (or none) at time scale 0.
  std::string Config(const std::string& instrument) {
    return folder.Write("cfg" + std::to_string(++configs) + ".json",
                        R"({"timeScale": 0, "instruments": [)" + instrument + "]}");
  }
  CliResult Run(const std::string& args) { return folder.Run(args); }
  CliTestFolder folder;
  int configs = 0;
};

constexpr const char* kLed =
    R"({"model": "TR7BQ", "serial": "SIM00001", "protocolRevision": 263, "firmware": [1, 2, 3, 0],
        "light": {"waveform": "sine", "frequency": 100, "modulation": 0.3, "level": 0.5, "duty": 0.5, "noise": 0},
        "lux": 500})";

TEST_F(Cli, MeasureReportsTheLightsFlicker) {
  const CliResult r = Run("measure --instrument=sim:" + Config(kLed) + " --json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["sampleCount"], 16384);
  EXPECT_EQ(j["sampleFreq"], 32768);
  EXPECT_GE(j["gain"].get<int>(), 1);
  EXPECT_NEAR(j["figures"]["Frequnecy"].get<double>(), 100, 0.5);
  EXPECT_NEAR(j["figures"]["Percentage(IES)"].get<double>(), 30, 0.5);
  EXPECT_EQ(j["figures"].size(), 19u);
  ASSERT_EQ(j["peaks"].size(), 10u);
  const auto& fundamental = j["peaks"][1];  // the DC line is the strongest
  EXPECT_NEAR(fundamental["frequency"].get<double>(), 100, 0.5);
  EXPECT_NEAR(fundamental["percent"].get<double>(), 30, 0.5);
  EXPECT_TRUE(r.err.empty()) << r.err;
}

// A 100 Hz sine of 20 % modulation: above the IEEE low-risk line (8 % at 100 Hz), an SVM of
// about 0.2 / 0.256 = 0.78 (fail), 20 % below 200 Hz (JA8 pass); PstLM needs a PstLM run.
TEST_F(Cli, MeasureAssessesTheLightInJsonAndTable) {
  const std::string config = Config(
      R"({"model": "TR7BQ", "light": {"waveform": "sine", "frequency": 100, "modulation": 0.2, "level": 0.5, "noise": 0},
          "darkOffsets": [0, 0, 0, 0]})");
  const CliResult r = Run("measure --instrument=sim:" + config + " --json");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const nlohmann::json a = nlohmann::json::parse(r.out)["assessment"];
  EXPECT_EQ(a["ieee1789"]["rule"], "IEEE 1789-2015");
  EXPECT_EQ(a["ieee1789"]["state"], "above low risk");
  EXPECT_NEAR(a["ieee1789"]["value"].get<double>(), 20, 0.5);
  EXPECT_EQ(a["ieee1789"]["frequency"], 100);
  EXPECT_EQ(a["ieee1789"]["limit"], 8);
  EXPECT_EQ(a["ieee1789"]["noObservableEffectLimit"], 3.33);
  EXPECT_EQ(a["ecodesignSvm"]["state"], "fail");
  EXPECT_NEAR(a["ecodesignSvm"]["value"].get<double>(), 0.78, 0.03);
  EXPECT_EQ(a["ecodesignSvm"]["limit"], 0.4);
  EXPECT_EQ(a["ecodesignPstLM"]["state"], "not assessed");
  EXPECT_EQ(a["ecodesignPstLM"]["reason"], "no PstLM run");
  EXPECT_TRUE(a["ecodesignPstLM"]["value"].is_null());
  EXPECT_EQ(a["ja8"]["state"], "pass");
  EXPECT_NEAR(a["ja8"]["value"].get<double>(), 20, 0.5);

  const CliResult table = Run("measure --instrument=sim:" + config);
  ASSERT_EQ(table.exitCode, 0) << table.err;
  for (const char* line : {"\nIEEE 1789-2015 Mod%             above low risk ",
                           "\nEU Ecodesign 2019/2020 PstLM    not assessed (no PstLM run)  -  ",
                           "\nEU Ecodesign 2019/2020 SVM      fail  ",
                           "\nCalifornia JA8 reduced flicker  pass  "})
    EXPECT_NE(table.out.find(line), std::string::npos) << line << "\n" << table.out;
}

TEST_F(Cli, MeasureWithFixedGainAsATable) {
  const CliResult r = Run("measure --instrument=sim:" + Config(kLed) + " --gain 1 --freq 8192 --count 4096 --fir");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("sampleFreq       8192\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("gain             1\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Frequnecy        100\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Percentage(IES)  "), std::string::npos);
  EXPECT_NE(r.out.find("frequency   amplitude   amplitude(%)\n"), std::string::npos);
}

// --save writes the measurement file of the capture, under exactly the name given.
TEST_F(Cli, MeasureSavesTheMeasurementFile) {
  const std::string saved = folder.File("m.xls");
  const CliResult r = Run("measure --instrument=sim:" + Config(kLed) + " --count 4096 --save " + saved);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::string text = CliTestFolder::Slurp(saved);
  EXPECT_EQ(text.rfind("Model Name\tTR7BQ\r\nSerial Number\tSIM00001\r\n", 0), 0u) << text.substr(0, 80);
  EXPECT_NE(text.find("\r\nSample Number\t4096\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nTime(sec)\tVoltage\r\n"), std::string::npos);

  const CliResult bad = Run("measure --instrument=sim:" + Config(kLed) + " --save " + folder.File("no/such/dir/m.xls"));
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_NE(bad.err.find("cannot write"), std::string::npos) << bad.err;
}

TEST_F(Cli, ListPrintsTheDeviceTreeLines) {
  const CliResult r = Run("list --instrument=sim:" + Config(kLed));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out,
            "SIM00001\n  SN : SIM00001\n  Model : TR7BQ\n  HW : 1.1.0AA\n  FW : 1.2.3\n  ID : 0\n"
            "  Wavelength(Start) : 380\n  Wavelength(End) : 780\n  X-Gain : 1.000\n  Y-Gain : 1.000\n"
            "  Z-Gain : 1.000\n  L-Gain : 1.000\n");
}

TEST_F(Cli, DarkMeasuresTheOffsetsOfEveryRange) {
  const CliResult r = Run("dark --instrument=sim:" + Config(R"({"model": "TR7BQ", "darkOffsets": [0.02, 0.025, 0.031, 0.042]})"));
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("Dark calibration finished!\n"), std::string::npos);
  // The offsets as the 16-bit converter sees them: 0.02 V reads 262 counts.
  EXPECT_NE(r.out.find("gain 1  0.019989 V\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("gain 4  0.042038 V\n"), std::string::npos) << r.out;
}

TEST_F(Cli, ExitCodesAndOneLineFailures) {
  const std::string led = Config(kLed);
  const struct {
    std::string args;
    int exit;
    std::string err;  // expected in the one line on stderr
  } cases[] = {
      {"measure --gain 7", 2, "--gain"},
      {"measure --freq 100", 2, "--freq"},
      {"measure --bogus", 2, "--bogus"},
      {"", 2, "subcommand"},
      {"measure --help", 0, ""},
      {"measure --instrument=sim:" + folder.File("missing.json"), 1, "missing.json"},
      {"measure --instrument=parallel-port", 1, "parallel-port"},
      {"measure --instrument=sim:" + Config(R"({"model": "TR7A", "faults": [{"kind": "refusedStatus", "code": 24576, "persistent": true}]})"),
       1, "capture failed: error 0x5003 on command 0x6000"},
      {"dark --instrument=sim:" + Config(R"({"model": "TR7A", "faults": [{"kind": "refusedStatus", "code": 4098}]})"),
       1, "dark calibration failed: error 0x5003 on command 0x1002"},
      {"measure --instrument=sim:" + Config(""), 1, "no instrument found"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, c.exit);
    if (c.exit == 0) {
      EXPECT_NE(r.out.find("--freq"), std::string::npos);
      continue;
    }
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
}

}  // namespace
