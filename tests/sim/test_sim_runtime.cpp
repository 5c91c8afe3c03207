// The simulator at run time: faults, busy times and time-outs, plugging and unplugging,
// and transfers racing runtime changes.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "sim_host.h"

namespace {

using namespace wire;
using Clock = std::chrono::steady_clock;

bool AllZero(const std::vector<uint8_t>& bytes) {
  return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; });
}

// Each fault, fired once on ReadDeviceInfo, as the host sees it; the next exchange is clean.
TEST(SimFaults, EachKindAsTheHostSeesIt) {
  struct Case {
    SimFaultKind kind;
    void (*check)(const SimExchange&);
  };
  const Case cases[] = {
      {SimFaultKind::kLostReply,
       [](const SimExchange& x) {
         EXPECT_EQ(x.dataStatus, kUsbOk);
         EXPECT_EQ(x.dataMoved, 80u);
         EXPECT_EQ(x.replyStatus, kUsbTimeout);
         EXPECT_EQ(x.replyMoved, 0u);
       }},
      {SimFaultKind::kWrongMagic,
       [](const SimExchange& x) {
         EXPECT_EQ(x.replyMoved, 16u);
         EXPECT_NE(x.Magic(), kReplyMagic);
         EXPECT_EQ(x.Status(), kStatusAccepted);
       }},
      {SimFaultKind::kWrongSequence,
       [](const SimExchange& x) {
         EXPECT_EQ(x.Magic(), kReplyMagic);
         EXPECT_EQ(x.Sequence(), 0x1235u);
       }},
      {SimFaultKind::kRefusedStatus,
       [](const SimExchange& x) {
         EXPECT_EQ(x.dataMoved, 80u);
         EXPECT_TRUE(AllZero(x.data));
         EXPECT_EQ(x.Sequence(), 0x1234u);
         EXPECT_EQ(x.Status(), 0x0000);
       }},
      {SimFaultKind::kShortRead,
       [](const SimExchange& x) {
         EXPECT_EQ(x.dataMoved, 40u);  // the read of 80 bytes got 40: a short transfer
         EXPECT_NE(x.dataStatus, kUsbOk);
       }},
  };
  for (const Case& c : cases) {
    SimHost host(SimFromJson("[{}]"));
    SimFault fault;
    fault.kind = c.kind;
    fault.code = 0x0002;
    fault.status = 0x0000;
    ASSERT_TRUE(host.driver().InjectFault("SIM00001", fault));
    EXPECT_TRUE(host.Send(0x1003, 2, {}, 12).Accepted()) << SimFaultName(c.kind) << ": other codes pass";
    SCOPED_TRACE(SimFaultName(c.kind));
    c.check(host.Send(0x0002, 2, {}, 80));
    const SimExchange clean = host.Send(0x0002, 2, {}, 80);
    EXPECT_TRUE(clean.Accepted());
    EXPECT_EQ(GetU16(clean.data.data() + 20), 0xAD);
    EXPECT_EQ(host.driver().List()[0].pendingFaults, 0u);
  }
}

TEST(SimFaults, SkipPersistenceAndFaultsFromTheConfiguration) {
  SimHost host(SimFromJson(R"([{"faults": [{"kind": "refusedStatus", "code": "0x1003", "skip": 2},
                                           {"kind": "stalledBusy", "persistent": true}]}])"));
  // GetStatus: two pass (but busy: the persistent stall), the third is refused, then busy again.
  for (int i = 0; i < 4; ++i) {
    const SimExchange x = host.Send(0x1003, 2, {}, 12);
    ASSERT_EQ(x.replyStatus, kUsbOk);
    EXPECT_EQ(x.Status(), i == 2 ? 0x0001 : kStatusAccepted) << i;
    if (i != 2) {
      EXPECT_EQ(x.Word(1), 1u) << i;
    }
  }
  EXPECT_TRUE(host.Send(0x0101, 2, {}, 8).Accepted());  // the stall concerns GetStatus only
  ASSERT_TRUE(host.driver().ClearFaults("SIM00001"));
  EXPECT_EQ(host.Send(0x1003, 2, {}, 12).Word(1), 0u);

  SimFault lost;
  lost.kind = SimFaultKind::kLostReply;
  lost.persistent = true;
  ASSERT_TRUE(host.driver().InjectFault("SIM00001", lost));
  for (uint16_t code : {0x0101, 0x1003, 0x4014}) {
    const uint32_t length = code == 0x4014 ? 0 : code == 0x0101 ? 8 : 12;
    EXPECT_EQ(host.Send(code, 2, {}, length).replyStatus, kUsbTimeout) << code;
  }
  ASSERT_TRUE(host.driver().ClearFaults("SIM00001"));
  EXPECT_TRUE(host.Send(0x0101, 2, {}, 8).Accepted());
}

