#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "analysis/numfmt.h"
#include "analysis/record.h"
#include "instrument/pstlm_run.h"
#include "instrument/registry.h"
#include "instrument/usb_driver.h"
#if QUIVRA_HAVE_SIM
#include "instrument/sim/sim_driver.h"
#endif

namespace {

using namespace std::chrono_literals;

// Collects what the run hands over, and what the request flag read inside the callback.
struct Collector {
  std::mutex mutex;
  std::vector<PstLmOutcome> outcomes;
  std::vector<bool> flagDuringCallback;
  PstLmRun* run = nullptr;

  PstLmRun::Callback Callback() {
    return [this](const PstLmOutcome& o) {
      const bool flag = run->Requested();
      std::lock_guard<std::mutex> lock(mutex);
      outcomes.push_back(o);
      flagDuringCallback.push_back(flag);
    };
  }
};

// A short record: the run does not care about the length, the flickermeter refuses it.
FlickerRecordPtr SmallRecord() { return MakeFlickerRecord(4096, 4096, 100, 1000); }

// No instrument on the channel: the capture fails, the record stays all zero, the analysis
// still runs and the flickermeter refuses the zero mean. The texts are still handed over,
// the PstLM one as a dash, and the flag is cleared only after the callback.
TEST(PstLmRun, FailedCaptureStillReportsThenClearsTheFlag) {
  Collector got;
  PstLmRun run(got.Callback());
  got.run = &run;
  auto record = SmallRecord();
  record->gainIndex = 2;
  PstLmRequest request;
  request.channel = 5;
  request.record = record.get();
  request.decimalSep = ',';
  ASSERT_TRUE(run.Request(request));
  ASSERT_TRUE(run.WaitIdle(10s));
  EXPECT_FALSE(run.Requested());
  EXPECT_EQ(run.Phase(), PstLmPhase::Idle);
  EXPECT_EQ(run.Elapsed(), std::chrono::steady_clock::duration::zero());

  std::lock_guard<std::mutex> lock(got.mutex);
  ASSERT_EQ(got.outcomes.size(), 1u);
  EXPECT_TRUE(got.flagDuringCallback[0]);
  const PstLmOutcome& o = got.outcomes[0];
  EXPECT_FALSE(o.captured);
  EXPECT_FALSE(o.computed);
  EXPECT_EQ(o.pstText, kPstFailedText);
  EXPECT_EQ(o.frequency, record->frequency);
  EXPECT_EQ(o.frequencyText, FormatPattern(record->frequency, "0.0000", ','));
  EXPECT_EQ(o.svmText, "0,0000");
  EXPECT_EQ(record->gainIndex, 2);  // not a capture: the range is left alone
}

TEST(PstLmRun, RunsAgainAfterEachRequestAndRefusesANullRecord) {
  Collector got;
  PstLmRun run(got.Callback());
  got.run = &run;
  auto record = SmallRecord();
  PstLmRequest request;
  request.record = nullptr;
  EXPECT_FALSE(run.Request(request));
  EXPECT_FALSE(run.Requested());
  request.record = record.get();
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(run.Request(request)) << i;
    ASSERT_TRUE(run.WaitIdle(10s)) << i;
  }
  std::lock_guard<std::mutex> lock(got.mutex);
  EXPECT_EQ(got.outcomes.size(), 3u);
}

// While a run is on, a second request is refused. Stop while the callback still runs: Stop
// waits for it, the flag goes down, and the run refuses further requests. Destroying an idle run that never started a thread is fine.
TEST(PstLmRun, StopWaitsForTheRunningStepAndRefusesLaterRequests) {
  std::mutex m;
  std::condition_variable cv;
  bool inCallback = false, release = false;
  std::atomic<int> calls{0};
  PstLmRun run([&](const PstLmOutcome&) {
    std::unique_lock<std::mutex> lock(m);
    inCallback = true;
    cv.notify_all();
    cv.wait(lock, [&] { return release; });
    ++calls;
  });
  auto record = SmallRecord();
  PstLmRequest request;
  request.record = record.get();
  ASSERT_TRUE(run.Request(request));
  {
    std::unique_lock<std::mutex> lock(m);
    ASSERT_TRUE(cv.wait_for(lock, 10s, [&] { return inCallback; }));
  }
  EXPECT_EQ(run.Phase(), PstLmPhase::Reporting);
  EXPECT_FALSE(run.WaitIdle(50ms));
  EXPECT_FALSE(run.Request(request));  // one run at a time

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    run.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(stopped);  // the callback is still running
  {
    std::lock_guard<std::mutex> lock(m);
    release = true;
  }
  cv.notify_all();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(run.Requested());
  EXPECT_FALSE(run.Request(request));
  run.Stop();  // again: nothing happens

  PstLmRun idle(nullptr);
}

#if QUIVRA_HAVE_SIM

