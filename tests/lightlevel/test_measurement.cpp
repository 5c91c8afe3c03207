// SpMeasureSpectrum against the simulated instrument: the start command by protocol revision
// and firmware, the read-out, the calibration copy, and the readings that must be refused.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "instrument/registry.h"
#include "instrument/sim/sim_driver.h"
#include "instrument/usb_driver.h"
#include "lightlevel/spectrum_record.h"

namespace {

constexpr uint16_t kCodeReadSpectrum = 0x0003;
constexpr uint16_t kCodeReadPixels = 0x0006;
constexpr uint16_t kCodeStartLegacy = 0x1001;
constexpr uint16_t kCodeGetStatus = 0x1003;
constexpr uint16_t kCodeStartCurrent = 0x1007;

constexpr double kConfiguredLux = 500.0;

SimInstrumentConfig Instrument(uint16_t modelCode, uint16_t protocolRev) {
  SimInstrumentConfig c;
  c.modelCode = modelCode;
  c.protocolRevision = protocolRev;
  c.lux = kConfiguredLux;
  return c;
}

// One simulated instrument, opened by the registry without its polling thread.
class SimulatedReading : public ::testing::Test {
 protected:
  void Open(const SimInstrumentConfig& instrument) {
    SimConfig config;
    config.timeScale = 0;
    config.instruments = {instrument};
    sim_ = std::make_shared<SimDriver>(config);
    serial_ = instrument.serial;
    UsbSetDriver(sim_);
    SpInit(0, kMinPollingPeriodMs);
    Rescan();
    dev_ = SpFirstDevice();
    ASSERT_TRUE(dev_) << "the simulated instrument did not open";
    sim_->ResetCounters(serial_);
    record_ = SpMakeSpectrum();
    ASSERT_TRUE(record_);
  }
  void TearDown() override {
    record_.reset();
    dev_.reset();
    SpShutdown();
    UsbSetDriver(nullptr);
  }
  bool Measure() { return SpMeasureSpectrum(dev_.get(), record_.get(), 1, 100, 0); }
  uint64_t Requests(uint16_t code) const {
    SimCounters counters;
    EXPECT_TRUE(sim_->Counters(serial_, &counters));
    const auto it = counters.requests.find(code);
    return it == counters.requests.end() ? 0 : it->second;
  }
  uint64_t TotalRequests() const {
    SimCounters counters;
    EXPECT_TRUE(sim_->Counters(serial_, &counters));
    return counters.totalRequests;
  }
  // Lux of the record as it stands now (evaluated on a copy of the spectrum).
  double Evaluate() {
    SpEvaluateSpectrum(record_.get());
    return record_->lux;
  }