TEST(SimFaults, UnplugInMidTransfer) {
  for (bool withData : {true, false}) {
    auto driver = SimFromJson(R"([{"serial": "U1"}, {"serial": "U2"}])");
    SimHost host(driver);
    SimFault fault;
    fault.kind = SimFaultKind::kUnplug;
    fault.code = withData ? 0x6001 : 0x5010;
    ASSERT_TRUE(driver->InjectFault("U1", fault));
    ASSERT_TRUE(host.Send(0x6000, 24, {32768, 4096, 0}).Accepted());
    const SimExchange x = withData ? host.Send(0x6001, 16, {4096}, 8192) : host.Send(0x5010, 24, {0});
    if (withData) {
      EXPECT_EQ(x.dataMoved, 4096u);  // four chunks, then the instrument is gone
      EXPECT_EQ(x.dataStatus, kUsbNoDevice);
    } else {
      EXPECT_EQ(x.replyStatus, kUsbNoDevice);
      EXPECT_EQ(x.replyMoved, 0u);
    }
    uint32_t count = 0;
    ASSERT_EQ(driver->GetDeviceCount(&count), kUsbOk);
    EXPECT_EQ(count, 1u);
    char name[kUsbDeviceStringSize];
    ASSERT_EQ(driver->GetDeviceString(0, name, 0), kUsbOk);
    EXPECT_STREQ(name, "U2");
    EXPECT_EQ(host.Send(0x0101, 2, {}, 8).writeStatus, kUsbNoDevice);
  }
}

// ---- time ----

TEST(SimTime, BusyForTheCaptureAndScaledReadTimeouts) {
  auto driver = SimFromJson("[{}]", 1.0);
  SimHost host(driver);
  // 1000 samples at 10 kHz: busy for 0.1 s of real time.
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(host.Send(0x6000, 24, {10000, 1000, 0}).Accepted());
  EXPECT_EQ(host.Send(0x1003, 2, {}, 12).Word(1), 1u);
  EXPECT_EQ(host.Send(0x6001, 16, {1000}, 2000).Status(), kSimStatusBusy);
  EXPECT_EQ(host.Send(0x6000, 24, {10000, 1000, 0}).Status(), kSimStatusBusy);
  EXPECT_EQ(host.Send(0x1002, 8, {1}).Status(), kSimStatusBusy);
  while (host.Send(0x1003, 2, {}, 12).Word(1) == 1 && Clock::now() - start < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(95));
  EXPECT_TRUE(host.Send(0x6001, 16, {1000}, 2000).Accepted());

  // A read with nothing to deliver waits for the calling thread's read time-out.
  ASSERT_EQ(driver->SetTimeouts(80, 0), kUsbOk);
  uint8_t buffer[16];
  uint32_t moved = 0;
  const Clock::time_point before = Clock::now();
  EXPECT_EQ(driver->Read(host.handle(), buffer, 16, &moved), kUsbTimeout);
  EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(75));

  // At time scale 0 the same capture is ready at once and reads never wait.
  ASSERT_TRUE(driver->SetTimeScale(0));
  ASSERT_TRUE(host.Send(0x6000, 24, {10, 1000, 0}).Accepted());  // 100 s of sampling
  EXPECT_EQ(host.Send(0x1003, 2, {}, 12).Word(1), 0u);
  EXPECT_EQ(driver->Read(host.handle(), buffer, 16, &moved), kUsbTimeout);
  EXPECT_FALSE(driver->SetTimeScale(-1));
}

// ---- plugging ----

