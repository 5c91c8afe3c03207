// The flicker acquisition unit over a scripted sensor: counts to volts, dark offsets,
// auto-range, the capture sequence, and one record per operation.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <tuple>
#include <vector>

#include "analysis/acquisition.h"

namespace {

// The sensor behind the unit's two callbacks.
struct Sensor {
  std::function<uint16_t(int32_t range, uint32_t i)> counts = [](int32_t, uint32_t) { return uint16_t(0); };
  std::set<int32_t> failing;  // ranges whose reads fail
  std::function<void()> duringRead;
  struct Read {
    int32_t range;
    uint32_t freq, count;
    uint16_t* buffer;
  };
  std::vector<Read> reads;
  std::vector<std::pair<int32_t, uint32_t>> controls;
};
Sensor* sensor = nullptr;

int ReadFake(FlickerAcq*, int32_t range, uint32_t freq, uint32_t count, uint16_t* out) {
  sensor->reads.push_back({range, freq, count, out});
  if (sensor->duringRead) sensor->duringRead();
  if (sensor->failing.count(range)) return -1;
  for (uint32_t i = 0; i < count; ++i) out[i] = sensor->counts(range, i);
  return 0;
}

int ControlFake(FlickerAcq*, int32_t code, uint32_t value) {
  sensor->controls.emplace_back(code, value);
  return 0;
}

float Volts(uint16_t c) { return float(c) * 5.0f * (1.0f / 65536.0f); }

class Acquisition : public ::testing::Test {
 protected:
  void SetUp() override {
    sensor = &s;
    unit.readSamples = ReadFake;
    unit.control = ControlFake;
    record = MakeFlickerRecord(1024, 4096, 100, 1000);
    ASSERT_TRUE(record);
    unit.record = record.get();
  }
  void TearDown() override { sensor = nullptr; }

  // Makes range r read a constant `volts` exactly, through its offset.
  void SetLevel(int32_t r, float volts) {
    const auto c = uint16_t(std::ceil(volts * 65536.0f / 5.0f));
    unit.offset[r] = Volts(c) - volts;
    levels[r] = c;
    s.counts = [this](int32_t range, uint32_t) { return levels[range]; };
  }

  std::vector<int32_t> RangesRead() const {
    std::vector<int32_t> ranges;
    for (const auto& r : s.reads) ranges.push_back(r.range);
    return ranges;
  }

