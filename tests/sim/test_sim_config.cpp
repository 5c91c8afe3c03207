// Configuration of the simulated instrument: keys, defaults, and the messages for bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "instrument/sim/backend.h"
#include "instrument/sim/sim_config.h"
#include "instrument/sim/sim_driver.h"

namespace {

TEST(SimConfig, ReadsEveryKeyOfAFullConfiguration) {
  const char* text = R"({
    "timeScale": 0,
    "instruments": [{
      "model": "TR9G", "serial": "AB123", "identity": "orv_dev7", "protocolRevision": "0x105",
      "firmware": [1, 1, 6, 4], "hardware": [7, 5, 0, 2], "wavelengthRange": [360, 830],
      "spectrumPoints": 300, "pixelCount": 2048, "sensorType": 3,
      "gains": [1.5, 2, 0.5, 0.9], "matrix": [1, 0.1, 0, 0, 1, 0, 0, 0.2, 1], "matrixIndex": 4,
      "matrixName": "Factory", "darkVariant": 0, "fourAngleFile": null, "fileChunk": 64,
      "light": { "waveform": "pulse", "frequency": 120, "modulation": 0.8, "level": 0.6, "duty": 0.25, "noise": 0 },
      "lux": 1234.5, "shutter": "stuckClosed", "rangeGains": [1, 3, 9, 27], "darkOffsets": [0.01, 0.02, 0.03, 0.04],
      "seed": 99, "faults": [{ "kind": "refusedStatus", "code": "0x6000", "persistent": true, "skip": 2, "status": 0 }]
    }, {}]
  })";
  SimConfig config;
  std::string error;
  ASSERT_TRUE(ParseSimConfig(text, &config, &error)) << error;
  EXPECT_EQ(config.timeScale, 0.0);
  ASSERT_EQ(config.instruments.size(), 2u);
  const SimInstrumentConfig& c = config.instruments[0];
  EXPECT_EQ(c.modelCode, 0xC1);
  EXPECT_EQ(c.serial, "AB123");
  EXPECT_EQ(c.identity, "orv_dev7");
  EXPECT_EQ(c.protocolRevision, 0x105);
  EXPECT_EQ(c.firmware, (std::array<uint8_t, 4>{1, 1, 6, 4}));
  EXPECT_EQ(c.hwFirst, 7);
  EXPECT_EQ(c.hwSecond, 5);
  EXPECT_EQ(c.hwLetter2, 2);
  EXPECT_EQ(c.wavelengthEnd, 830);
  EXPECT_EQ(c.spectrumPoints, 300);
  EXPECT_EQ(c.pixelCount, 2048u);
  EXPECT_EQ(c.gains[0], 1.5f);
  EXPECT_EQ(c.matrix[7], 0.2);
  EXPECT_EQ(c.matrixIndex, 4u);
  EXPECT_EQ(c.darkVariant, 0);
  EXPECT_TRUE(c.fourAngleFileAbsent);
  EXPECT_EQ(c.light.waveform, SimWaveform::kPulse);
  EXPECT_EQ(c.light.duty, 0.25);
  EXPECT_EQ(c.lux, 1234.5);
  EXPECT_EQ(c.shutter, SimShutter::kStuckClosed);
  EXPECT_EQ(c.rangeGains[3], 27.0);
  ASSERT_TRUE(c.seed.has_value());
  ASSERT_EQ(c.faults.size(), 1u);
  EXPECT_EQ(c.faults[0].code, 0x6000);
  EXPECT_EQ(c.faults[0].status, 0);
  EXPECT_EQ(c.faults[0].skip, 2u);
  // The empty object is the built-in default instrument, numbered after the given serials.
  const SimInstrumentConfig& d = config.instruments[1];
  EXPECT_EQ(d.serial, "SIM00001");
  EXPECT_EQ(d.modelCode, 0xAD);
  EXPECT_EQ(d.light.frequency, 100.0);
}

TEST(SimConfig, ModelsByNameAndByCode) {
  struct Case {
    const char* model;
    uint16_t code;
    const char* name;
  };
  for (const Case& c : {Case{"\"VD2A\"", 0xC2, "VD2A"}, Case{"197", 0xC5, "VD2A"}, Case{"\"0xB5\"", 0xB5, "TR7F"},
                        Case{"\"BL3A\"", 0xB4, "BL3A"}}) {
    SimConfig config;
    std::string error;
    ASSERT_TRUE(ParseSimConfig(std::string(R"({"instruments":[{"model":)") + c.model + "}]}", &config, &error))
        << c.model << ": " << error;
    EXPECT_EQ(config.instruments[0].modelCode, c.code) << c.model;
    EXPECT_STREQ(SimModelOf(c.code).name, c.name);
  }
  EXPECT_TRUE(SimModelOf(0xAD).hasShutter);
  EXPECT_FALSE(SimModelOf(0xA5).hasShutter);
}

