#include "columns/settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

QString SettingsFilePath() {
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) return {};
  return folder + QStringLiteral("/qvcon.ini");
}

QString FlkInfoKey(int n) { return QStringLiteral("COLUMN%1").arg(n); }

QStringList FlkInfoDefaults() {
  QStringList names;
  for (const char* name : kFlkInfoDefaults) names << QString::fromLatin1(name);
  return names;
}

bool ReadFlkInfoColumns(QStringList* names) {
  *names = FlkInfoDefaults();
  const QString path = SettingsFilePath();
  if (path.isEmpty()) return false;
  const QFileInfo info(path);
  if (info.exists() && (!info.isFile() || !info.isReadable())) return false;
  QSettings settings(path, QSettings::IniFormat);
  if (settings.status() != QSettings::NoError) return false;
  settings.beginGroup(QString::fromLatin1(kFlkInfoSection));
  for (int n = 1; n <= kFlkInfoColumnCount; ++n) {
    (*names)[n - 1] = settings.value(FlkInfoKey(n), names->at(n - 1)).toString();
  }
  return true;
}

bool WriteFlkInfoColumns(const QStringList& names) {
  const QString path = SettingsFilePath();
  if (path.isEmpty() || names.size() < kFlkInfoColumnCount) return false;
  QDir().mkpath(QFileInfo(path).absolutePath());
  QSettings settings(path, QSettings::IniFormat);
  settings.beginGroup(QString::fromLatin1(kFlkInfoSection));
  for (int n = 1; n <= kFlkInfoColumnCount; ++n) settings.setValue(FlkInfoKey(n), names.at(n - 1));
  settings.endGroup();
  settings.sync();
  return settings.status() == QSettings::NoError;
}
