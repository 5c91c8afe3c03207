// The PstLM run: one long capture, the ordinary analysis of it and the flickermeter, on a
// thread of its own. The desktop program's PstLM page and the command line both drive it.
//
// A run is requested with the instrument channel, the gain settings and the record to fill
// (737280 samples at 4096 Hz for the standard 180 s). The thread, waiting on a condition
// variable, captures into the record with SpCaptureFlicker, sets the record's gainIndex to
// the range the acquisition unit used, runs FlickerRun and PstLmCompute, formats the three
// texts and hands the outcome to the callback; only after the callback has returned is the
// request flag cleared. gainIndex is set only when the capture succeeded: to the range
// auto-range chose, or with auto-range off to the requested range (above 3 taken as 3). The requester must not touch the record while Requested() is true.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "analysis/pstlm.h"
#include "analysis/record.h"

// Text of the PstLM figure when the computation failed (failed capture, record too short,
// rate not supported): a dash, so that no number is ever shown for a failed run.
inline constexpr const char* kPstFailedText = "-";

struct PstLmRequest {
  int channel = -1;                 // instrument channel (0..15)
  uint16_t autoGain = 0;            // 1: the acquisition unit picks the gain range
  uint16_t gainIndex = 0;           // 0-based gain range used when autoGain is 0
  FlickerRecord* record = nullptr;  // filled and analysed in place; not owned
  uint32_t firEnabled = 0;          // FIR switch passed to FlickerRun
  char decimalSep = '.';            // decimal separator of the three texts
};

// What one run produced; given to the callback on the run's thread.
struct PstLmOutcome {
  bool captured = false;  // SpCaptureFlicker succeeded
  bool computed = false;  // PstLmCompute succeeded; result is valid only then
  PstResult result;
  float frequency = 0;  // the record's fundamental after FlickerRun, Hz (-1 = none found)
  float svm = 0;        // the record's SVM after FlickerRun
  // Pattern "0.0000" with the request's decimal separator; pstText is kPstFailedText when
  // the computation failed. Frequency and SVM are formatted whatever the capture gave, as
  // the panels always show them ("-1.0000" when no fundamental was found).
  std::string frequencyText, svmText, pstText;
};

enum class PstLmPhase { Idle, Capturing, Analysing, Computing, Reporting };

class PstLmRun {
 public:
  using Callback = std::function<void(const PstLmOutcome&)>;

  // onDone is called on the run's thread once per completed run.
  explicit PstLmRun(Callback onDone);
  // Stops the thread (see Stop).
  ~PstLmRun();
  PstLmRun(const PstLmRun&) = delete;
  PstLmRun& operator=(const PstLmRun&) = delete;

  // Starts a run; the thread is created by the first request. False, with nothing started,
  // when a run is still requested, after Stop, or when the record is null.
  bool Request(const PstLmRequest& request);
  // The request flag: true from Request until the callback of that run has returned.
  bool Requested() const;
  PstLmPhase Phase() const;
  // Time since the current run was requested; zero when idle.
  std::chrono::steady_clock::duration Elapsed() const;
  // Waits until no run is requested, at most timeout; true when idle at return.
  bool WaitIdle(std::chrono::milliseconds timeout) const;
  // Ends the thread and waits for it. A run in progress ends after its current step
  // without calling the callback; a capture in progress is not interrupted, so its owner
  // closes the instrument first for a prompt stop (every command on a closed instrument
  // fails at once). Requests are refused afterwards. Idempotent.
  void Stop();
  // The first half of Stop without waiting: from now on no callback is called and no request
  // is taken. Lets an owner mark the run as ending before it closes the instrument, so the
  // capture that then fails cannot report.
  void RequestStop();

 private:
  void Loop();
  void Execute(const PstLmRequest& request);
  void SetPhase(PstLmPhase phase);
  bool Stopping() const;

  Callback onDone_;
  mutable std::mutex mutex_;
  mutable std::condition_variable wake_;  // a request or Stop
  mutable std::condition_variable idle_;  // the request flag was cleared
  PstLmRequest request_;
  bool pending_ = false;    // a request waits to be taken by the thread
  bool requested_ = false;  // the request flag
  bool stop_ = false;
  PstLmPhase phase_ = PstLmPhase::Idle;
  std::chrono::steady_clock::time_point started_{};
  std::thread thread_;
};