  Sensor s;
  FlickerAcq unit;
  FlickerRecordPtr record;
  uint16_t levels[4] = {};
};

TEST_F(Acquisition, CountsToVoltsWithOffsetAndClamp) {
  const struct {
    uint16_t counts;
    float offset;
    uint32_t subtract;
    float volts;
  } cases[] = {{65535, 0, 1, 4.99992371f}, {0, 0, 1, 0},       {13107, 1.2f, 1, 0},
               {13107, 1.2f, 0, 0.99998474f}, {32768, 0.5f, 1, 2.0f}, {0, 0.1f, 1, 0}};
  for (const auto& c : cases) {
    unit.offset[2] = c.offset;
    unit.subtractOffset = c.subtract;
    s.counts = [&](int32_t, uint32_t) { return c.counts; };
    uint16_t counts[4];
    float volts[4];
    ASSERT_EQ(FlickerAcqRead(&unit, 2, 8192, 4, counts, volts), 0);
    for (float v : volts) EXPECT_FLOAT_EQ(v, c.volts) << c.counts << " - " << c.offset;
  }
  s.failing = {2};
  uint16_t counts[4];
  float volts[4];
  EXPECT_EQ(FlickerAcqRead(&unit, 2, 8192, 4, counts, volts), -1);
}

TEST_F(Acquisition, AutoRangeChoices) {
  const struct {
    const char* what;
    int32_t current;
    float peaks[4];
    std::set<int32_t> failing;
    int32_t chosen;
    std::vector<int32_t> read;
  } cases[] = {
      {"current range in the window", 1, {4.9f, 3.0f, 0.2f, 0.1f}, {}, 1, {1}},
      {"exactly 4.5 measures all", 0, {4.5f, 2.0f, 1.0f, 0.5f}, {}, 1, {0, 1, 2, 3}},
      {"exactly 1.0 measures all", 2, {4.9f, 4.7f, 1.0f, 0.2f}, {}, 2, {2, 0, 1, 3}},
      {"failed first test", 0, {4.9f, 4.6f, 2.0f, 0.4f}, {0}, 2, {0, 1, 2, 3}},
      {"every range saturates", 3, {4.9f, 4.8f, 4.6f, 4.5f}, {}, 3, {3, 0, 1, 2}},
      {"nothing reads", 1, {1, 1, 1, 1}, {0, 1, 2, 3}, 3, {1, 0, 2, 3}},
      {"ties go to the lower range", 3, {0.5f, 0.5f, 0.2f, 0.1f}, {}, 0, {3, 0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    s.reads.clear();
    s.failing = c.failing;
    for (int r = 0; r < 4; ++r) SetLevel(r, c.peaks[r]);
    unit.range = c.current;
    EXPECT_EQ(FlickerAcqAutoRange(&unit), c.chosen);
    EXPECT_EQ(unit.range, c.chosen);
    EXPECT_EQ(RangesRead(), c.read);
    for (const auto& r : s.reads) EXPECT_EQ(r.count, 512u);
  }
}

TEST_F(Acquisition, OffsetsWithoutRecordUseTheStandbyRecord) {
  unit.record = nullptr;
  unit.offset[0] = 9.0f;  // the measurement itself is not corrected
  s.counts = [](int32_t range, uint32_t i) { return uint16_t(1000 * (range + 1) + (i % 2) * 2); };
  s.failing = {2};
  EXPECT_EQ(FlickerAcqMeasureOffsets(&unit), 0);
  FlickerRecord* standby = unit.record.load();
  ASSERT_NE(standby, nullptr);
  EXPECT_EQ(standby, unit.standby.get());
  EXPECT_EQ(standby->sampleCount, 8192u);
  EXPECT_EQ(standby->sampleFreq, 81920u);
  ASSERT_EQ(s.reads.size(), 4u);
  for (const auto& r : s.reads) {
    EXPECT_EQ(r.count, 512u);
    EXPECT_EQ(r.freq, 81920u);
  }
  EXPECT_FLOAT_EQ(unit.offset[0], Volts(1001));
  EXPECT_FLOAT_EQ(unit.offset[1], Volts(2001));
  EXPECT_FLOAT_EQ(unit.offset[2], Volts(2001));  // failed read: the previous average
  EXPECT_FLOAT_EQ(unit.offset[3], Volts(4001));
  EXPECT_EQ(unit.offsetsValid, 0u);  // the caller marks them valid
}

TEST_F(Acquisition, CaptureMeasuresOffsetsOnceBehindTheShutter) {
  unit.controlMode = 1;
  s.counts = [](int32_t, uint32_t) { return uint16_t(3277); };
  ASSERT_EQ(FlickerAcqCapture(&unit, 0, 2), 0);
  EXPECT_EQ(s.controls, (std::vector<std::pair<int32_t, uint32_t>>{{1, 0}, {1, 1}}));
  EXPECT_EQ(RangesRead(), (std::vector<int32_t>{0, 1, 2, 3, 2}));
  EXPECT_EQ(s.reads.back().count, record->bufferLen);
  EXPECT_EQ(s.reads.back().freq, 4096u);
  EXPECT_EQ(unit.offsetsValid, 1u);
  EXPECT_FLOAT_EQ(record->volts[record->bufferLen - 1], 0.0f);  // the dark level was subtracted

  s.reads.clear();
  s.controls.clear();
  ASSERT_EQ(FlickerAcqCapture(&unit, 0, 1), 0);
  EXPECT_TRUE(s.controls.empty());
  EXPECT_EQ(RangesRead(), std::vector<int32_t>{1});

  unit.controlMode = 0;
  unit.offsetsValid = 0;
  s.reads.clear();
  ASSERT_EQ(FlickerAcqCapture(&unit, 0, 0), 0);
  EXPECT_EQ(RangesRead(), std::vector<int32_t>{0});

  s.failing = {0};
  EXPECT_EQ(FlickerAcqCapture(&unit, 0, 0), -1);
  unit.record = nullptr;
  EXPECT_EQ(FlickerAcqCapture(&unit, 0, 0), -1);
}

// The user interface may attach another record while an operation runs: the operation goes
// on with the record it started with.
TEST_F(Acquisition, OperationsReadTheRecordOnce) {
  FlickerRecordPtr other = MakeFlickerRecord(4096, 8192, 100, 1000);
  unit.controlMode = 1;
  s.counts = [](int32_t, uint32_t) { return uint16_t(20000); };
  s.duringRead = [&] { unit.record = other.get(); };
  ASSERT_EQ(FlickerAcqCapture(&unit, 1, 0), 0);
  for (const auto& r : s.reads) {
    EXPECT_EQ(r.buffer, record->rawCounts.data());
    EXPECT_EQ(r.freq, record->sampleFreq);
  }
  EXPECT_EQ(s.reads.back().count, record->bufferLen);
  EXPECT_EQ(record->rawCounts[record->bufferLen - 1], 20000);
  EXPECT_EQ(other->rawCounts[0], 0);

  s.reads.clear();
  unit.record = record.get();
  FlickerAcqMeasureOffsets(&unit);
  for (const auto& r : s.reads) EXPECT_EQ(r.buffer, record->rawCounts.data());
  EXPECT_EQ(record->bufferLen, 2048u);
}

TEST_F(Acquisition, DetachClearsOnlyTheRecordGiven) {
  FlickerRecordPtr other = MakeFlickerRecord(1024, 4096, 100, 1000);
  FlickerAcqDetach(&unit, other.get());
  EXPECT_EQ(unit.record.load(), record.get());
  FlickerAcqDetach(&unit, record.get());
  EXPECT_EQ(unit.record.load(), nullptr);
}

TEST_F(Acquisition, ProbesRefuseRecordsTooShortForThem) {
  record = MakeFlickerRecord(100, 4096, 10, 1000, 0);  // 120 samples: shorter than a probe
  unit.record = record.get();
  SetLevel(0, 2.0f);
  unit.range = 0;
  EXPECT_EQ(FlickerAcqAutoRange(&unit), 3);  // nothing could be probed
  EXPECT_TRUE(s.reads.empty());
}

}  // namespace
