// The single-instance guard: a lock file named after "KestrelPosAP" in the user's runtime
// folder, held for the life of the process. A second copy finds it held and ends before it
// touches anything; the lock of a copy that crashed is taken over (its process is gone).
#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

inline constexpr char kSingleInstanceName[] = "KestrelPosAP";
// Environment variable naming another folder for the lock (tests, several users' sessions).
inline constexpr char kLockFolderVariable[] = "QUIVRA_LOCK_DIR";

// <runtime folder or QUIVRA_LOCK_DIR>/KestrelPosAP.lock. Needs no QCoreApplication.
QString SingleInstanceLockPath();

class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(const QString& path = SingleInstanceLockPath());
  // True when this process now holds the lock (also after taking over a stale one); false
  // when another running copy holds it or the lock cannot be created.
  bool Acquire();
  bool Held() const { return held_; }

 private:
  QLockFile lock_;
  bool held_ = false;
};