// Every bad configuration is refused with a message naming the key and the bad value.
TEST(SimConfig, BadInputNamesTheKeyAndTheValue) {
  struct Case {
    const char* json;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {R"({"timescale": 0})", {"unknown key \"timescale\"", "timeScale"}},
      {R"({"timeScale": 2000})", {"timeScale", "2000"}},
      {R"({"instruments": [{"colour": 1}]})", {"instruments[0]", "unknown key \"colour\""}},
      {R"({"instruments": [{"light": {"waveform": "saw"}}]})", {"instruments[0].light.waveform", "\"saw\"", "sine"}},
      {R"({"instruments": [{"light": {"frequency": -5}}]})", {"instruments[0].light.frequency", "-5"}},
      {R"({"instruments": [{}, {"light": {"modulation": 1.5}}]})", {"instruments[1].light.modulation", "1.5"}},
      {R"({"instruments": [{"light": {"speed": 1}}]})", {"instruments[0].light", "unknown key \"speed\""}},
      {R"({"instruments": [{"firmware": [1, 2, 3]}]})", {"instruments[0].firmware", "4"}},
      {R"({"instruments": [{"firmware": [1, 2, 300, 0]}]})", {"instruments[0].firmware[2]", "300"}},
      {R"({"instruments": [{"model": "TR8"}]})", {"instruments[0].model", "\"TR8\"", "TR7BQ"}},
      {R"({"instruments": [{"serial": "S1"}, {"serial": "S1"}]})", {"instruments[1].serial", "\"S1\""}},
      {R"({"instruments": [{"serial": "ABCDEFGHIJKLMNOPQRST"}]})", {"instruments[0].serial", "19"}},
      {R"({"instruments": [{"protocolRevision": 1.5}]})", {"instruments[0].protocolRevision", "1.5"}},
      {R"({"instruments": [{"lux": "bright"}]})", {"instruments[0].lux", "\"bright\""}},
      {R"({"instruments": [{"shutter": "half"}]})", {"instruments[0].shutter", "\"half\"", "stuckOpen"}},
      {R"({"instruments": [{"faults": [{"kind": "explode"}]}]})", {"instruments[0].faults[0].kind", "\"explode\""}},
      {R"({"instruments": [{"faults": [{"kind": "lostReply", "status": 1}]}]})",
       {"instruments[0].faults[0].status", "refusedStatus"}},
      {R"({"instruments": [{"wavelengthRange": [780, 380]}]})", {"instruments[0].wavelengthRange", "spectrumPoints"}},
      {R"({"instruments": [{"rangeGains": [1, 2, 0, 8]}]})", {"instruments[0].rangeGains[2]", "0"}},
      {R"({"instruments": {"model": "TR7BQ"}})", {"instruments", "array"}},
      {R"({"instruments": [ {"model": "TR7BQ"} )", {"JSON syntax error"}},
      {R"([1, 2])", {"configuration", "object"}},
  };
  for (const Case& c : cases) {
    SimConfig config;
    std::string error;
    EXPECT_FALSE(ParseSimConfig(c.json, &config, &error)) << c.json;
    for (const std::string& part : c.mentions) EXPECT_NE(error.find(part), std::string::npos) << c.json << " -> " << error;
  }
}

TEST(SimConfig, FilesAndBackendOptions) {
  const std::string path = ::testing::TempDir() + "/sim_config_test.json";
  {
    std::ofstream(path) << R"({"timeScale": 0, "instruments": [{"serial": "F1"}, {"serial": "F2"}]})";
  }
  std::string error;
  std::shared_ptr<UsbDriver> driver = SelectUsbBackend("sim:" + path, &error);
  ASSERT_TRUE(driver) << error;
  uint32_t count = 0;
  ASSERT_EQ(driver->GetDeviceCount(&count), kUsbOk);
  EXPECT_EQ(count, 2u);

  driver = SelectUsbBackend("sim", &error);
  ASSERT_TRUE(driver) << error;
  auto* sim = dynamic_cast<SimDriver*>(driver.get());
  ASSERT_NE(sim, nullptr);
  ASSERT_EQ(sim->List().size(), 1u);
  EXPECT_EQ(sim->List()[0].serial, "SIM00001");
  EXPECT_EQ(sim->List()[0].modelName, "TR7BQ");
  EXPECT_EQ(sim->TimeScale(), 1.0);

  struct Bad {
    std::string option;
    std::string mentions;
  };
  {
    std::ofstream(path) << R"({"instruments": [{"lux": -1}]})";
  }
  for (const Bad& b : {Bad{"sim:" + path, path + ": instruments[0].lux"}, Bad{"sim:/no/such/file.json", "/no/such/file.json"},
                       Bad{"sim:", "file name"}, Bad{"simulator", "unknown --instrument value \"simulator\""},
                       Bad{"usb:0xZZ", "usb:0xZZ"}}) {
    error.clear();
    EXPECT_FALSE(SelectUsbBackend(b.option, &error)) << b.option;
    EXPECT_NE(error.find(b.mentions), std::string::npos) << b.option << " -> " << error;
  }
  std::remove(path.c_str());
}

}  // namespace
