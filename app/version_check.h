// The online version check, once per start from the main window's FormCreate: ask the
// update server for the latest released version and, when it is newer than this one and
// the user agrees, open the installer download and end the program.
//
// Server: "http://updates.quivra.invalid" unless the environment variable
// QUIVRA_UPDATE_SERVER names another (scheme, host and optional port, e.g.
// "http://127.0.0.1:8080"); QUIVRA_UPDATE_SERVER=off skips the request (version "0").
// The request is GET <server>/DB/uploads/SW/versions.asp?section=...&keyword=...; the
// installer is <server>/DB/uploads/SW/Quivra_Installer.zip.
//
// Every failure is silent and reads as the version "0": no network, a name that does not
// resolve, a refused connection, a status other than 200, a body over kMaxVersionBodyBytes,
// and a server that stalls: a transfer that moves no data for kVersionTransferTimeoutMs, or
// takes longer than kVersionTotalTimeoutMs altogether, is abandoned.
#pragma once

#include <QString>

inline constexpr char kProductAndVersion[] = "Quivra 1.0.3.3";
inline constexpr char kVersionSection[] = "SOFTWARE_QV";
inline constexpr char kVersionKeyword[] = "QUIVRA";
inline constexpr char kDefaultUpdateServer[] = "http://updates.quivra.invalid";
inline constexpr int kVersionTransferTimeoutMs = 3000;
inline constexpr int kVersionTotalTimeoutMs = 5000;
inline constexpr qint64 kMaxVersionBodyBytes = 4096;

// The server in use: QUIVRA_UPDATE_SERVER or kDefaultUpdateServer, without a trailing "/".
QString UpdateServerAddress();

// The own version text: the product-and-version text without the product name and the blank
// after it, trimmed of characters up to code 32 at both ends ("Quivra 1.0.3.3" -> "1.0.3.3").
QString OwnVersionText(const QString& productAndVersion = QString::fromLatin1(kProductAndVersion));

struct VersionQueryLimits {
  int transferTimeoutMs = kVersionTransferTimeoutMs;
  int totalTimeoutMs = kVersionTotalTimeoutMs;
  qint64 maxBodyBytes = kMaxVersionBodyBytes;
};

// GET of the versions page on server (blanks in section and keyword sent as "%20"); the
// body as text on status 200, else "0". Blocks, running a local event loop, until the reply
// or a limit ends it. Needs a QCoreApplication.
QString QueryLatestVersionFrom(const QString& server, const QString& section, const QString& keyword,
                               const VersionQueryLimits& limits = {});
// The same on UpdateServerAddress(); "0" without a request when the check is switched off.
QString QueryLatestVersion(const QString& section, const QString& keyword);

// Reads both texts as four unsigned fields (digits accumulate, "." moves to the next field,
// other characters are skipped, anything after a fourth "." is ignored) and returns true
// unless latest is greater than current.
bool IsUpToDate(const QString& current, const QString& latest);

// The whole check: when the server offers a newer version, asks "Quivra has New Version.
// Would you want to download it ?" (caption "Information", OK / Cancel); on OK opens the
// installer address, shows "After download finished, please extract the file & launch the
// installer." and asks the application to quit as soon as its event loop runs. True when
// the program is about to end for the update, else false. Every interaction goes through
// Ui().
bool CheckNewVersion();
