// Continuous capture on a thread of its own: a small message queue (TMsgQ), a ring of two
// record lists (TFFRing: records to fill, records filled), and the capture worker paced by a
// one-second timer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "analysis/record.h"
#include "instrument/timed_mutex.h"

// Queue of 16-bit message codes, capacity 8. The two counts wrap at 65536; the slot of a
// count is count mod 8. Empty: the counts agree mod 16. Full: they agree mod 8 and differ
// in bit 3.
class TMsgQ {
 public:
  // False when full; the code is then dropped.
  bool Post(uint16_t code);
  // False when empty.
  bool Fetch(uint16_t* code);

 private:
  std::mutex lock_;
  uint16_t slots_[8] = {};
  uint16_t readCount_ = 0;
  uint16_t writeCount_ = 0;
};

// Two lists of record pointers. The ring does not own the records.
class TFFRing {
 public:
  void PutFree(FlickerRecord* record);
  FlickerRecord* TakeFree();  // first of the free list, or null
  void PutFilled(FlickerRecord* record);
  FlickerRecord* TakeFilled();  // first of the filled list, or null
  void Reset();                 // empties both lists

 private:
  std::mutex lock_;
  std::deque<FlickerRecord*> free_;
  std::deque<FlickerRecord*> filled_;
};

// Message codes of the worker's queue.
constexpr uint16_t kMsgStart = 1;
constexpr uint16_t kMsgStop = 2;
constexpr uint16_t kMsgQuit = 4;

class PeriodicTimer;

struct CaptureWorker {
  std::atomic<uint32_t> capturing{0};  // 1 from the start message until stopped or failed
  std::atomic<uint32_t> stopped{1};    // 1: no further captures
  std::atomic<int32_t> channel{-1};    // instrument channel; -1 = none
  std::atomic<uint16_t> autoRange{0};  // passed to SpCaptureFlicker
  std::atomic<uint16_t> range{0};      // passed to SpCaptureFlicker
  std::atomic<uint32_t> failed{0};     // a capture failed
  std::unique_ptr<TFFRing> ring;
  std::atomic<uint32_t> quit{0};       // ends the worker thread
  std::unique_ptr<TMsgQ> queue;
  TimedMutex stopMutex;                // keeps two stop requests apart

  // The two manual-reset events, "Command" and "Timer", under one lock so that the worker
  // can wait for either.
  std::mutex eventLock;
  std::condition_variable eventWake;
  bool commandEvent = false;
  bool timerEvent = false;

  std::thread thread;
  std::unique_ptr<PeriodicTimer> timer;  // the periodic timer while capturing (worker thread only)
  std::atomic<bool> timerActive{false};
  // Timer: first due after timerDue, then every timerPeriod. Set before the start message.
  std::chrono::milliseconds timerDue{1000};
  std::chrono::milliseconds timerPeriod{1000};
  std::atomic<uint64_t> captures{0};     // capture cycles that called the instrument

  CaptureWorker();
  ~CaptureWorker();
};

// Creates the worker with its events, queue and ring, idle (stopped 1, capturing 0), and
// starts its thread.
CaptureWorker* CaptureWorkerCreate();
// Posts the start message and signals the command event.
bool CaptureWorkerStart(CaptureWorker* worker);
// Waits up to 30 s for stopMutex (false when not obtained, nothing changed); sets stopped,
// posts the stop message and signals the command event.
bool CaptureWorkerStop(CaptureWorker* worker);
// Ends the worker thread and frees the worker (a capture in progress finishes first).
void CaptureWorkerDestroy(CaptureWorker* worker);
