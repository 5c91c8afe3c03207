// A workbench frame for one test: built after the test wrote its settings, shown, with a
// fast capture worker, every modal interaction answered by RecordingUi.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "gui_support.h"
#include "instrument/registry.h"
#include "workbench/flicker_frame.h"

class FrameTest : public ::testing::Test {
 protected:
  using Button = UiServices::Button;

  void SetUp() override {
    GuiApp();
    RemoveSettingsFile();
  }

  std::unique_ptr<TfFlicker> MakeFrame() {
    auto frame = std::make_unique<TfFlicker>("Quivra 1.0.3.3");
    frame->resize(1000, 700);
    frame->show();
    frame->captureWorker->timerDue = std::chrono::milliseconds(0);
    frame->captureWorker->timerPeriod = std::chrono::milliseconds(20);
    return frame;
  }

  // Hands the first listed instrument to the frame, answering the dark-calibration offer.
  SpDevicePtr Connect(TfFlicker& frame, Button answer = Button::No) {
    SpDevicePtr dev = SpFirstDevice();
    EXPECT_TRUE(dev);
    if (!dev) return nullptr;
    ui().AnswerButton(answer);
    frame.SetDevice(dev, SpChannelOf(dev->name));
    ui().buttons.clear();
    return dev;
  }

  // Waits until `count` more captures were analysed and shown.
  static bool ShowCaptures(TfFlicker& frame, int count, int timeoutMs = 10000) {
    const uint64_t target = frame.capturesShown + count;
    return WaitFor(
        [&] {
          frame.Timer1Timer();
          return frame.capturesShown >= target;
        },
        timeoutMs);
  }

  // A frame on the first listed instrument, capturing, with its first capture shown.
  std::unique_ptr<TfFlicker> CapturingFrame() {
    auto frame = MakeFrame();
    Connect(*frame);
    frame->sbtnCaptureClick();
    EXPECT_TRUE(ShowCaptures(*frame, 1));
    return frame;
  }

  RecordingUi& ui() { return scoped_.ui; }

 private:
  ScopedUi scoped_;
};
