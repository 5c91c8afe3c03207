#include "app/skin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

// The built-in copy lives in a static library: its resource is registered by hand.
static void RegisterBuiltInSkin() { Q_INIT_RESOURCE(skin); }

QString SkinFolder() { return QCoreApplication::applicationDirPath() + "/skin/"; }

QString SkinPath(const QString& folder) {
  RegisterBuiltInSkin();
  const QString candidate = QDir(folder).filePath(QString::fromLatin1(kSkinName) + ".qss");
  const QFileInfo info(candidate);
  return info.isFile() && info.isReadable() ? candidate : QString::fromLatin1(kBuiltInSkin);
}

QString ApplySkin(const QString& folder) {
  const QString path = SkinPath(folder);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return QString();
  qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
  return path;
}
