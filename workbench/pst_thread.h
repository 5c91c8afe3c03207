// FlkPst: the workbench's PstLM thread. It runs the PstLM run (instrument/pstlm_run.h) for
// the frame and hands the run's three texts to the frame on the UI thread; the frame's
// request flag is cleared there, right after the texts were set, so the frame never sees the
// run finished before its figures are on display.
#pragma once

#include <QString>
#include <memory>

#include "instrument/pstlm_run.h"

class TfFlicker;

class FlkPst {
 public:
  explicit FlkPst(TfFlicker* frame);
  ~FlkPst();
  FlkPst(const FlkPst&) = delete;
  FlkPst& operator=(const FlkPst&) = delete;

  // Starts one run on the record of the request; false when a run is still going.
  bool Request(const PstLmRequest& request);
  // The run's own flag: true until its thread has handed the texts over.
  bool Running() const { return run_.Requested(); }
  // Ends the thread (a capture in progress finishes first); idempotent.
  void Stop() { run_.Stop(); }
  // Marks the run as ending without waiting: no texts are handed over any more. Called
  // before the instruments are closed, so that the capture that then fails reports nothing.
  void RequestStop() { run_.RequestStop(); }
  // Waits for the run to end, at most timeoutMs.
  bool WaitIdle(int timeoutMs) const;

 private:
  PstLmRun run_;
};
