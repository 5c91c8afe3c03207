// The capture worker on the simulated instrument: captures delivered through the ring, the
// failure path, ticks without a channel or a record, and stop requests during a capture.
#include "analysis/acquisition.h"
#include "instrument/worker.h"
#include "sim_fixture.h"

namespace {

using test::SimJson;
using test::SimRegistry;
using test::WaitFor;

class Worker : public SimRegistry {
 protected:
  // A worker ticking every 20 ms on the instrument the JSON configures.
  void Begin(const std::string& instrument, double timeScale = 0) {
    Start(SimJson({instrument}, timeScale));
    dev = Open();
    ASSERT_TRUE(dev);
    worker = CaptureWorkerCreate();
    worker->timerDue = worker->timerPeriod = std::chrono::milliseconds(20);
    worker->channel = SpChannelOf(dev->name);
    worker->ring->Reset();
    worker->ring->PutFree(record.get());
  }
  void TearDown() override {
    CaptureWorkerDestroy(worker);
    if (dev) FlickerAcqDetach(&dev->flickerAcq, record.get());
    SimRegistry::TearDown();
  }
  bool Idle() const { return worker->capturing == 0 && worker->stopped == 1; }
  // No capture starts for a few ticks.
  bool NoCaptureFor(std::chrono::milliseconds span) const {
    const uint64_t before = worker->captures;
    std::this_thread::sleep_for(span);
    return worker->captures == before;
  }

  SpDevicePtr dev;
  CaptureWorker* worker = nullptr;
  // 1000 samples at 4096 Hz: bufferLen 2048, half a second in real time.
  FlickerRecordPtr record = MakeFlickerRecord(1000, 4096, 100, 1000);
};

TEST_F(Worker, ContinuousCaptureThroughTheRing) {
  Begin(R"({"model": "TR7A"})");
  EXPECT_TRUE(Idle());
  ASSERT_TRUE(CaptureWorkerStart(worker));
  for (int i = 0; i < 3; ++i) {  // the workbench's side: show the record, hand it back
    FlickerRecord* filled = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (filled = worker->ring->TakeFilled()) != nullptr; }));
    EXPECT_EQ(filled, record.get());
    worker->ring->PutFree(filled);
  }
  EXPECT_EQ(worker->capturing, 1u);
  EXPECT_EQ(worker->failed, 0u);
  ASSERT_TRUE(CaptureWorkerStop(worker));
  EXPECT_TRUE(WaitFor([&] { return Idle() && !worker->timerActive; }));
}

TEST_F(Worker, FailedCaptureStillDeliversItsRecordAndStops) {
  Begin(R"({"model": "TR7A", "faults": [{"kind": "refusedStatus", "code": 24576}]})");
  ASSERT_TRUE(CaptureWorkerStart(worker));
  FlickerRecord* filled = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (filled = worker->ring->TakeFilled()) != nullptr; }));
  EXPECT_EQ(filled, record.get());
  EXPECT_TRUE(WaitFor([&] { return Idle(); }));
  EXPECT_EQ(worker->failed, 1u);
  worker->ring->PutFree(filled);
  EXPECT_TRUE(NoCaptureFor(std::chrono::milliseconds(100)));
  EXPECT_EQ(worker->captures, 1u);
  EXPECT_TRUE(WaitFor([&] { return !worker->timerActive; }));  // the next tick deleted the timer
}

TEST_F(Worker, TicksWithoutChannelOrRecordDoNothing) {
  Begin(R"({"model": "TR7A"})");
  worker->channel = -1;
  ASSERT_TRUE(CaptureWorkerStart(worker));
  EXPECT_TRUE(NoCaptureFor(std::chrono::milliseconds(100)));
  EXPECT_EQ(worker->ring->TakeFree(), record.get());  // the free list kept its record
  worker->channel = 0;                                 // now a channel, but no record
  EXPECT_TRUE(NoCaptureFor(std::chrono::milliseconds(100)));
  EXPECT_EQ(worker->captures, 0u);
  EXPECT_EQ(worker->capturing, 1u);
}

TEST_F(Worker, StopDuringACaptureDeliversItFirst) {
  Begin(R"({"model": "TR7A"})", 1.0);
  ASSERT_TRUE(CaptureWorkerStart(worker));
  ASSERT_TRUE(WaitFor([&] { return !sim->List().empty() && sim->List()[0].busy; }));
  ASSERT_TRUE(CaptureWorkerStop(worker));  // returns at once; the capture runs on
  EXPECT_EQ(worker->stopped, 1u);
  ASSERT_TRUE(WaitFor([&] { return worker->capturing == 0; }));
  EXPECT_EQ(worker->ring->TakeFilled(), record.get());  // delivered before capturing dropped
  EXPECT_EQ(worker->failed, 0u);
  EXPECT_EQ(worker->captures, 1u);
}

// Stop (its wait timed out while a long capture ran), Start, Stop: the worker ends idle, with
// no timer and no further capture.
TEST_F(Worker, StopStartStopDuringALongCaptureEndsIdle) {
  Begin(R"({"model": "TR7A"})", 1.0);
  ASSERT_TRUE(CaptureWorkerStart(worker));
  ASSERT_TRUE(WaitFor([&] { return !sim->List().empty() && sim->List()[0].busy; }));
  ASSERT_TRUE(CaptureWorkerStop(worker));
  ASSERT_TRUE(CaptureWorkerStart(worker));
  ASSERT_TRUE(CaptureWorkerStop(worker));
  ASSERT_TRUE(sim->List()[0].busy);  // all three while the first capture still runs
  FlickerRecord* filled = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (filled = worker->ring->TakeFilled()) != nullptr; }));
  worker->ring->PutFree(filled);
  EXPECT_TRUE(WaitFor([&] { return Idle() && !worker->timerActive; }));
  EXPECT_TRUE(NoCaptureFor(std::chrono::milliseconds(150)));
  EXPECT_EQ(worker->captures, 1u);
  EXPECT_TRUE(Idle());
}

}  // namespace
