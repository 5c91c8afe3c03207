// What the desktop suites share: the offscreen application with a private settings folder
// and lock folder, the simulated instruments behind the driver interface, answers through
// RecordingUi, and bounded waits that keep the event loop running.
#pragma once

#include <QApplication>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "instrument/sim/sim_driver.h"
#include "ui/ui_services.h"

// Makes the test program's application object; the default makes a plain QApplication, a
// suite may define its own.
QApplication* CreateTestApplication(int& argc, char** argv);
// The one QApplication of a test program (offscreen; settings under a temporary folder;
// version check off; a private lock folder). Created on first use.
QApplication& GuiApp();
// The temporary folder that stands in for the user's config folder (qvcon.ini is there).
QString ConfigFolder();
// Writes qvcon.ini with section FLK_INFO COLUMN1..7 = names (fewer names: the rest missing).
void WriteParamNames(const QStringList& names);
void RemoveSettingsFile();

// Runs the event loop until condition holds or timeoutMs passes; its last value.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 5000);

// Simulated instruments for one test: the driver installed, the instrument library started
// with its 300 ms polling; shut down and uninstalled again at the end.
class SimSession {
 public:
  // instrumentsJson: the "instruments" array, e.g. [{"model":"TR7BQ","serial":"A1"}].
  explicit SimSession(const std::string& instrumentsJson = "[]", double timeScale = 0);
  ~SimSession();
  SimDriver& Driver() { return *driver_; }
  // Waits until the registry lists n instruments.
  bool WaitForCount(int n, int timeoutMs = 5000);

 private:
  std::shared_ptr<SimDriver> driver_;
};

// One instrument object for SimSession's array.
std::string Instrument(const std::string& model, const std::string& serial, const std::string& extra = "");
// A light object: "light": {...}.
std::string Light(const std::string& waveform, double frequency, double modulation, double level,
                  double noise = 0);

// Installs a RecordingUi for the scope.
class ScopedUi {
 public:
  ScopedUi() { SetUi(&ui); }
  ~ScopedUi() { SetUi(nullptr); }
  RecordingUi ui;
};
