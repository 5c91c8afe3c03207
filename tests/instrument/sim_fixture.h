// The registry over the simulated instrument at time scale 0 (every operation completes at
// once), seen through a RecordingDriver that logs the requests and can make the count or an
// identity string fail.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "fake_driver.h"
#include "instrument/protocol.h"
#include "instrument/registry.h"
#include "instrument/sim/sim_driver.h"

namespace test {

// A configuration of one instrument object per element, at time scale `timeScale`.
inline std::string SimJson(const std::vector<std::string>& instruments, double timeScale = 0) {
  std::string json = "{\"timeScale\": " + std::to_string(timeScale) + ", \"instruments\": [";
  for (std::size_t i = 0; i < instruments.size(); ++i) json += (i ? "," : "") + instruments[i];
  return json + "]}";
}

// Polls `done` until it holds or `limit` passed.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

class SimRegistry : public ::testing::Test {
 protected:
  // Starts the registry (without polling) over the instruments the JSON configures.
  void Start(const std::string& json, int polling = 0, int periodMs = 300) {
    std::string error;
    sim = SimDriver::FromJson(json, &error);
    ASSERT_TRUE(sim) << error;
    usb = std::make_shared<RecordingDriver>(sim);
    UsbSetDriver(usb);
    SpInit(polling, periodMs);
  }
  void SetUp() override { SetInstrumentPauseScale(0); }
  void TearDown() override {
    SpShutdown();
    UsbSetDriver(nullptr);
    SetInstrumentPauseScale(1);
  }
  // Rescans and returns the first entry.
  SpDevicePtr Open() {
    Rescan();
    return SpFirstDevice();
  }
  std::shared_ptr<SimDriver> sim;
  std::shared_ptr<RecordingDriver> usb;
};

}  // namespace test
