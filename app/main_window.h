// TForm1: the program's one top-level window. It brings the instrument library up, embeds
// the workbench frame, keeps zero or one instrument connected to it (the connection
// supervisor on Timer1), loads the skin when first shown and shuts the library down on close.
#pragma once

#include <QMainWindow>
#include <QTimer>
#include <functional>

#include "instrument/device.h"

class TfFlicker;
class TSpExpDevMgr;

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  // Starts the instrument library (polling every 300 ms) and creates the frame.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // The online version check; true when the program is about to end for an update.
  // Afterwards the supervisor acts on its ticks.
  bool FormCreate();
  // Loads the skin "Cold" (runs once, when the window is first shown).
  void FormShow();
  // Stops the capture and the PstLM run and shuts the instrument library down.
  void FormClose();

  // The connection supervisor.
  void Timer1Timer();
  void ConnectDevice(bool automatic);
  void DisconnectDevice();

  // Opens the window that controls the simulated instruments ("Simulator..." on the
  // "Device" page); the button is shown only when one is set.
  void SetSimulatorWindowOpener(std::function<void()> open);

  TfFlicker* fFlicker = nullptr;
  SpDevicePtr curDevice;
  TSpExpDevMgr* devMgr = nullptr;
  int curChannel = -1;
  int bReady = 0;
  QWidget* sPanel1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  bool shown_ = false;
  bool closed_ = false;
  bool connecting_ = false;  // inside ConnectDevice (its questions run nested event loops)
  std::function<void()> openSimulator_;
};

// The main window once it exists.
extern TForm1* Form1;
