#include "app/version_check.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <array>
#include <cstdint>

#include "ui/ui_services.h"

namespace {

constexpr char kVersionsPath[] = "/DB/uploads/SW/versions.asp";
constexpr char kInstallerPath[] = "/DB/uploads/SW/Quivra_Installer.zip";

bool CheckSwitchedOff() {
  return qEnvironmentVariable("QUIVRA_UPDATE_SERVER").trimmed().compare(QStringLiteral("off"), Qt::CaseInsensitive) ==
         0;
}

QString TrimControls(const QString& text) {
  qsizetype begin = 0, end = text.size();
  while (begin < end && text.at(begin).unicode() <= 32) ++begin;
  while (end > begin && text.at(end - 1).unicode() <= 32) --end;
  return text.mid(begin, end - begin);
}

std::array<uint32_t, 4> VersionFields(const QString& text) {
  std::array<uint32_t, 4> fields{};
  std::size_t f = 0;
  for (const QChar c : text) {
    if (c == QLatin1Char('.')) {
      if (++f >= fields.size()) break;
    } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
      fields[f] = fields[f] * 10u + static_cast<uint32_t>(c.unicode() - '0');
    }
  }
  return fields;
}

}  // namespace

QString UpdateServerAddress() {
  QString server = qEnvironmentVariable("QUIVRA_UPDATE_SERVER").trimmed();
  if (server.isEmpty()) server = QString::fromLatin1(kDefaultUpdateServer);
  while (server.endsWith(QLatin1Char('/'))) server.chop(1);
  return server;
}

QString OwnVersionText(const QString& productAndVersion) {
  const qsizetype blank = productAndVersion.indexOf(QLatin1Char(' '));
  return TrimControls(blank < 0 ? productAndVersion : productAndVersion.mid(blank + 1));
}

QString QueryLatestVersionFrom(const QString& server, const QString& section, const QString& keyword,
                               const VersionQueryLimits& limits) {
  const QString none = QStringLiteral("0");
  QString s = section, k = keyword;
  s.replace(QLatin1Char(' '), QStringLiteral("%20"));
  k.replace(QLatin1Char(' '), QStringLiteral("%20"));
  const QUrl url(server + QLatin1String(kVersionsPath) + QStringLiteral("?section=") + s + QStringLiteral("&keyword=") +
                 k);
  if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https"))) return none;

  QNetworkAccessManager manager;
  QNetworkRequest request(url);
  request.setTransferTimeout(limits.transferTimeoutMs);
  request.setMaximumRedirectsAllowed(3);
  QNetworkReply* reply = manager.get(request);

  QByteArray body;
  bool tooLarge = false;
  const auto take = [&] {
    body += reply->read(limits.maxBodyBytes + 1 - body.size());
    if (body.size() > limits.maxBodyBytes) {
      tooLarge = true;
      reply->abort();
    }
  };
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
    if (reply->header(QNetworkRequest::ContentLengthHeader).toLongLong() > limits.maxBodyBytes) {
      tooLarge = true;
      reply->abort();
    }
  });
  QObject::connect(reply, &QNetworkReply::readyRead, &loop, take);
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  // The transfer time-out ends a silent server; this one ends a server that trickles.
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, reply, &QNetworkReply::abort);
  deadline.start(limits.totalTimeoutMs);
  if (!reply->isFinished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
  deadline.stop();
  if (!tooLarge && reply->error() == QNetworkReply::NoError) take();

  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const bool ok = !tooLarge && reply->error() == QNetworkReply::NoError && status == 200;
  delete reply;
  return ok ? QString::fromUtf8(body) : none;
}

QString QueryLatestVersion(const QString& section, const QString& keyword) {
  if (CheckSwitchedOff()) return QStringLiteral("0");
  return QueryLatestVersionFrom(UpdateServerAddress(), section, keyword);
}

bool IsUpToDate(const QString& current, const QString& latest) {
  const std::array<uint32_t, 4> mine = VersionFields(current);
  const std::array<uint32_t, 4> theirs = VersionFields(latest);
  for (std::size_t i = 0; i < mine.size(); ++i) {
    if (mine[i] > theirs[i]) return true;
    if (mine[i] < theirs[i]) return false;
  }
  return true;
}

bool CheckNewVersion() {
  const QString latest =
      QueryLatestVersion(QString::fromLatin1(kVersionSection), QString::fromLatin1(kVersionKeyword));
  if (IsUpToDate(OwnVersionText(), latest)) return false;
  const UiServices::Button answer =
      Ui().MessageBox(QStringLiteral("Quivra has New Version. Would you want to download it ?"),
                      QStringLiteral("Information"), {UiServices::Button::Ok, UiServices::Button::Cancel});
  if (answer != UiServices::Button::Ok) return false;
  // The notice and the end follow even when no handler opens the address.
  Ui().OpenUrl(QUrl(UpdateServerAddress() + QLatin1String(kInstallerPath)));
  Ui().ShowMessage(QStringLiteral("After download finished, please extract the file & launch the installer."));
  if (QCoreApplication* app = QCoreApplication::instance()) {
    QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
  }
  return true;
}
