#include "gui_support.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <gtest/gtest.h>

#include "instrument/registry.h"
#include "instrument/usb_driver.h"

namespace {

QTemporaryDir& Folder() {
  static QTemporaryDir folder;
  return folder;
}

}  // namespace

// A test program may define its own (the main window's suites use the program's own
// application object).
__attribute__((weak)) QApplication* CreateTestApplication(int& argc, char** argv) {
  return new QApplication(argc, argv);
}

QApplication& GuiApp() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", Folder().filePath("config").toUtf8());
    qputenv("XDG_DATA_HOME", Folder().filePath("data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", Folder().filePath("runtime").toUtf8());
    qputenv("QUIVRA_LOCK_DIR", Folder().filePath("lock").toUtf8());
    qputenv("QUIVRA_UPDATE_SERVER", "off");
    QDir().mkpath(Folder().filePath("config"));
    QDir().mkpath(Folder().filePath("runtime"));
    QFile::setPermissions(Folder().filePath("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    static int argc = 1;
    static char name[] = "quivra-tests";
    static char* argv[] = {name, nullptr};
    return CreateTestApplication(argc, argv);
  }();
  return *app;
}

QString ConfigFolder() {
  GuiApp();
  return Folder().filePath("config");
}

void WriteParamNames(const QStringList& names) {
  RemoveSettingsFile();
  QSettings settings(ConfigFolder() + "/qvcon.ini", QSettings::IniFormat);
  for (int i = 0; i < names.size(); ++i) settings.setValue(QString("FLK_INFO/COLUMN%1").arg(i + 1), names[i]);
  settings.sync();
}

void RemoveSettingsFile() { QFile::remove(ConfigFolder() + "/qvcon.ini"); }

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  QDeadlineTimer deadline(timeoutMs);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(5);
  }
  return true;
}

SimSession::SimSession(const std::string& instrumentsJson, double timeScale) {
  GuiApp();
  const std::string json =
      "{\"timeScale\": " + std::to_string(timeScale) + ", \"instruments\": " + instrumentsJson + "}";
  std::string error;
  driver_ = SimDriver::FromJson(json, &error);
  EXPECT_TRUE(driver_) << error;
  if (!driver_) driver_ = std::make_shared<SimDriver>();
  UsbSetDriver(driver_);
  SpInit(1, 300);
}

SimSession::~SimSession() {
  SpShutdown();
  UsbSetDriver(nullptr);
}

bool SimSession::WaitForCount(int n, int timeoutMs) {
  return WaitFor([n] { return SpDeviceCount() == n; }, timeoutMs);
}

std::string Instrument(const std::string& model, const std::string& serial, const std::string& extra) {
  std::string s = "{\"model\": \"" + model + "\", \"serial\": \"" + serial + "\"";
  if (!extra.empty()) s += ", " + extra;
  return s + "}";
}

std::string Light(const std::string& waveform, double frequency, double modulation, double level, double noise) {
  return "\"light\": {\"waveform\": \"" + waveform + "\", \"frequency\": " + std::to_string(frequency) +
         ", \"modulation\": " + std::to_string(modulation) + ", \"level\": " + std::to_string(level) +
         ", \"noise\": " + std::to_string(noise) + "}";
}