// The registry over a simulated instrument configured by JSON, one instrument on a channel.
class PstLmRunSim : public testing::Test {
 protected:
  void Open(const std::string& light, double timeScale = 0) {
    std::string error;
    driver_ = SimDriver::FromJson(R"({"timeScale": )" + std::to_string(timeScale) +
                                      R"(, "instruments": [{"serial": "PST00001", "light": )" +
                                      light + "}]}",
                                  &error);
    ASSERT_TRUE(driver_) << error;
    UsbSetDriver(driver_);
    SpInit(1, kMinPollingPeriodMs);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!(device_ = SpFirstDevice()) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(device_);
    channel_ = SpChannelOf(device_->name);
    ASSERT_GE(channel_, 0);
  }

  void TearDown() override {
    if (record_ && device_) FlickerAcqDetach(&device_->flickerAcq, record_.get());
    SpShutdown();
    UsbSetDriver(nullptr);
  }

  // One whole run on the standard 180 s record; the outcome is returned.
  PstLmOutcome RunOnce(uint16_t autoGain, uint16_t gainIndex) {
    record_ = MakeFlickerRecord(737280, 4096, 100, 1000);
    PstLmOutcome outcome;
    int calls = 0;
    PstLmRun run([&](const PstLmOutcome& o) {
      outcome = o;
      ++calls;
    });
    PstLmRequest request;
    request.channel = channel_;
    request.autoGain = autoGain;
    request.gainIndex = gainIndex;
    request.record = record_.get();
    EXPECT_TRUE(run.Request(request));
    EXPECT_TRUE(run.WaitIdle(60s));
    run.Stop();
    EXPECT_EQ(calls, 1);
    return outcome;
  }

  std::shared_ptr<SimDriver> driver_;
  SpDevicePtr device_;
  int channel_ = -1;
  FlickerRecordPtr record_;
};

TEST_F(PstLmRunSim, SteadyLightGivesPstNearZero) {
  Open(R"({"waveform": "dc", "level": 0.8, "noise": 0})");
  const PstLmOutcome o = RunOnce(1, 0);
  ASSERT_TRUE(o.captured);
  ASSERT_TRUE(o.computed);
  EXPECT_LT(o.result.pst, 0.01);
  EXPECT_EQ(o.pstText, FormatPattern(o.result.pst, "0.0000"));
  EXPECT_EQ(o.svmText, FormatPattern(record_->svm, "0.0000"));
  EXPECT_EQ(record_->gainIndex, device_->flickerAcq.range);
  EXPECT_NEAR(record_->average, 0.8f * (1 << record_->gainIndex), 0.5f);
}

// The calibration point through the instrument: a sinusoidal modulation of 0.630 % peak to
// peak at 8.8 Hz (modulation (max - min) / (max + min) = 0.00315) gives Pinst about 1 and
// a PstLM about sqrt(0.5096), with 16-bit samples.
TEST_F(PstLmRunSim, CalibrationModulationThroughTheInstrument) {
  Open(R"({"waveform": "sine", "frequency": 8.8, "modulation": 0.00315, "level": 0.9,
           "noise": 0})");
  const PstLmOutcome o = RunOnce(1, 0);
  ASSERT_TRUE(o.captured);
  ASSERT_TRUE(o.computed);
  EXPECT_NEAR(o.result.pinstMax, 1.0, 0.05);
  EXPECT_NEAR(o.result.pst, std::sqrt(0.5096), 0.03);
  EXPECT_NEAR(o.frequency, 8.8, 0.1);
}

TEST_F(PstLmRunSim, FixedGainIsRecordedAsCapturedWith) {
  Open(R"({"waveform": "dc", "level": 0.3, "noise": 0})");
  const PstLmOutcome o = RunOnce(0, 7);  // above the last range: range 3
  ASSERT_TRUE(o.captured);
  EXPECT_EQ(record_->gainIndex, 3);
}

// Shutting down in the middle of a real-time capture: with the instrument closed the capture
// fails at its next command, and Stop returns promptly without calling back.
TEST_F(PstLmRunSim, StopDuringACaptureAfterTheInstrumentIsClosed) {
  Open(R"({"waveform": "dc", "level": 0.8})", 1.0);
  record_ = MakeFlickerRecord(737280, 4096, 100, 1000);
  std::atomic<int> calls{0};
  PstLmRun run([&](const PstLmOutcome&) { ++calls; });
  PstLmRequest request;
  request.channel = channel_;
  request.autoGain = 1;
  request.record = record_.get();
  ASSERT_TRUE(run.Request(request));
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (run.Phase() != PstLmPhase::Capturing && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(run.Phase(), PstLmPhase::Capturing);
  const auto start = std::chrono::steady_clock::now();
  run.RequestStop();
  FlickerAcqDetach(&device_->flickerAcq, record_.get());
  SpShutdown();
  run.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(run.Requested());
}

#endif

}  // namespace
