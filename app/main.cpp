// The program's entry point: the single-instance test before anything else, the instrument
// back end from --instrument, then the main window and the three secondary windows in
// their fixed order, and the event loop.
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "app/main_window.h"
#include "app/single_instance.h"
#include "columns/column_dialog.h"
#include "instrument/sim/backend.h"
#include "instrument/sim/sim_driver.h"
#include "instrument/usb_driver.h"
#include "workbench/flicker_frame.h"
#include "workbench/report_windows.h"
#include "workbench/simulator_window.h"

int main(int argc, char** argv) {
  // A second copy ends here, silently and with success, before it opens a window or an
  // instrument.
  SingleInstanceGuard guard;
  if (!guard.Acquire()) return 0;

  QuivraApplication app(argc, argv);
  std::string error;
  std::shared_ptr<UsbDriver> driver = SelectUsbBackend(InstrumentOption(QCoreApplication::arguments()), &error);
  if (!driver) {
    std::fprintf(stderr, "quivra: %s\n", error.c_str());
    return 2;
  }
  UsbSetDriver(driver);

  auto* form = new TForm1;
  Form1 = form;
  if (form->FormCreate()) {  // the version check ends the program for an update
    delete form;
    UsbSetDriver(nullptr);
    return 0;
  }
  auto* columns = new TSpExpBSet;
  columns->hide();
  auto* preview = new TFormImage;
  preview->hide();
  auto* info = new TFormInfo(preview);
  info->hide();
  TfFlicker* frame = form->fFlicker;
  info->SetInputProvider([frame] { return frame->ReportMeasurement(); });
  frame->onReport = [info] {
    info->show();
    info->raise();
    info->activateWindow();
  };

  std::unique_ptr<TSimulatorWindow> simulator;
  if (auto sim = std::dynamic_pointer_cast<SimDriver>(driver)) {
    form->SetSimulatorWindowOpener([&simulator, sim] {
      if (!simulator) simulator = std::make_unique<TSimulatorWindow>(sim);
      simulator->show();
      simulator->raise();
      simulator->activateWindow();
    });
  }

  form->show();
  const int status = app.exec();

  simulator.reset();
  delete info;
  delete preview;
  delete columns;
  delete form;
  UsbSetDriver(nullptr);
  return status;
}
