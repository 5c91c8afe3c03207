// A mutex with a bounded wait, built on a condition variable: the waits of usbMutex and of
// the worker's stopMutex. (Its timed wait is one that every thread checker understands.)
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class TimedMutex {
 public:
  // False when the mutex stayed owned for `wait`.
  bool try_lock_for(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!released_.wait_for(lock, wait, [this] { return !owned_; })) return false;
    owned_ = true;
    return true;
  }
  bool try_lock() { return try_lock_for(std::chrono::milliseconds(0)); }
  void lock() {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [this] { return !owned_; });
    owned_ = true;
  }
  void unlock() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      owned_ = false;
    }
    released_.notify_one();
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  bool owned_ = false;
};
