// TfFlicker: the continuous capture cycle. The worker captures on its own thread into the one
// record that circulates through its ring; Timer1 picks the filled record up, analyses it,
// shows it, lets the store keep a copy and hands it back.
#include <QThread>
#include <chrono>

#include "ui/ui_services.h"
#include "workbench/flicker_frame.h"
#include "workbench/icons.h"

namespace {

// Polling step of the wait for the worker to confirm a stop.
constexpr auto kStopPoll = std::chrono::milliseconds(10);

}  // namespace

bool TfFlicker::WorkerIdle() const { return captureWorker->capturing.load() == 0; }

void TfFlicker::sbtnCaptureClick() {
  if (!device) return;
  if (!capturing && RefuseWhenBusy(false, true)) return;
  capturing = capturing ? 0 : 1;
  if (capturing) {
    pstDone = 0;
    bool started = false;
    try {
      started = StartCapture();
    } catch (...) {
      capturing = 0;
      UpdateCaptureButton();
      throw;
    }
    if (!started) capturing = 0;
  } else {
    StopCapture();
  }
  UpdateCaptureButton();
}

void TfFlicker::sButton1Click() { settingsChanged = 1; }

void TfFlicker::Timer1Timer() {
  // A failed capture is reported even when the main window has already dropped the
  // instrument: the failure needs no instrument to be shown.
  if (capturing && (device || captureWorker->failed.load() != 0)) CaptureStep();
}

bool TfFlicker::StartCapture() {
  // The new records first: a bad option text throws here, before anything is replaced.
  FlickerRecordPtr newRing = NewRecordFromSettings();
  FlickerRecordPtr newStore = NewRecordFromSettings();
  if (!newRing || !newStore) {
    Dispose(std::move(newRing));
    Dispose(std::move(newStore));
    return false;
  }

  // The previous ring record may still be in the worker's hands when its last stop was not
  // confirmed (a long capture): it is retired then, and freed once the worker gives it back.
  const bool idle = WorkerIdle();
  captureWorker->ring->Reset();
  FlickerRecordPtr previous = std::move(ringRecord);
  ringRecord = std::move(newRing);
  if (idle) {
    Dispose(std::move(previous));
    for (FlickerRecordPtr& r : retiredRecords) Dispose(std::move(r));
    retiredRecords.clear();
  } else if (previous) {
    retiredRecords.push_back(std::move(previous));
  }
  Dispose(flkTank->Install(std::move(newStore)));

  captureWorker->channel = channel;
  captureWorker->autoRange = static_cast<uint16_t>(autoGain);
  captureWorker->range = static_cast<uint16_t>(gainIndex);
  captureWorker->ring->PutFree(ringRecord.get());
  CaptureWorkerStart(captureWorker);
  return true;
}

bool TfFlicker::StopCapture() {
  CaptureWorkerStop(captureWorker);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(stopWaitMs);
  for (;;) {
    if (WorkerIdle()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    QThread::msleep(static_cast<unsigned long>(kStopPoll.count()));
  }
}

void TfFlicker::CaptureStep() {
  if (settingsChanged) {
    if (!StopCapture()) {
      capturing = 0;
      UpdateCaptureButton();
      return;
    }
    bool started = false;
    try {
      started = StartCapture();
    } catch (...) {
      // A bad option text: the capture ends here instead of failing again every tick.
      capturing = 0;
      settingsChanged = 0;
      UpdateCaptureButton();
      throw;
    }
    settingsChanged = 0;
    if (!started) {
      capturing = 0;
      UpdateCaptureButton();
      return;
    }
  }

  FlickerRecord* record = nullptr;
  for (;;) {
    record = captureWorker->ring->TakeFilled();
    if (!record) return;
    if (record == ringRecord.get()) break;
    // A retired record handed back by the worker after an unconfirmed stop: not shown.
    for (auto it = retiredRecords.begin(); it != retiredRecords.end(); ++it) {
      if (it->get() == record) {
        FlickerRecordPtr done = std::move(*it);
        retiredRecords.erase(it);
        Dispose(std::move(done));
        break;
      }
    }
  }

  if (captureWorker->failed.load() != 0) {
    // The record holds a failed transfer: it is neither analysed nor shown nor kept.
    captureWorker->ring->PutFree(record);
    capturing = 0;
    UpdateCaptureButton();
    Ui().ShowMessage("Device was disconnected!");
    return;
  }

  overExposed = IsOverExposed(*record) ? 1 : 0;
  FlickerRun(record, 0, static_cast<uint32_t>(firEnabled));
  ShowCharts(*record);
  ShowParams(record);
  // Keep may replace the kept record by one of the new sizes: no unit may point at it then.
  if (flkTank->record) {
    if (device) FlickerAcqDetach(&device->flickerAcq, flkTank->record.get());
  }
  flkTank->Keep(record, device.get());
  if (flkTank->record && device) flkTank->record->gainIndex = device->flickerAcq.range;
  ShowAssessment(flkTank->record.get());
  captureWorker->ring->PutFree(record);
  ++capturesShown;

  const int range = device ? device->flickerAcq.range : 0;
  lblGain->setText("Gain : " + QString::number(range + 1) + (overExposed ? "(over exposure)" : ""));
}

bool TfFlicker::IsOverExposed(const FlickerRecord& record) {
  const std::size_t n = std::min<std::size_t>(record.sampleCount, record.volts.size());
  for (std::size_t i = 0; i < n; ++i)
    if (record.volts[i] > 4.5f) return true;
  return false;
}

void TfFlicker::UpdateCaptureButton() {
  if (capturing) {
    sbtnCapture->setText("Stop");
    sbtnCapture->setIcon(ProgramIcon(IconKind::Stop));
  } else {
    sbtnCapture->setText("Start");
    sbtnCapture->setIcon(ProgramIcon(IconKind::Go));
  }
}
