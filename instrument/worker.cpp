#include "instrument/worker.h"

#include "instrument/capture.h"

// --- TMsgQ ---------------------------------------------------------------------------------

bool TMsgQ::Post(uint16_t code) {
  std::lock_guard<std::mutex> lock(lock_);
  const bool full = (readCount_ % 8) == (writeCount_ % 8) && ((readCount_ ^ writeCount_) & 8) != 0;
  if (full) return false;
  slots_[writeCount_ % 8] = code;
  ++writeCount_;
  return true;
}

bool TMsgQ::Fetch(uint16_t* code) {
  std::lock_guard<std::mutex> lock(lock_);
  if ((readCount_ % 16) == (writeCount_ % 16)) return false;
  if (code) *code = slots_[readCount_ % 8];
  ++readCount_;
  return true;
}

// --- TFFRing -------------------------------------------------------------------------------

namespace {
FlickerRecord* TakeFront(std::deque<FlickerRecord*>& list) {
  if (list.empty()) return nullptr;
  FlickerRecord* record = list.front();
  list.pop_front();
  return record;
}
}  // namespace

void TFFRing::PutFree(FlickerRecord* record) {
  std::lock_guard<std::mutex> lock(lock_);
  free_.push_back(record);
}

FlickerRecord* TFFRing::TakeFree() {
  std::lock_guard<std::mutex> lock(lock_);
  return TakeFront(free_);
}

void TFFRing::PutFilled(FlickerRecord* record) {
  std::lock_guard<std::mutex> lock(lock_);
  filled_.push_back(record);
}

FlickerRecord* TFFRing::TakeFilled() {
  std::lock_guard<std::mutex> lock(lock_);
  return TakeFront(filled_);
}

void TFFRing::Reset() {
  std::lock_guard<std::mutex> lock(lock_);
  free_.clear();
  filled_.clear();
}

// --- the periodic timer --------------------------------------------------------------------

// Calls `tick` first after `due`, then every `period`, on a thread of its own until destroyed.
// The tick only signals a manual-reset event, so ticks that fall during a capture do not pile up.
class PeriodicTimer {
 public:
  template <typename Tick>
  PeriodicTimer(std::chrono::milliseconds due, std::chrono::milliseconds period, Tick tick)
      : thread_([this, due, period, tick] {
          auto next = std::chrono::steady_clock::now() + due;
          std::unique_lock<std::mutex> lock(lock_);
          for (;;) {
            if (wake_.wait_until(lock, next, [this] { return stop_; })) return;
            lock.unlock();
            tick();
            lock.lock();
            next += period;
            const auto now = std::chrono::steady_clock::now();
            if (next < now) next = now + period;
          }
        }) {}
  ~PeriodicTimer() {
    {
      std::lock_guard<std::mutex> lock(lock_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;  // last: started once the members above exist
};

// --- the worker ----------------------------------------------------------------------------

namespace {

void SignalCommand(CaptureWorker* w) {
  {
    std::lock_guard<std::mutex> lock(w->eventLock);
    w->commandEvent = true;
  }
  w->eventWake.notify_all();
}

void SignalTimer(CaptureWorker* w) {
  {
    std::lock_guard<std::mutex> lock(w->eventLock);
    w->timerEvent = true;
  }
  w->eventWake.notify_all();
}

void DeleteTimer(CaptureWorker* w) {
  w->timer.reset();
  w->timerActive = false;
}

void CaptureCycle(CaptureWorker* w) {
  const int32_t channel = w->channel.load();
  if (channel < 0) return;
  FlickerRecord* record = w->ring->TakeFree();
  if (!record) return;
  ++w->captures;
  const bool ok = SpCaptureFlicker(channel, w->autoRange.load(), w->range.load(), record);
  if (!ok) {
    w->failed = 1;
    w->stopped = 1;
  }
  // Delivered also after a failure, so that the workbench sees the failed state; capturing
  // drops only once the record is on the list.
  w->ring->PutFilled(record);
  if (!ok) w->capturing = 0;
}

void HandleMessages(CaptureWorker* w) {
  uint16_t code = 0;
  while (w->queue->Fetch(&code)) {
    switch (code) {
      case kMsgStart:
        DeleteTimer(w);  // a second start never leaves a live timer behind
        w->timer = std::make_unique<PeriodicTimer>(w->timerDue, w->timerPeriod, [w] { SignalTimer(w); });
        w->timerActive = true;
        w->failed = 0;
        w->stopped = 0;
        w->capturing = 1;
        break;
      case kMsgStop:
        // A stop is a stop even when a start was handled after CaptureWorkerStop set stopped.
        w->stopped = 1;
        w->capturing = 0;
        DeleteTimer(w);
        break;
      case kMsgQuit:
        w->quit = 1;
        break;
      default:
        break;
    }
  }
}

void WorkerLoop(CaptureWorker* w) {
  while (w->quit.load() == 0) {
    bool command = false, timer = false;
    {
      std::unique_lock<std::mutex> lock(w->eventLock);
      w->eventWake.wait_for(lock, std::chrono::milliseconds(3000),
                            [w] { return w->commandEvent || w->timerEvent; });
      command = w->commandEvent;
      timer = w->timerEvent;
      if (command) w->commandEvent = false;
      if (timer) w->timerEvent = false;
    }
    if (!command && !timer) continue;  // time-out
    if (command) HandleMessages(w);
    if (w->quit.load() != 0) break;
    if (w->stopped.load() == 0)
      CaptureCycle(w);
    else if (w->timer)
      DeleteTimer(w);
  }
  DeleteTimer(w);
}

}  // namespace

CaptureWorker::CaptureWorker() : ring(std::make_unique<TFFRing>()), queue(std::make_unique<TMsgQ>()) {}

CaptureWorker::~CaptureWorker() = default;

CaptureWorker* CaptureWorkerCreate() {
  auto* w = new CaptureWorker;
  w->thread = std::thread(WorkerLoop, w);
  return w;
}

bool CaptureWorkerStart(CaptureWorker* worker) {
  if (!worker) return false;
  worker->queue->Post(kMsgStart);
  SignalCommand(worker);
  return true;
}

bool CaptureWorkerStop(CaptureWorker* worker) {
  if (!worker) return false;
  if (!worker->stopMutex.try_lock_for(std::chrono::milliseconds(30000))) return false;
  worker->stopped = 1;
  worker->stopMutex.unlock();
  worker->queue->Post(kMsgStop);
  SignalCommand(worker);
  return true;
}

void CaptureWorkerDestroy(CaptureWorker* worker) {
  if (!worker) return;
  // Set directly: a full queue would drop a posted quit.
  worker->quit = 1;
  SignalCommand(worker);
  if (worker->thread.joinable()) worker->thread.join();
  delete worker;
}
