// The device tree as plain data: information lines, plain and grouped arrangement, and the
// lookups from a selected node's text.
#include <gtest/gtest.h>

#include <cstdio>

#include "instrument/device_info.h"

namespace {

SpDevicePtr Entry(const char* serial, uint16_t modelCode, int32_t unit = 0) {
  auto dev = std::make_shared<SpDevice>();
  std::snprintf(dev->serial, sizeof dev->serial, "%s", serial);
  std::snprintf(dev->model, sizeof dev->model, "%s", modelCode == 0xC1 ? "TR9G" : "TR7BQ");
  std::snprintf(dev->hwVersion, sizeof dev->hwVersion, "HWVer:1.7.5AC");
  std::snprintf(dev->fwVersion, sizeof dev->fwVersion, "FWVer:1.2.3");
  dev->modelCode = modelCode;
  dev->wavelengthStart = 380;
  dev->wavelengthEnd = 780;
  dev->xGain = 1.0f;
  dev->yGain = 0.98765f;
  dev->fourAngleId = unit;
  dev->fourAngleSerial = unit ? "00001" : "";
  return dev;
}

TEST(DeviceInfo, LinesOfAnOrdinaryInstrumentAndAFourAngleUnit) {
  const std::vector<std::string> plain = DeviceInfoLines(*Entry("SIM00001", 0xAD));
  EXPECT_EQ(plain, (std::vector<std::string>{
                       "SN : SIM00001", "Model : TR7BQ", "HW : 1.7.5AC", "FW : 1.2.3", "ID : 0",
                       "Wavelength(Start) : 380", "Wavelength(End) : 780", "X-Gain : 1.000",
                       "Y-Gain : 0.988", "Z-Gain : 1.000", "L-Gain : 1.000"}));
  const std::vector<std::string> four = DeviceInfoLines(*Entry("SIM00002", 0xC1, 2));
  ASSERT_EQ(four.size(), 13u);
  EXPECT_EQ(four[1], "4Angle ID : 2");
  EXPECT_EQ(four[2], "4Angle SN : 00001");
  const std::vector<std::string> grouped = DeviceInfoLinesGrouped(*Entry("SIM00002", 0xC1, 2));
  EXPECT_EQ(grouped[0], "4Angle ID : 2");
  EXPECT_EQ(grouped[2], "SN : SIM00002");
  // A model code 0xC5 unit is not shown as a four-angle unit.
  EXPECT_EQ(DeviceInfoLines(*Entry("X", 0xC5, 1)).size(), 11u);
}

TEST(DeviceInfo, PlainAndGroupedTrees) {
  const std::vector<SpDevicePtr> ordinary = {Entry("A1", 0xAD), Entry("B2", 0xAD)};
  DeviceTree plain = BuildPlainTree(ordinary, 0);
  ASSERT_EQ(plain.nodes.size(), 2u);
  EXPECT_EQ(plain.nodes[1].text, "B2");
  EXPECT_EQ(plain.shownCount, 2);
  EXPECT_TRUE(BuildGroupedTree(ordinary, 0).nodes.empty());
  EXPECT_EQ(BuildPlainTree({}, 5).shownCount, 5);  // an empty list keeps the old count

  const std::vector<SpDevicePtr> units = {Entry("U2", 0xC1, 2), Entry("U1", 0xC1, 1), Entry("U9", 0xC1, 9)};
  DeviceTree grouped = BuildGroupedTree(units, 0);
  ASSERT_EQ(grouped.nodes.size(), 2u);  // unit 9 is beyond the entry count
  EXPECT_EQ(grouped.nodes[0].text, "U1");
  EXPECT_EQ(grouped.nodes[1].text, "U2");
  EXPECT_EQ(grouped.nodes[0].lines[0], "4Angle ID : 1");
}

TEST(DeviceInfo, SelectionLookups) {
  const std::vector<SpDevicePtr> list = {Entry("SIM00001", 0xAD), Entry("B2", 0xC1, 1)};
  const std::string serial = "B2", child = "SN : B2", longer = "SIM00001 (connected)";
  EXPECT_EQ(FindSelectedDevice(list, 2, &serial), list[1]);
  EXPECT_EQ(FindSelectedDevice(list, 1, &serial), nullptr);  // beyond the shown entries
  EXPECT_EQ(FindSelectedDevice(list, 2, &child), nullptr);
  EXPECT_EQ(FindSelectedDevice(list, 2, nullptr), nullptr);
  EXPECT_EQ(PickDevice(list, 1, nullptr), list[1]);
  EXPECT_EQ(PickDevice(list, 3, &longer), list[0]);  // the first 8 characters decide
  EXPECT_EQ(PickDevice(list, 3, &child), nullptr);
  EXPECT_EQ(PickDevice(list, 3, nullptr), nullptr);
}

}  // namespace
