#include "app/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString SingleInstanceLockPath() {
  QString folder = qEnvironmentVariable(kLockFolderVariable);
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) folder = QDir::tempPath();
  return QDir(folder).filePath(QString::fromLatin1(kSingleInstanceName) + ".lock");
}

SingleInstanceGuard::SingleInstanceGuard(const QString& path) : lock_(path) {
  lock_.setStaleLockTime(0);  // never stale by age: only a lock whose process is gone is taken over
}

bool SingleInstanceGuard::Acquire() {
  if (!held_) {
    QDir().mkpath(QFileInfo(lock_.fileName()).absolutePath());
    held_ = lock_.tryLock(0);
  }
  return held_;
}
