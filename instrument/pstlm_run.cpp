#include "instrument/pstlm_run.h"

#include <utility>

#include "analysis/numfmt.h"
#include "instrument/capture.h"
#include "instrument/registry.h"

PstLmRun::PstLmRun(Callback onDone) : onDone_(std::move(onDone)) {}

PstLmRun::~PstLmRun() { Stop(); }

bool PstLmRun::Request(const PstLmRequest& request) {
  if (!request.record) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_ || requested_) return false;
  request_ = request;
  pending_ = true;
  requested_ = true;
  started_ = std::chrono::steady_clock::now();
  if (!thread_.joinable()) thread_ = std::thread(&PstLmRun::Loop, this);
  wake_.notify_one();
  return true;
}

bool PstLmRun::Requested() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requested_;
}

PstLmPhase PstLmRun::Phase() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return phase_;
}

std::chrono::steady_clock::duration PstLmRun::Elapsed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!requested_) return {};
  return std::chrono::steady_clock::now() - started_;
}

bool PstLmRun::WaitIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return idle_.wait_for(lock, timeout, [&] { return !requested_; });
}

void PstLmRun::RequestStop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void PstLmRun::Stop() {
  RequestStop();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool PstLmRun::Stopping() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stop_;
}

void PstLmRun::SetPhase(PstLmPhase phase) {
  std::lock_guard<std::mutex> lock(mutex_);
  phase_ = phase;
}

void PstLmRun::Loop() {
  for (;;) {
    PstLmRequest request;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return stop_ || pending_; });
      if (stop_) break;
      request = request_;
      pending_ = false;
    }
    Execute(request);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requested_ = false;
      phase_ = PstLmPhase::Idle;
    }
    idle_.notify_all();
  }
  // A request that was never taken is dropped: the flag goes down for whoever waits.
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = false;
    pending_ = false;
    phase_ = PstLmPhase::Idle;
  }
  idle_.notify_all();
}

void PstLmRun::Execute(const PstLmRequest& request) {
  FlickerRecord* record = request.record;
  PstLmOutcome outcome;

  SetPhase(PstLmPhase::Capturing);
  outcome.captured =
      SpCaptureFlicker(request.channel, request.autoGain, request.gainIndex, record);
  if (outcome.captured) {
    // The range the samples were taken with: the one auto-range chose, else the one asked
    // for (as the capture limits it).
    if (!request.autoGain) {
      record->gainIndex = request.gainIndex > 3 ? 3 : request.gainIndex;
    } else if (const SpDevicePtr entry = SpDeviceOnChannel(request.channel)) {
      record->gainIndex = entry->flickerAcq.range;
    }
  }
  if (Stopping()) return;

  SetPhase(PstLmPhase::Analysing);
  FlickerRun(record, 0, request.firEnabled);
  if (Stopping()) return;

  SetPhase(PstLmPhase::Computing);
  PstResult result;
  outcome.computed =
      PstLmCompute(record->volts.data(), record->sampleCount, record->sampleFreq, &result) == 0;
  if (outcome.computed) outcome.result = result;
  outcome.frequency = record->frequency;
  outcome.svm = record->svm;
  outcome.frequencyText = FormatPattern(record->frequency, "0.0000", request.decimalSep);
  outcome.svmText = FormatPattern(record->svm, "0.0000", request.decimalSep);
  outcome.pstText = outcome.computed ? FormatPattern(result.pst, "0.0000", request.decimalSep)
                                     : std::string(kPstFailedText);
  if (Stopping()) return;

  SetPhase(PstLmPhase::Reporting);
  if (onDone_) onDone_(outcome);
}
