// USB transport over a scripted back end: management calls, chunking, short transfers and
// the per-thread time-out pair.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "fake_driver.h"
#include "instrument/usb.h"

namespace {

using test::Bytes;
using test::ScriptedDriver;

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = std::make_shared<ScriptedDriver>();
    UsbSetDriver(driver);
    UsbInit();
  }
  void TearDown() override { UsbSetDriver(nullptr); }
  std::shared_ptr<ScriptedDriver> driver;
  uint32_t handle = 7;
};

TEST_F(Transport, NoDeviceAttached) {
  EXPECT_EQ(UsbDeviceCount(), 0);
  uint32_t h = 0;
  EXPECT_FALSE(UsbOpen(&h, 0));
  EXPECT_FALSE(UsbClose(&h));
  EXPECT_EQ(driver->log().openCalls, 0);
  EXPECT_EQ(driver->log().closeCalls, 0);
}

TEST_F(Transport, FailedCountAndMissingBackEnd) {
  driver->devices = {"A"};
  driver->countStatus = kUsbIoError;
  EXPECT_EQ(UsbDeviceCount(), -1);
  uint32_t h = 0;
  EXPECT_FALSE(UsbOpen(&h, 0));
  EXPECT_EQ(driver->log().openCalls, 0);
  UsbSetDriver(nullptr);
  EXPECT_EQ(UsbDeviceCount(), -1);
  char name[32];
  EXPECT_FALSE(UsbDeviceString(0, name, sizeof name));
}

// A management call waits at most 3 s for another one to finish, then fails without calling
// the back end.
TEST_F(Transport, ManagementCallsGiveUpOnAnOwnedMutex) {
  struct SlowCount : ScriptedDriver {
    std::mutex gate;
    std::atomic<int> calls{0};
    UsbStatus GetDeviceCount(uint32_t* count) override {
      ++calls;
      std::lock_guard<std::mutex> wait(gate);
      return ScriptedDriver::GetDeviceCount(count);
    }
  };
  auto slow = std::make_shared<SlowCount>();
  UsbSetDriver(slow);
  std::unique_lock<std::mutex> hold(slow->gate);
  std::thread first([] { EXPECT_EQ(UsbDeviceCount(), 0); });
  while (slow->calls == 0) std::this_thread::yield();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(UsbDeviceCount(), -1);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(2990));
  EXPECT_LT(waited, std::chrono::milliseconds(4500));
  EXPECT_EQ(slow->calls, 1);  // the call that gave up never reached the back end
  hold.unlock();
  first.join();
}

TEST_F(Transport, IdentityStringMustFitThirtyTwoBytes) {
  driver->devices = {std::string(31, 'a'), std::string(32, 'b')};
  char name[32];
  ASSERT_TRUE(UsbDeviceString(0, name, sizeof name));
  EXPECT_EQ(std::string(name), std::string(31, 'a'));
  EXPECT_FALSE(UsbDeviceString(1, name, sizeof name));
  EXPECT_FALSE(UsbDeviceString(2, name, sizeof name));  // no such index
}

// Chunking and the time-out pair: read, set for the direction, restored.
TEST_F(Transport, BlocksMoveInChunksUnderTheirTimeout) {
  const struct {
    uint32_t bytes;
    std::vector<uint32_t> chunks;
  } cases[] = {{0, {}}, {1024, {1024}}, {2500, {1024, 1024, 452}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    driver->ClearLog();
    Bytes in(c.bytes);
    for (std::size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7);
    if (!in.empty()) driver->QueueIn(in);
    Bytes got(c.bytes + 1);
    uint32_t count = 99;
    EXPECT_TRUE(UsbRead(&handle, got.data(), c.bytes, &count, 1234));
    EXPECT_EQ(count, c.bytes);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + c.bytes), in);
    EXPECT_EQ(driver->log().readSizes, c.chunks);
    for (const auto& [thread, readMs] : driver->log().readTimeoutAtRead) EXPECT_EQ(readMs, 1234u);

    EXPECT_TRUE(UsbWrite(&handle, in.data(), c.bytes, &count, 4321));
    EXPECT_EQ(count, c.bytes);
    std::vector<uint32_t> writeSizes;
    for (const Bytes& w : driver->log().writes) writeSizes.push_back(uint32_t(w.size()));
    EXPECT_EQ(writeSizes, c.chunks);

    using Pair = std::pair<uint32_t, uint32_t>;
    EXPECT_EQ(driver->log().timeoutsSet,
              (std::vector<Pair>{{1234, 0}, {5000, 5000}, {0, 4321}, {5000, 5000}}));
  }
}

TEST_F(Transport, FailingOrShortChunkStopsTheTransfer) {
  Bytes buffer(2500);
  uint32_t count = 0;
  driver->QueueIn(Bytes(1024, 1));
  driver->QueueReadFailure();
  EXPECT_FALSE(UsbRead(&handle, buffer.data(), 2500, &count, 5000));
  EXPECT_EQ(count, 1024u);
  EXPECT_EQ(driver->log().readSizes.size(), 2u);

  driver->ClearLog();
  driver->QueueIn(Bytes(1500, 2));  // the instrument sends less than asked for
  EXPECT_FALSE(UsbRead(&handle, buffer.data(), 2500, &count, 5000));
  EXPECT_EQ(count, 1500u);

  driver->ClearLog();
  driver->ShortWrite(1, 100);
  EXPECT_FALSE(UsbWrite(&handle, buffer.data(), 2500, &count, 5000));
  EXPECT_EQ(count, 1124u);
  EXPECT_EQ(driver->log().writes.size(), 2u);
  // The pair is restored on the failure paths too.
  EXPECT_EQ(driver->log().timeoutsSet.back(), (std::pair<uint32_t, uint32_t>{5000, 5000}));
}

// Two threads transferring at once each run under their own time-out.
TEST_F(Transport, TimeoutPairIsPerThread) {
  constexpr int kRounds = 200;
  for (int i = 0; i < 2 * kRounds; ++i) driver->QueueIn(Bytes(8, 0));
  auto run = [&](uint32_t timeout) {
    uint8_t buffer[8];
    uint32_t count = 0;
    for (int i = 0; i < kRounds; ++i) UsbRead(&handle, buffer, sizeof buffer, &count, timeout);
  };
  std::thread a(run, 1111), b(run, 2222);
  const std::thread::id ida = a.get_id(), idb = b.get_id();
  a.join();
  b.join();
  int seen = 0;
  for (const auto& [thread, readMs] : driver->log().readTimeoutAtRead) {
    EXPECT_EQ(readMs, thread == ida ? 1111u : 2222u);
    seen += thread == ida || thread == idb;
  }
  EXPECT_EQ(seen, 2 * kRounds);
}

}  // namespace
