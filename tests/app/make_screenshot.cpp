// Makes the README's pictures of the program: the real main window on the simulated
// instrument, a few live captures into the run, grabbed by Qt. Run under a virtual X server:
//   xvfb-run -a -s "-screen 0 1280x800x24" quivra_screenshot docs/images/workbench.png
//   xvfb-run -a -s "-screen 0 1280x800x24" quivra_screenshot docs/images/assessment.png 4 --page=Assessment --modulation=0.12
// --page names the tab of the right-hand page control to show (default: the "Basic" page),
// --modulation the simulated light's 100 Hz modulation (default 0.3).
#include <QDeadlineTimer>
#include <QPixmap>
#include <QThread>
#include <cstdio>

#include "app/application.h"
#include "app/main_window.h"
#include "instrument/sim/sim_driver.h"
#include "instrument/usb_driver.h"
#include "ui/ui_services.h"
#include "workbench/flicker_frame.h"
#include "workbench/mode_switch.h"

namespace {

bool Wait(const std::function<bool()>& condition, int ms) {
  QDeadlineTimer deadline(ms);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: quivra_screenshot OUT.png [captures] [--page=TAB] [--modulation=M]\n");
    return 2;
  }
  qputenv("QUIVRA_UPDATE_SERVER", "off");
  QuivraApplication app(argc, argv);
  int captures = 4;
  QString pageName;
  std::string modulation = "0.3";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--page=", 0) == 0) {
      pageName = QString::fromStdString(arg.substr(7));
    } else if (arg.rfind("--modulation=", 0) == 0) {
      modulation = arg.substr(13);
    } else {
      captures = std::atoi(argv[i]);
    }
  }
  std::string error;
  auto driver = SimDriver::FromJson(
      R"({"timeScale": 1, "instruments": [{"model": "TR7BQ", "serial": "SIM00001",
          "light": {"waveform": "sine", "frequency": 100, "modulation": )" + modulation +
          R"(, "level": 0.5, "noise": 0.004}}]})",
      &error);
  if (!driver) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  UsbSetDriver(driver);
  RecordingUi ui;  // answers the connect-time dark-calibration offer with "No"
  ui.AnswerButton(UiServices::Button::No);
  SetUi(&ui);
  {
    TForm1 window;
    window.FormCreate();
    window.show();
    TfFlicker* frame = window.fFlicker;
    if (!Wait([&] { return window.curDevice != nullptr; }, 10000)) {
      std::fprintf(stderr, "no instrument connected\n");
      return 1;
    }
    frame->sPageControl1->setCurrentIndex(0);
    if (!pageName.isEmpty()) {
      int page = 0;
      while (page < frame->sPageControl1->count() && frame->sPageControl1->tabText(page) != pageName) ++page;
      if (page == frame->sPageControl1->count()) {
        std::fprintf(stderr, "no page %s\n", qPrintable(pageName));
        return 2;
      }
      frame->sPageControl1->setCurrentIndex(page);
    }
    frame->sbtnCaptureClick();
    if (!Wait([&] { return frame->capturesShown >= static_cast<uint64_t>(captures); }, 30000)) {
      std::fprintf(stderr, "no captures shown\n");
      return 1;
    }
    // The spectrum up to the tenth harmonic rather than the whole band.
    frame->edtHighFreq->setText("1000");
    frame->btnSetFreqClick();
    Wait([&] { return frame->capturesShown >= static_cast<uint64_t>(captures) + 1; }, 5000);
    const QPixmap picture = window.grab();
    // Further pages for a look at their layout (not for the README): OUT-page<N>.png.
    if (qEnvironmentVariableIsSet("QUIVRA_SCREENSHOT_PAGES")) {
      const QString base = QString::fromLocal8Bit(argv[1]).chopped(4);
      frame->basicPages->setCurrentIndex(1);
      Wait([] { return false; }, 200);
      window.grab().save(base + "-option.png");
      frame->sModeSwitch->click();
      for (int page = 1; page < frame->sPageControl1->count(); ++page) {
        frame->sPageControl1->setCurrentIndex(page);
        Wait([] { return false; }, 200);
        window.grab().save(base + QString("-page%1.png").arg(page));
      }
    }
    if (!picture.save(QString::fromLocal8Bit(argv[1]))) {
      std::fprintf(stderr, "cannot write %s\n", argv[1]);
      return 1;
    }
    frame->sbtnCaptureClick();
  }
  SetUi(nullptr);
  UsbSetDriver(nullptr);
  return 0;
}
