// Capture and dark calibration on the simulated instrument: the command sequences, the
// conversion with the measured dark offsets, auto-range, and unplugging during a capture.
#include <algorithm>
#include <numeric>
#include <thread>

#include "analysis/acquisition.h"
#include "instrument/capture.h"
#include "sim_fixture.h"

namespace {

using test::Request;
using test::SimJson;
using test::SimRegistry;
using test::WaitFor;

class Capture : public SimRegistry {
 protected:
  // One instrument, opened and bound to `channel`.
  void OpenOne(const std::string& instrument, double timeScale = 0) {
    Start(SimJson({instrument}, timeScale));
    dev = Open();
    ASSERT_TRUE(dev);
    channel = SpChannelOf(dev->name);
    ASSERT_EQ(channel, 0);
    usb->Clear();
  }
  std::vector<Request> Sent(uint16_t code) const {
    std::vector<Request> out;
    for (const Request& r : usb->Requests())
      if (r.code == code) out.push_back(r);
    return out;
  }
  void TearDown() override {
    if (dev && record) FlickerAcqDetach(&dev->flickerAcq, record.get());
    SimRegistry::TearDown();
  }
  SpDevicePtr dev;
  int channel = -1;
  FlickerRecordPtr record = MakeFlickerRecord(1000, 1024, 100, 1000);  // bufferLen 2048
};

constexpr const char* kLed =
    R"("light": {"waveform": "sine", "frequency": 100, "modulation": 0.3, "level": 0.5, "noise": 0})";

TEST_F(Capture, OffsetsBehindTheShutterThenTheWholeBuffer) {
  OpenOne(std::string(R"({"model": "TR7BQ", "darkOffsets": [0.02, 0.025, 0.03, 0.04], )") + kLed + "}");
  ASSERT_EQ(record->bufferLen, 2048u);
  ASSERT_TRUE(SpCaptureFlicker(channel, 0, 1, record.get()));
  EXPECT_EQ(dev->flickerAcq.record.load(), record.get());
  const auto shutter = Sent(0x5010);
  ASSERT_EQ(shutter.size(), 2u);
  EXPECT_EQ(shutter[0].args[0], 0u);
  EXPECT_EQ(shutter[1].args[0], 1u);
  const auto starts = Sent(0x6000);
  ASSERT_EQ(starts.size(), 5u);  // four offset probes, then the capture
  for (int r = 0; r < 4; ++r) EXPECT_EQ(starts[r].args, (std::vector<uint32_t>{1024, 512, uint32_t(r), 0, 0}));
  EXPECT_EQ(starts[4].args, (std::vector<uint32_t>{1024, 2048, 1, 0, 0}));
  const auto reads = Sent(0x6001);
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[4].args[0], 2048u);
  EXPECT_EQ(reads[4].dataLength, 4096u);
  // The dark offsets were measured and subtracted: range 2 (gain 2) shows the light alone.
  EXPECT_NEAR(dev->flickerAcq.offset[1], 0.025, 2e-4);
  const float mean = std::accumulate(record->volts.begin(), record->volts.begin() + 2048, 0.0f) / 2048;
  EXPECT_NEAR(mean, 1.0, 0.01);
  EXPECT_GE(*std::min_element(record->volts.begin(), record->volts.begin() + 2048), 0.0f);

  usb->Clear();
  ASSERT_TRUE(SpCaptureFlicker(channel, 0, 1, record.get()));
  EXPECT_TRUE(Sent(0x5010).empty());  // offsets are measured once
  EXPECT_EQ(Sent(0x6000).size(), 1u);
}

TEST_F(Capture, RangeIsClampedAndAutoRangeChoosesTheLargestPeakBelowSaturation) {
  OpenOne(std::string(R"({"model": "TR7A", )") + kLed + "}");
  for (uint16_t range : {uint16_t(7), uint16_t(0xFFFF), uint16_t(3)}) {
    usb->Clear();
    ASSERT_TRUE(SpCaptureFlicker(channel, 0, range, record.get()));
    ASSERT_EQ(Sent(0x6000).size(), 1u);
    EXPECT_EQ(Sent(0x6000)[0].args[2], 3u) << range;
  }
  // Peaks 0.65, 1.3, 2.6, 5.2 V at the four ranges: range 0 is outside the window, so every
  // range is probed and range 2 wins; the next capture keeps it after one probe.
  dev->flickerAcq.range = 0;
  usb->Clear();
  ASSERT_TRUE(SpCaptureFlicker(channel, 1, 0, record.get()));
  EXPECT_EQ(dev->flickerAcq.range, 2);
  std::vector<uint32_t> ranges;
  for (const Request& r : Sent(0x6000)) ranges.push_back(r.args[2]);
  EXPECT_EQ(ranges, (std::vector<uint32_t>{0, 1, 2, 3, 2}));
  usb->Clear();
  ASSERT_TRUE(SpCaptureFlicker(channel, 1, 0, record.get()));
  EXPECT_EQ(Sent(0x6000).size(), 2u);
  EXPECT_NEAR(record->maxVolts, 2.6 + 0.031, 0.01);  // no shutter: the dark offsets stay 0
}