TEST(SimPlugging, ListHandlesAndIdentities) {
  auto driver = std::make_shared<SimDriver>();
  uint32_t count = 7, handle = 0;
  ASSERT_EQ(driver->GetDeviceCount(&count), kUsbOk);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(driver->Open(0, &handle), kUsbNoDevice);

  std::string error;
  ASSERT_EQ(driver->PlugJson("{}", &error), "SIM00001") << error;
  ASSERT_EQ(driver->PlugJson(R"({"identity": "SIM00001", "model": "TR9G"})", &error), "SIM00002") << error;
  EXPECT_EQ(driver->PlugJson(R"({"serial": "SIM00002"})", &error), "");
  EXPECT_NE(error.find("SIM00002"), std::string::npos);
  EXPECT_EQ(driver->PlugJson(R"({"light": {"noise": -1}})", &error), "");
  EXPECT_NE(error.find("light.noise"), std::string::npos);
  // Two instruments reporting the same identity string.
  char name[kUsbDeviceStringSize];
  for (uint32_t i = 0; i < 2; ++i) {
    ASSERT_EQ(driver->GetDeviceString(i, name, 0), kUsbOk);
    EXPECT_STREQ(name, "SIM00001");
  }
  EXPECT_EQ(driver->GetDeviceString(2, name, 0), kUsbNoDevice);

  uint32_t first = 0, again = 0, second = 0;
  ASSERT_EQ(driver->Open(0, &first), kUsbOk);
  ASSERT_EQ(driver->Open(0, &again), kUsbOk);
  ASSERT_EQ(driver->Open(1, &second), kUsbOk);
  EXPECT_NE(first, again);
  EXPECT_EQ(driver->List()[0].openHandles, 2u);
  ASSERT_EQ(driver->Close(again), kUsbOk);
  EXPECT_EQ(driver->Close(again), kUsbNoDevice);

  // Unplugging changes the list at once and kills the instrument's handles only.
  ASSERT_TRUE(driver->Unplug("SIM00001"));
  EXPECT_FALSE(driver->Unplug("SIM00001"));
  ASSERT_EQ(driver->GetDeviceCount(&count), kUsbOk);
  EXPECT_EQ(count, 1u);
  ASSERT_EQ(driver->GetDeviceString(0, name, 0), kUsbOk);
  EXPECT_STREQ(name, "SIM00001");  // the second instrument's identity
  const std::vector<uint8_t> ping = SimRequest(0x0101, 2, {}, 8);
  uint8_t buffer[16];
  uint32_t moved = 0;
  EXPECT_EQ(driver->Write(first, ping.data(), uint32_t(ping.size()), &moved), kUsbNoDevice);
  EXPECT_EQ(driver->Read(first, buffer, 8, &moved), kUsbNoDevice);
  EXPECT_EQ(driver->Write(second, ping.data(), uint32_t(ping.size()), &moved), kUsbOk);

  // Plugged again: a fresh instrument behind a fresh handle; the old handle stays dead.
  ASSERT_EQ(driver->PlugJson(R"({"serial": "SIM00001"})", &error), "SIM00001") << error;
  uint32_t fresh = 0;
  ASSERT_EQ(driver->Open(1, &fresh), kUsbOk);
  EXPECT_NE(fresh, first);
  EXPECT_EQ(driver->Write(first, ping.data(), uint32_t(ping.size()), &moved), kUsbNoDevice);
  SimHost host(driver, 1);
  EXPECT_TRUE(host.Send(0x0101, 2, {}, 8).Accepted());
}

TEST(SimPlugging, UnplugWakesAWaitingRead) {
  auto driver = SimFromJson("[{}]", 1.0);
  uint32_t handle = 0;
  ASSERT_EQ(driver->Open(0, &handle), kUsbOk);
  std::atomic<UsbStatus> status{kUsbOk};
  std::thread reader([&] {
    driver->SetTimeouts(60000, 0);
    uint8_t buffer[16];
    uint32_t moved = 0;
    status = driver->Read(handle, buffer, 16, &moved);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  ASSERT_TRUE(driver->Unplug("SIM00001"));
  reader.join();
  EXPECT_EQ(status.load(), kUsbNoDevice);
}

// Transfers on two instruments while a third is plugged and unplugged and the light and
// faults change: every exchange either completes cleanly or fails with kUsbNoDevice.
TEST(SimPlugging, TransfersRaceRuntimeChanges) {
  auto driver = SimFromJson(R"([{"serial": "A"}, {"serial": "B"}])");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  auto work = [&](uint32_t index) {
    SimHost host(driver, index);
    for (int i = 0; i < 150; ++i) {
      const SimExchange start = host.Send(0x6000, 24, {32768, 2048, uint32_t(i % 4)});
      const SimExchange samples = host.Send(0x6001, 16, {2048}, 4096);
      if (!start.Accepted() || !samples.Accepted()) ++bad;
    }
  };
  std::thread changer([&] {
    SimLight light;
    for (int i = 0; !stop; ++i) {
      driver->PlugJson(R"({"serial": "C"})");
      SimHost c(driver, 2);
      const SimExchange x = c.Send(0x0002, 2, {}, 80);
      if (x.writeStatus != kUsbOk && x.writeStatus != kUsbNoDevice) ++bad;
      light.frequency = 50 + i % 100;
      driver->SetLight("A", light);
      driver->SetShutterModel("B", i % 2 ? SimShutter::kStuckClosed : SimShutter::kModel);
      driver->Unplug("C");
      driver->List();
    }
  });
  std::thread a(work, 0), b(work, 1);
  a.join();
  b.join();
  stop = true;
  changer.join();
  EXPECT_EQ(bad.load(), 0);
}

}  // namespace
