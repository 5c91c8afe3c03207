// TfFlicker: the PstLM page: the long capture on the PstLM thread, its progress and its end.

#include "ui/ui_services.h"
#include "workbench/flicker_frame.h"
#include "workbench/display_text.h"
#include "workbench/pst_thread.h"

namespace {

constexpr int kPstSampleFreq = 4096;
constexpr int kPstSampleCount = 737280;  // 180 s
constexpr int kProgressMargin = 15;      // seconds beyond the capture the bar allows for the computation

}  // namespace

QString ElapsedText(int seconds) {
  return QString("%1:%2:%3").arg(seconds / 3600).arg(seconds % 3600 / 60).arg(seconds % 60);
}

bool TfFlicker::PstRunning() const { return pstRequested.load() != 0 || (pstThread && pstThread->Running()); }

void TfFlicker::sSpeedButton3Click() {
  if (RefuseWhenBusy(true, true)) return;
  // Checked first: without an instrument the measurement on display stays.
  if (!device) {
    Ui().MessageBox("No device is connected!", "Warring", {UiServices::Button::Ok});
    return;
  }
  FlickerRecordPtr record = NewRecord(kPstSampleFreq, kPstSampleCount);
  if (!record) return;  // no run without a record; the kept measurement stays
  Dispose(flkTank->Install(std::move(record)));
  BeginPstLM();
  if (!pstThread) pstThread = std::make_unique<FlkPst>(this);
  PstLmRequest request;
  request.channel = channel;
  request.autoGain = static_cast<uint16_t>(autoGain);
  request.gainIndex = static_cast<uint16_t>(gainIndex);
  request.record = flkTank->record.get();
  request.firEnabled = static_cast<uint32_t>(firEnabled);
  request.decimalSep = DisplayDecimalSeparator();
  if (!pstThread->Request(request)) {
    pstRequested = 0;
    Timer2->stop();
    return;
  }
  Timer3->start();
  btnPstMsr->setEnabled(false);
}

void TfFlicker::BeginPstLM() {
  pstRequested = 1;
  pstDone = 0;
  pstElapsed = 0;
  Timer2->start();
  const FlickerRecord* record = flkTank->record.get();
  const int seconds = record && record->sampleFreq ? static_cast<int>(record->sampleCount / record->sampleFreq) : 180;
  ProgressBar1->setRange(0, seconds + kProgressMargin);
  ProgressBar1->setValue(0);
}

void TfFlicker::Timer2Timer() {
  const int s = static_cast<int>(pstElapsed);
  ProgressBar1->setValue(std::min(s, ProgressBar1->maximum()));
  PstLabel->setText(ElapsedText(s));
  pstElapsed += 1;
}

void TfFlicker::Timer3Timer() {
  if (PstRunning()) return;
  pstDone = 1;
  Timer2->stop();
  Timer3->stop();
  ProgressBar1->setValue(ProgressBar1->maximum());
  PstLabel->setText("Finish");
  btnPstMsr->setEnabled(true);
  FlickerRecord* record = flkTank->record.get();
  if (record) {
    // The thread analysed the record already (filtering it when the filter was on): the
    // display run must not filter the filtered signal again.
    FlickerRun(record, 0, 0);
    overExposed = IsOverExposed(*record) ? 1 : 0;
    ShowCharts(*record);
    ShowParams(record);
  }
  ShowAssessment(record);
}

void TfFlicker::SetPstTexts(const QString& frequency, const QString& svm, const QString& pst) {
  pstValues[0]->setText(frequency);
  pstValues[1]->setText(svm);
  pstValues[2]->setText(pst);
}

void TfFlicker::EndPstLM() {
  if (pstThread) pstThread->RequestStop();
}

bool TfFlicker::StopPstLM(int waitMs) {
  if (!pstThread) return true;
  const bool idle = pstThread->WaitIdle(waitMs);
  pstThread->Stop();
  return idle;
}