TEST_F(Capture, RefusedWithoutTraffic) {
  OpenOne(R"({"model": "TR7BQ", "protocolRevision": 260})");
  EXPECT_FALSE(SpCaptureFlicker(channel, 0, 0, record.get()));  // no flicker commands in column 3
  EXPECT_FALSE(SpCaptureFlicker(channel, 0, 0, nullptr));
  EXPECT_FALSE(SpCaptureFlicker(5, 0, 0, record.get()));
  EXPECT_FALSE(SpDarkCalibrate(5));
  EXPECT_EQ(usb->RequestCount(), 0u);
  EXPECT_EQ(dev->busy, 0u);
}

TEST_F(Capture, DarkCalibrationSequences) {
  const struct {
    std::string instrument;
    std::vector<uint16_t> codes;
    bool ok;
  } cases[] = {
      {R"({"model": "TR7A"})", {0x1002, 0x1003}, true},
      {R"({"model": "TR7BQ", "darkVariant": 0})", {0x5010, 0x1002, 0x1003, 0x5010}, true},
      {R"({"model": "TR9G"})", {0x5010, 0x1004, 0x1003, 0x5010}, true},
      {R"({"model": "TR7BQ", "darkVariant": 0, "faults": [{"kind": "refusedStatus", "code": 4098}]})",
       {0x5010, 0x1002, 0x5010}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.instrument);
    OpenOne(c.instrument);
    EXPECT_EQ(SpDarkCalibrate(channel), c.ok);
    EXPECT_EQ(usb->Codes(), c.codes);
    if (c.codes.front() == 0x5010) {
      EXPECT_EQ(Sent(0x5010).front().args[0], 0u);
      EXPECT_EQ(Sent(0x5010).back().args[0], 1u);  // re-opened whatever the result
    }
    const auto dark = Sent(c.codes.size() == 2 ? c.codes[0] : c.codes[1]);
    EXPECT_EQ(dark.at(0).args[0], 1u);
    SpShutdown();
  }
}

TEST_F(Capture, FailureOfAnyStepFailsTheCapture) {
  const struct {
    const char* fault;
  } cases[] = {
      {R"({"kind": "refusedStatus", "code": 24576})"},   // StartFlickerCapture refused
      {R"({"kind": "lostReply", "code": 4099})"},        // a status poll unanswered
      {R"({"kind": "shortRead", "code": 24577})"},       // samples cut short
      {R"({"kind": "wrongSequence", "code": 24577})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fault);
    OpenOne(std::string(R"({"model": "TR7A", "faults": [)") + c.fault + "]}");
    EXPECT_FALSE(SpCaptureFlicker(channel, 0, 0, record.get()));
    EXPECT_EQ(dev->busy, 0u);
    EXPECT_TRUE(SpCaptureFlicker(channel, 0, 0, record.get()));  // the fault fired once
    SpShutdown();
  }
}

// Unplugged while it samples, or in the middle of the sample transfer: the capture fails at
// once, the entry leaves the list, and the memory of the entry stays valid for its holders.
TEST_F(Capture, UnplugDuringACapture) {
  for (bool midTransfer : {false, true}) {
    SCOPED_TRACE(midTransfer ? "in the sample transfer" : "while sampling");
    if (midTransfer)
      OpenOne(R"({"model": "TR7A", "faults": [{"kind": "unplug", "code": 24577}]})");
    else
      OpenOne(R"({"model": "TR7A"})", 1.0);  // real time: 2048 samples at 1024 Hz take 2 s
    const auto start = std::chrono::steady_clock::now();
    bool ok = true;
    std::thread capture([&] { ok = SpCaptureFlicker(channel, 0, 0, record.get()); });
    if (midTransfer) {
      capture.join();
      Rescan();
    } else {
      EXPECT_TRUE(WaitFor([&] { return !sim->List().empty() && sim->List()[0].busy; }));
      sim->Unplug(dev->serial);
      Rescan();  // concurrently with the capture
      capture.join();
    }
    EXPECT_FALSE(ok);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(SpIsListed(dev.get()));
    EXPECT_TRUE(dev->closed);
    EXPECT_EQ(dev->busy, 0u);
    usb->Clear();
    EXPECT_FALSE(SpCaptureFlicker(channel, 0, 0, record.get()));
    uint32_t state;
    EXPECT_FALSE(GetStatus(dev.get(), &state));
    EXPECT_EQ(usb->RequestCount(), 0u);
    FlickerAcqDetach(&dev->flickerAcq, record.get());
    SpShutdown();
  }
}

}  // namespace
