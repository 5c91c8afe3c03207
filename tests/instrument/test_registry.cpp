// The registry over the simulated instrument: opening sequences, channels, scans that must
// not close present instruments, polling, and entries that outlive their instrument.
#include <algorithm>
#include <thread>

#include "sim_fixture.h"

namespace {

using test::SimJson;
using test::SimRegistry;
using test::WaitFor;

using Registry = SimRegistry;

TEST_F(Registry, OpeningSequenceByRevision) {
  const struct {
    int revision;
    std::vector<uint16_t> codes;
    float xGain;
    double matrix0;
  } cases[] = {
      {0x105, {0x0101, 0x0102, 0x0005, 0x0002}, 1.0f, 1.0},
      {0x106, {0x0101, 0x0102, 0x0005, 0x0002, 0x0014}, 1.25f, 1.0},
      {0x107, {0x0101, 0x0102, 0x0005, 0x0002, 0x0014, 0x0022, 0x0020, 0x0024}, 1.25f, 0.5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.revision);
    Start(SimJson({R"({"model": "TR7BQ", "serial": "SIM00001", "protocolRevision": )" + std::to_string(c.revision) +
                   R"(, "firmware": [1, 2, 3, 4], "hardware": [7, 5, 0, 2], "gains": [1.25, 1.5, 1.75, 2.0],
                      "matrix": [0.5, 0, 0, 0, 1, 0, 0, 0, 1], "darkVariant": 1})"}));
    SpDevicePtr dev = Open();
    ASSERT_TRUE(dev);
    EXPECT_EQ(usb->Codes(), c.codes);
    EXPECT_STREQ(dev->name, "SIM00001");
    EXPECT_STREQ(dev->serial, "SIM00001");
    EXPECT_STREQ(dev->model, "TR7BQ");
    EXPECT_STREQ(dev->hwVersion, "HWVer:1.7.5AC");
    EXPECT_STREQ(dev->fwVersion, "FWVer:1.2.3.B4");
    EXPECT_EQ(dev->protocolRev, c.revision);
    EXPECT_EQ(dev->wavelengthStart, 380);
    EXPECT_EQ(dev->wavelengthEnd, 780);
    EXPECT_EQ(dev->hasShutter, 1u);
    EXPECT_EQ(dev->xGain, c.xGain);
    EXPECT_EQ(dev->colourMatrix[0], c.matrix0);
    EXPECT_EQ(dev->darkVariant, c.revision > 0x106 ? 1u : 0u);
    EXPECT_EQ(dev->fourAngleId, 0);
    EXPECT_EQ(dev->flickerAcq.device, dev.get());
    EXPECT_EQ(dev->flickerAcq.controlMode, 1u);
    EXPECT_EQ(dev->flickerAcq.rangeCount, 4u);
    EXPECT_TRUE(SpListChanged());
    EXPECT_FALSE(SpListChanged());
    SpShutdown();
  }
}

// An entry is listed only once it is complete: nobody sees it while its gains, matrix and
// dark variant are still being read.
TEST_F(Registry, EntryIsListedOnlyWhenComplete) {
  Start(SimJson({R"({"model": "TR9G"})"}));
  std::vector<int> listedDuring;
  usb->onRequest = [&](const test::Request& r) {
    if (r.code == 0x1008 || r.code == 0x0014 || r.code == 0x0020 || r.code == 0x0024)
      listedDuring.push_back(SpDeviceCount());
  };
  SpDevicePtr dev = Open();
  usb->onRequest = nullptr;
  ASSERT_TRUE(dev);
  EXPECT_EQ(listedDuring, std::vector<int>(4, 0));
  EXPECT_EQ(SpDeviceCount(), 1);
}

TEST_F(Registry, FourAngleUnitWithAndWithoutItsFile) {
  const struct {
    const char* what;
    std::string file;  // JSON value of "fourAngleFile"
    int32_t version, id;
    std::string serial;
  } cases[] = {
      {"the model's file", R"("Version:1\r\nID:2\r\nSN:12345\r\n")", 1, 2, "12345"},
      {"no file", "null", 0, 1, "00001"},
      {"empty file", R"("")", 0, 1, "00001"},
      {"file over 64 KiB", "\"" + std::string(70000, 'x') + "\"", 0, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Start(SimJson({R"({"model": "TR9G", "fileChunk": 7, "fourAngleFile": )" + c.file + "}"}));
    SpDevicePtr dev = Open();
    ASSERT_TRUE(dev);
    EXPECT_EQ(dev->fourAngleVersion, c.version);
    EXPECT_EQ(dev->fourAngleId, c.id);
    EXPECT_EQ(dev->fourAngleSerial, c.serial);
    EXPECT_EQ(dev->darkVariant, 1u);
    EXPECT_EQ(dev->modelCode, 0xC1);
    // Both preparation commands were sent with 60 and 1, and the opening went on.
    int preparations = 0;
    for (const test::Request& r : usb->Requests())
      if (r.code == 0x1008 || r.code == 0x6020) {
        ++preparations;
        EXPECT_EQ(r.args[0], 60u);
        EXPECT_EQ(r.args[1], 1u);
      }
    EXPECT_EQ(preparations, 2);
    EXPECT_EQ(usb->Codes().back(), 0x0024);
    SpShutdown();
  }
}

TEST_F(Registry, ChannelsAndLookups) {
  std::vector<std::string> instruments;
  for (int i = 1; i <= 17; ++i) instruments.push_back(R"({"model": "TR7A", "serial": "SN)" + std::to_string(100 + i) + "\"}");
  Start(SimJson(instruments));
  EXPECT_EQ(SpFindOtherThan("orv_at001n"), nullptr);
  Rescan();
  ASSERT_EQ(SpDeviceCount(), 17);
  const std::vector<SpDevicePtr> list = SpDevices();
  EXPECT_EQ(SpFirstDevice(), list[0]);
  EXPECT_EQ(SpNextDevice(list[0].get()), list[1]);
  EXPECT_EQ(SpNextDevice(list[16].get()), nullptr);
  EXPECT_EQ(SpFindOtherThan("orv_at001n"), list[0]);
  EXPECT_EQ(SpFindOtherThan("SN101"), list[1]);
  EXPECT_EQ(SpFindBySerial("SN105"), list[4]);
  EXPECT_EQ(SpFindByName("nothing"), nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(SpChannelOf(list[i]->name), i);
  EXPECT_EQ(SpChannelOf(list[3]->name), 3);  // binding is idempotent
  EXPECT_EQ(SpChannelOfSerial("SN117"), -1);  // all 16 taken
  EXPECT_EQ(SpChannelOf("nothing"), -1);
  EXPECT_FALSE(SpReleaseChannel(16));
  EXPECT_FALSE(SpReleaseChannel(-1));
  EXPECT_EQ(SpDeviceOnChannel(16), nullptr);
  EXPECT_EQ(SpDeviceOnChannel(2), list[2]);
  EXPECT_TRUE(SpReleaseChannel(2));
  EXPECT_EQ(SpDeviceOnChannel(2), nullptr);
  EXPECT_EQ(SpChannelOfSerial("SN117"), 2);
}

TEST_F(Registry, IncompleteScansCloseNothing) {
  Start(SimJson({R"({"serial": "SIM00001"})", R"({"serial": "SIM00002"})"}));
  Rescan();
  ASSERT_EQ(SpDeviceCount(), 2);
  usb->SetFailCount(true);
  Rescan();
  EXPECT_EQ(SpDeviceCount(), 2);
  usb->SetFailCount(false);
  usb->SetUnreadable({1});
  ASSERT_TRUE(sim->Unplug("SIM00001"));
  Rescan();  // SIM00002 now sits at index 0; index 1 is gone, so the picture is complete
  EXPECT_EQ(SpDeviceCount(), 1);
  ASSERT_TRUE(sim->PlugJson(R"({"serial": "SIM00003"})").size());
  Rescan();  // SIM00003 is at the unreadable index 1: not opened, and SIM00002 stays
  EXPECT_EQ(SpDeviceCount(), 1);
  usb->SetUnreadable({0});
  Rescan();  // now SIM00002 is unreadable: the removal pass is skipped, SIM00003 opens
  EXPECT_EQ(SpDeviceCount(), 2);
  EXPECT_EQ(usb->CloseCalls(), 1);
}

TEST_F(Registry, SameIdentityTwiceListsTheFirstOnly) {
  Start(SimJson({R"({"serial": "SIMA", "identity": "SAME"})", R"({"serial": "SIMB", "identity": "SAME"})"}));
  Rescan();
  Rescan();
  ASSERT_EQ(SpDeviceCount(), 1);
  EXPECT_STREQ(SpFirstDevice()->serial, "SIMA");
}

TEST_F(Registry, PollingPeriodIsClampedAndFollowsPlugging) {
  const std::pair<int, int> periods[] = {{100, 300}, {300, 300}, {5000, 2000}};
  for (auto [asked, used] : periods) {
    Start(SimJson({}), 1, asked);
    EXPECT_EQ(SpPollingPeriod(), used);
    SpShutdown();
    EXPECT_EQ(SpPollingPeriod(), 0);
  }
  Start(SimJson({}), 1, 300);
  ASSERT_TRUE(sim->PlugJson(R"({"serial": "SIM00001"})").size());
  EXPECT_TRUE(WaitFor([] { return SpDeviceCount() == 1; }));
  ASSERT_TRUE(sim->Unplug("SIM00001"));
  EXPECT_TRUE(WaitFor([] { return SpDeviceCount() == 0; }));
}

// Operations keep an unplugged entry's handle open; its memory lives as long as anybody holds
// it, and every command on it fails without traffic.
TEST_F(Registry, UnpluggedEntryOutlivesItsOperations) {
  Start(SimJson({R"({"serial": "SIM00001"})", R"({"serial": "SIM00002"})"}));
  Rescan();
  SpDevicePtr dev = SpFindBySerial("SIM00001");
  ASSERT_TRUE(dev);
  const int channel = SpChannelOf(dev->name);
  auto first = std::make_unique<SpOperation>(channel);
  auto second = std::make_unique<SpOperation>(dev);
  ASSERT_TRUE(*first && *second);
  EXPECT_EQ(dev->busy, 2u);

  ASSERT_TRUE(sim->Unplug("SIM00001"));
  std::thread scan(Rescan);
  EXPECT_TRUE(WaitFor([&] { return !SpIsListed(dev.get()); }));
  EXPECT_EQ(SpDeviceCount(), 1);
  EXPECT_EQ(SpDeviceOnChannel(channel), nullptr);
  EXPECT_FALSE(SpOperation(dev));  // no new operation starts on it
  usb->Clear();
  uint32_t state = 0;
  EXPECT_FALSE(GetStatus(dev.get(), &state));
  EXPECT_EQ(usb->RequestCount(), 0u);

  first.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(usb->CloseCalls(), 0);  // one operation still runs
  second.reset();
  scan.join();
  EXPECT_EQ(usb->CloseCalls(), 1);
  EXPECT_EQ(dev->busy, 0u);
  EXPECT_TRUE(dev->closed);
}

}  // namespace
