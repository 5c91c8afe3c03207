// Identification from the information block: model table, version texts, hostile floats,
// and the four-angle information file.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "instrument/device.h"
#include "instrument/identification.h"
#include "instrument/wire.h"

namespace {

TEST(Identification, ModelTable) {
  const struct {
    uint16_t code;
    const char* model;
    uint32_t shutter, sync;
  } cases[] = {{0xA2, "TR7A", 0, 0},  {0xAD, "TR7BQ", 1, 1}, {0xB1, "ZN4007", 0, 0}, {0xB4, "BL3A", 1, 0},
               {0xC1, "TR9G", 1, 1},  {0xC2, "VD2A", 1, 1},  {0xC5, "VD2A", 1, 1},   {0xB5, "TR7F", 0, 0},
               {0x0000, "TR7F", 0, 0}, {0xA6, "TR7F", 0, 0}};
  for (const auto& c : cases) {
    const ModelEntry m = LookupModel(c.code);
    EXPECT_STREQ(m.model, c.model) << std::hex << c.code;
    EXPECT_EQ(m.hasShutter, c.shutter) << std::hex << c.code;
    EXPECT_EQ(m.syncFlag, c.sync) << std::hex << c.code;
  }
  EXPECT_TRUE(IsFourAngleModel(0xC1));
  EXPECT_FALSE(IsFourAngleModel(0xC5));
  EXPECT_TRUE(NeedsFourAnglePreparation(0xC5));
}

TEST(Identification, VersionTexts) {
  uint8_t info[80] = {};
  info[31] = 1, info[30] = 2, info[29] = 3, info[28] = 0;
  info[22] = 5, info[23] = 7;
  wire::PutU16(info + 36, 0);
  wire::PutU16(info + 38, 2);
  char text[32];
  FormatFirmwareVersion(info, text);
  EXPECT_STREQ(text, "FWVer:1.2.3");
  info[28] = 4;
  FormatFirmwareVersion(info, text);
  EXPECT_STREQ(text, "FWVer:1.2.3.B4");
  FormatHardwareVersion(info, text);
  EXPECT_STREQ(text, "HWVer:1.7.5AC");
  info[31] = info[30] = info[29] = info[28] = 255;
  FormatFirmwareVersion(info, text);
  EXPECT_STREQ(text, "FWVer:255.255.255.B255");
}

TEST(Identification, InfoBlocksWithHostileValues) {
  SpDevice dev;
  const auto putFloat = [&](int offset, float v) { wire::PutU32(dev.infoBlock + offset, std::bit_cast<uint32_t>(v)); };
  putFloat(4, 1024.9f);
  putFloat(8, std::numeric_limits<float>::quiet_NaN());
  putFloat(12, 1e30f);
  wire::PutU16(dev.infoBlock + 20, 0xAD);
  std::memset(dev.infoBlock + 40, 'S', 20);  // a serial that fills its field: no terminator
  wire::PutU32(dev.configBlock + 4, 3);
  wire::PutU32(dev.configBlock + 32, 2048);
  ApplyInfoBlocks(&dev);
  EXPECT_EQ(dev.spectrumPoints, 1024);
  EXPECT_EQ(dev.wavelengthStart, 0);
  EXPECT_EQ(dev.wavelengthEnd, std::numeric_limits<int32_t>::max());
  EXPECT_EQ(std::string(dev.serial), std::string(20, 'S'));
  EXPECT_STREQ(dev.model, "TR7BQ");
  EXPECT_EQ(dev.hasShutter, 1u);
  EXPECT_EQ(dev.sensorType, 3);
  EXPECT_EQ(dev.pixelCount, 2048);
  EXPECT_EQ(dev.lastPixel, 2047);
  EXPECT_EQ(TruncateToInt(-3.9f), -3);
  EXPECT_EQ(TruncateToInt(-std::numeric_limits<float>::infinity()), std::numeric_limits<int32_t>::min());
}

TEST(Identification, FourAngleFile) {
  const struct {
    const char* what;
    std::string text;
    bool complete;
    int32_t version, id;
    std::string serial;
  } cases[] = {
      {"three lines", "Version:3\r\nID:2\r\nSN:AB123\r\n", true, 3, 2, "AB123"},
      {"keys are not compared", "x:7\r\ny: 12abc\r\nz:S:N\r\n", true, 7, 12, "S:N"},
      {"last line without CR LF", "V:1\r\nI:4\r\nS:XY", false, 1, 4, ""},
      {"line without a colon stops", "V:1\r\nnothing here\r\nS:XY\r\n", false, 1, 0, ""},
      {"lone CR LF at the very end", "V:1\r", false, 0, 0, ""},
      {"huge number", "V:99999999999999\r\nI:-5\r\nS:\r\n", true, std::numeric_limits<int32_t>::max(), -5, ""},
      {"empty", "", false, 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SpDevice dev;
    EXPECT_EQ(ParseFourAngleInfo(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size(), &dev), c.complete);
    EXPECT_EQ(dev.fourAngleVersion, c.version);
    EXPECT_EQ(dev.fourAngleId, c.id);
    EXPECT_EQ(dev.fourAngleSerial, c.serial);
  }
  SpDevice dev;
  const std::string longSerial = "V:1\r\nI:1\r\nS:" + std::string(500, 'Q') + "\r\n";
  ParseFourAngleInfo(reinterpret_cast<const uint8_t*>(longSerial.data()), longSerial.size(), &dev);
  EXPECT_EQ(dev.fourAngleSerial, std::string(kMaxFourAngleSerial, 'Q'));
}

}  // namespace
