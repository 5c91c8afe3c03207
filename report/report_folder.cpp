#include "report/report_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

// The artwork is compiled into this static library; its registration must be referenced
// from here or the linker drops it.
static void InitReportResources() { Q_INIT_RESOURCE(report); }

namespace {

constexpr const char* kArtwork[] = {kLogoFile, kInfoBoxFile, kParaBoxFile, kDotFile, kFeaturesBoxFile};

// The folder exists (created if needed) and a file can be created in it.
bool MakeWritable(const QString& folder) {
  if (folder.isEmpty() || !QDir().mkpath(folder)) return false;
  QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".write-probe-XXXXXX")));
  return probe.open();
}

}  // namespace

bool EnsureReportArtwork(const QString& folder) {
  static const bool registered = (InitReportResources(), true);
  (void)registered;
  bool ok = true;
  for (const char* name : kArtwork) {
    const QString target = QDir(folder).filePath(QString::fromLatin1(name));
    if (QFileInfo::exists(target)) continue;
    if (!QFile::copy(QStringLiteral(":/report/") + QString::fromLatin1(name), target)) {
      ok = false;
      continue;
    }
    // Copies from the resources come out read-only; the user may replace the artwork.
    QFile::setPermissions(target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                      QFileDevice::ReadOther);
  }
  return ok;
}

QString ChooseReportImageFolder(const QStringList& candidates) {
  for (const QString& folder : candidates) {
    if (!MakeWritable(folder)) continue;
    EnsureReportArtwork(folder);
    return QDir::cleanPath(folder);
  }
  return {};
}

QString ReportImageFolder() {
  const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/image/ReportImg");
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QStringList candidates{beside};
  if (!data.isEmpty()) candidates << data + QStringLiteral("/image/ReportImg");
  return ChooseReportImageFolder(candidates);
}