  std::shared_ptr<SimDriver> sim_;
  std::string serial_;
  SpDevicePtr dev_;
  SpectrumRecordPtr record_;
};

// --- which start command ------------------------------------------------------------------

struct StartCase {
  const char* name;
  uint16_t modelCode;
  uint16_t protocolRev;
  std::array<uint8_t, 4> firmware;
  bool legacy;
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class StartCommand : public SimulatedReading, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartCommand, ChosenByRevisionAndFirmwareThenReadOut) {
  const StartCase& c = GetParam();
  SimInstrumentConfig instrument = Instrument(c.modelCode, c.protocolRev);
  instrument.firmware = c.firmware;
  Open(instrument);

  ASSERT_TRUE(Measure());
  EXPECT_EQ(Requests(kCodeStartLegacy), c.legacy ? 1u : 0u);
  EXPECT_EQ(Requests(kCodeStartCurrent), c.legacy ? 0u : 1u);
  // The legacy start answers once the spectrum is taken: no ready-wait follows it.
  if (c.legacy)
    EXPECT_EQ(Requests(kCodeGetStatus), 0u);
  else
    EXPECT_GE(Requests(kCodeGetStatus), 1u);
  EXPECT_EQ(Requests(kCodeReadSpectrum), 1u);
  EXPECT_EQ(Requests(kCodeReadPixels), 1u);
  EXPECT_EQ(dev_->busy, 0u);

  const SpectralArray& s = *record_->spectralData;
  EXPECT_EQ(s.count, 401);
  EXPECT_EQ(s.startNm, 380.0f);
  EXPECT_EQ(s.endNm, 780.0f);
  EXPECT_EQ(record_->pixelCount, 1024);
  EXPECT_EQ(record_->lastPixel, 1023);
  EXPECT_EQ(record_->spectrumHeader[0], 401u);  // the block's word at offset 12
  uint32_t scaleBits;
  std::memcpy(&scaleBits, &s.scale, sizeof scaleBits);
  EXPECT_EQ(record_->spectrumHeader[1], scaleBits);  // offset 8: the scale
  EXPECT_NEAR(Evaluate(), kConfiguredLux, kConfiguredLux * 0.005);
}

INSTANTIATE_TEST_SUITE_P(
    Revisions, StartCommand,
    ::testing::Values(StartCase{"Rev101Legacy", 0xA3, 0x101, {1, 2, 3, 0}, true},
                      StartCase{"Rev102Legacy", 0xA3, 0x102, {1, 2, 3, 0}, true},
                      // Its column has no current start command: the legacy one, not none.
                      StartCase{"Rev103Legacy", 0xA3, 0x103, {1, 2, 3, 0}, true},
                      StartCase{"Rev104Current", 0xA3, 0x104, {1, 2, 3, 0}, false},
                      StartCase{"Rev107Current", 0xAD, 0x107, {1, 2, 3, 0}, false},
                      StartCase{"Tr7cFirmware116Legacy", 0xA5, 0x107, {1, 1, 6, 0}, true},
                      StartCase{"Tr7cFirmware117Current", 0xA5, 0x107, {1, 1, 7, 0}, false},
                      StartCase{"Tr7cFirmware120Current", 0xA5, 0x107, {1, 2, 0, 0}, false},
                      StartCase{"OtherModelOnOldFirmwareCurrent", 0xA3, 0x107, {1, 1, 6, 0}, false}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// --- failures on the way ------------------------------------------------------------------

struct FaultCase {
  const char* name;
  uint16_t protocolRev;
  SimFaultKind kind;
  uint16_t code;
  uint64_t spectrumReads;
  uint64_t pixelReads;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

class FailedStep : public SimulatedReading, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FailedStep, ReadsNothingAfterItAndStillCopiesTheCalibration) {
  const FaultCase& c = GetParam();
  SimInstrumentConfig instrument = Instrument(0xA3, c.protocolRev);
  instrument.gains = {1.25f, 1.5f, 0.75f, 2.0f};
  instrument.matrix = {0.9, 0.1, 0, 0.05, 1.1, -0.15, 0, 0.2, 0.8};
  Open(instrument);
  SimFault fault;
  fault.kind = c.kind;
  fault.code = c.code;
  fault.persistent = true;
  ASSERT_TRUE(sim_->InjectFault(serial_, fault));

  EXPECT_FALSE(Measure());
  EXPECT_EQ(Requests(kCodeReadSpectrum), c.spectrumReads);
  EXPECT_EQ(Requests(kCodeReadPixels), c.pixelReads);
  EXPECT_EQ(dev_->busy, 0u);
  // Nothing of the instrument's spectrum reached the record: it reads as no light.
  EXPECT_EQ(record_->spectralData->count, 0);
  EXPECT_EQ(Evaluate(), 0.0);

  // The calibration is the one the instrument reported (revisions below 0x106 report none).
  EXPECT_EQ(record_->xGain, dev_->xGain);
  EXPECT_EQ(record_->yGain, dev_->yGain);
  EXPECT_EQ(record_->zGain, dev_->zGain);
  EXPECT_EQ(record_->lGain, dev_->lGain);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(record_->correction[i / 3][i % 3], dev_->colourMatrix[i]) << i;
  if (c.protocolRev == 0x107) {
    EXPECT_EQ(record_->xGain, 1.25f);
    EXPECT_EQ(record_->lGain, 2.0f);
    EXPECT_EQ(record_->correction[1][2], -0.15);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FailedStep,
    ::testing::Values(
        FaultCase{"RefusedStart", 0x107, SimFaultKind::kRefusedStatus, kCodeStartCurrent, 0, 0},
        FaultCase{"RefusedLegacyStart", 0x102, SimFaultKind::kRefusedStatus, kCodeStartLegacy, 0, 0},
        FaultCase{"RefusedStatusPoll", 0x107, SimFaultKind::kRefusedStatus, kCodeGetStatus, 0, 0},
        FaultCase{"LostStatusReply", 0x107, SimFaultKind::kLostReply, kCodeGetStatus, 0, 0},
        FaultCase{"RefusedSpectrumRead", 0x107, SimFaultKind::kRefusedStatus, kCodeReadSpectrum, 1, 0},
        FaultCase{"ShortSpectrumRead", 0x107, SimFaultKind::kShortRead, kCodeReadSpectrum, 1, 0},
        FaultCase{"RefusedPixelReadAfterGoodSpectrum", 0x107, SimFaultKind::kRefusedStatus, kCodeReadPixels, 1, 1}),
    [](const ::testing::TestParamInfo<FaultCase>& info) { return std::string(info.param.name); });

// --- what the instrument reports about its spectrum ---------------------------------------

struct ShapeCase {
  const char* name;
  int32_t wavelengthStart, wavelengthEnd, spectrumPoints;
  uint32_t pixelCount;
  bool accepted;
  int32_t count;  // values the record takes when accepted
  float endNm;
};

void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }

class SpectrumShape : public SimulatedReading, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(SpectrumShape, TakesNoMoreThanReceivedAndHeld) {
  const ShapeCase& c = GetParam();
  SimInstrumentConfig instrument = Instrument(0xA3, 0x107);
  instrument.wavelengthStart = c.wavelengthStart;
  instrument.wavelengthEnd = c.wavelengthEnd;
  instrument.spectrumPoints = c.spectrumPoints;
  instrument.pixelCount = c.pixelCount;
  Open(instrument);

  ASSERT_EQ(Measure(), c.accepted);
  EXPECT_EQ(dev_->busy, 0u);
  if (!c.accepted) {
    // Refused before anything is sent: no start, no read-out.
    EXPECT_EQ(TotalRequests(), 0u);
    EXPECT_EQ(record_->spectralData->count, 0);
    return;
  }
  const SpectralArray& s = *record_->spectralData;
  EXPECT_EQ(s.count, c.count);
  EXPECT_EQ(s.startNm, float(c.wavelengthStart));
  EXPECT_EQ(s.endNm, c.endNm);
  for (int i = c.count; i < kSpectralCapacity; ++i) ASSERT_EQ(s.values[i], 0.0f) << i;
  EXPECT_NEAR(Evaluate(), kConfiguredLux, kConfiguredLux * 0.005);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, SpectrumShape,
    ::testing::Values(
        ShapeCase{"PointsBeyondTheBuffer", 380, 780, 1025, 1024, false, 0, 0},
        ShapeCase{"PixelsBeyondTheBuffer", 380, 780, 401, 1025, false, 0, 0},
        ShapeCase{"EndBelowStart", 780, 380, 401, 1024, false, 0, 0},
        ShapeCase{"NoPoints", 380, 780, 0, 1024, false, 0, 0},
        ShapeCase{"RangeWiderThanThePointsReceived", 380, 780, 200, 1024, true, 200, 579},
        ShapeCase{"FullBuffers", 300, 1323, 1024, 1024, true, 1001, 1300},
        ShapeCase{"SinglePoint", 555, 555, 1, 1024, true, 1, 555}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

TEST_F(SimulatedReading, EntryNoLongerListedIsRefusedWithoutTraffic) {
  SimInstrumentConfig instrument = Instrument(0xA3, 0x107);
  instrument.gains = {2.0f, 2.0f, 2.0f, 2.0f};
  Open(instrument);
  ASSERT_TRUE(sim_->Unplug(serial_));
  Rescan();  // the registry drops the entry; the test still holds it
  ASSERT_FALSE(SpIsListed(dev_.get()));
  EXPECT_FALSE(Measure());
  EXPECT_EQ(record_->yGain, 1.0f);
  EXPECT_EQ(record_->spectralData->count, 0);
  EXPECT_EQ(dev_->busy, 0u);
}

}  // namespace
