// The main window against the simulated instrument: connection by the supervisor (plain,
// manual, four-angle units, unplugging), closing during a capture, the skin, the
// application's error handler and the --instrument option.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <chrono>

#include "app/application.h"
#include "app/main_window.h"
#include "app/skin.h"
#include "gui_support.h"
#include "instrument/registry.h"
#include "ui/ui_services.h"
#include "workbench/device_tree.h"
#include "workbench/flicker_frame.h"
#include "workbench/pst_thread.h"

QApplication* CreateTestApplication(int& argc, char** argv) { return new QuivraApplication(argc, argv); }

namespace {

using Button = UiServices::Button;

std::string FourAngle(const std::string& serial, int unit) {
  return Instrument("TR9G", serial, "\"fourAngleFile\": \"Version:1\\r\\nID:" + std::to_string(unit) + "\\r\\nSN:4A" +
                                        std::to_string(unit) + "\\r\\n\"");
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiApp();
    RemoveSettingsFile();
  }

  std::unique_ptr<TForm1> MakeWindow() {
    auto window = std::make_unique<TForm1>();
    EXPECT_FALSE(window->FormCreate());
    return window;
  }

  // Runs the supervisor's ticks until the condition holds.
  static bool Supervise(TForm1& window, const std::function<bool()>& until) {
    return WaitFor(
        [&] {
          window.Timer1Timer();
          return until();
        },
        8000);
  }

  static QStringList TopNodes(TForm1& window) {
    QStringList texts;
    QTreeWidget* tree = window.fFlicker->frSpListView1->TreeView1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
    return texts;
  }

  ScopedUi scoped;
  RecordingUi& ui = scoped.ui;
};

TEST_F(MainWindowTest, WindowDefaults) {
  SimSession sim;
  auto window = MakeWindow();
  EXPECT_EQ(window->windowTitle(), "Quivra");
  EXPECT_EQ(window->minimumSize(), QSize(1024, 736));
  EXPECT_EQ(window->Timer1->interval(), 1000);
  EXPECT_EQ(window->bReady, 1);
  EXPECT_EQ(window->curChannel, -1);
  EXPECT_EQ(Form1, window.get());
  EXPECT_EQ(window->fFlicker->sMemo1->toPlainText(), "Quivra 1.0.3.3");
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : ");
}

TEST_F(MainWindowTest, PluggingOneInstrumentConnectsItAndUnpluggingDropsIt) {
  SimSession sim;
  auto window = MakeWindow();
  ui.AnswerButton(Button::No);  // the dark-calibration offer of the TR7BQ
  ASSERT_FALSE(sim.Driver().PlugJson(Instrument("TR7BQ", "SIM00007")).empty());
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice != nullptr; }));
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : SIM00007");
  EXPECT_EQ(window->fFlicker->device, window->curDevice);
  EXPECT_GE(window->curChannel, 0);
  EXPECT_EQ(window->fFlicker->channel, window->curChannel);
  EXPECT_EQ(TopNodes(*window), QStringList{"SIM00007"});
  EXPECT_EQ(window->fFlicker->frSpListView1->TreeView1->topLevelItem(0)->childCount(), 11);
  EXPECT_EQ(ui.Texts("box"), QStringList{"Start Dark calibration?"});
  EXPECT_EQ(window->fFlicker->luxName->text(), "Lux");

  ASSERT_TRUE(sim.Driver().Unplug("SIM00007"));
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice == nullptr; }));
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : ");
  EXPECT_EQ(window->fFlicker->device, nullptr);
  EXPECT_EQ(window->fFlicker->channel, -1);
  EXPECT_EQ(window->curChannel, -1);
}

TEST_F(MainWindowTest, WithoutAutoConnectionOnlyTheSelectedSerialIsMounted) {
  SimSession sim;
  auto window = MakeWindow();
  window->fFlicker->chkAutoConnection->setChecked(false);
  ASSERT_FALSE(sim.Driver().PlugJson(Instrument("TR7A", "SIM00002")).empty());
  ASSERT_TRUE(Supervise(*window, [&] { return TopNodes(*window) == QStringList{"SIM00002"}; }));
  for (int i = 0; i < 3; ++i) window->Timer1Timer();
  EXPECT_EQ(window->curDevice, nullptr);

  QTreeWidget* tree = window->fFlicker->frSpListView1->TreeView1;
  // A child line names no instrument.
  tree->setCurrentItem(tree->topLevelItem(0)->child(0));
  window->fFlicker->sButton3->click();
  EXPECT_EQ(window->curDevice, nullptr);
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : ");

  ui.AnswerButton(Button::No);
  tree->setCurrentItem(tree->topLevelItem(0));
  window->fFlicker->sButton3->click();
  ASSERT_TRUE(window->curDevice);
  EXPECT_STREQ(window->curDevice->serial, "SIM00002");
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : SIM00002");
}

TEST_F(MainWindowTest, TwoFourAngleUnitsConnectUnitOneInTheGroupedTree) {
  SimSession sim("[" + FourAngle("SIM00020", 2) + ", " + FourAngle("SIM00010", 1) + "]");
  auto window = MakeWindow();
  ui.AnswerButton(Button::No);
  ui.AnswerButton(Button::No);
  ASSERT_TRUE(sim.WaitForCount(2));
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice != nullptr; }));
  EXPECT_EQ(window->curDevice->fourAngleId, 1);
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : SIM00010");
  EXPECT_EQ(TopNodes(*window), (QStringList{"SIM00010", "SIM00020"}));
  QTreeWidgetItem* unit1 = window->fFlicker->frSpListView1->TreeView1->topLevelItem(0);
  ASSERT_EQ(unit1->childCount(), 13);
  EXPECT_EQ(unit1->child(0)->text(0), "4Angle ID : 1");
  EXPECT_TRUE(unit1->child(2)->text(0).startsWith("SN : "));
}

TEST_F(MainWindowTest, TwoOrdinaryInstrumentsAtOnceConnectNothingWithoutASelection) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001") + ", " + Instrument("TR7A", "SIM00002") + "]");
  auto window = MakeWindow();
  ASSERT_TRUE(sim.WaitForCount(2));
  ASSERT_TRUE(Supervise(*window, [&] { return window->fFlicker->frSpListView1->devices.size() == 2; }));
  // The grouped tree shows four-angle units only: empty, so nothing can be picked.
  EXPECT_TRUE(TopNodes(*window).isEmpty());
  EXPECT_EQ(window->curDevice, nullptr);
  EXPECT_TRUE(ui.calls.isEmpty());
}

TEST_F(MainWindowTest, SimulatorButtonOnlyWithTheSimulatedBackEnd) {
  SimSession sim;
  auto window = MakeWindow();
  QPushButton* button = window->fFlicker->btnSimulator;
  EXPECT_TRUE(button->isHidden());
  int opened = 0;
  window->SetSimulatorWindowOpener([&] { ++opened; });
  EXPECT_FALSE(button->isHidden());
  button->click();
  EXPECT_EQ(opened, 1);
}

TEST_F(MainWindowTest, UnpluggingTheConnectedOneOfTwoConnectsTheOther) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001") + "]");
  auto window = MakeWindow();
  ui.AnswerButton(Button::No);
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice != nullptr; }));
  ASSERT_FALSE(sim.Driver().PlugJson(Instrument("TR7A", "SIM00002")).empty());
  ASSERT_TRUE(Supervise(*window, [&] { return TopNodes(*window).size() == 2; }));
  EXPECT_STREQ(window->curDevice->serial, "SIM00001");  // a second one changes nothing

  ui.AnswerButton(Button::No);
  ASSERT_TRUE(sim.Driver().Unplug("SIM00001"));
  ASSERT_TRUE(Supervise(*window, [&] {
    return window->curDevice && std::string(window->curDevice->serial) == "SIM00002";
  }));
  EXPECT_EQ(window->fFlicker->lblDevName->text(), "Dev : SIM00002");
  EXPECT_EQ(window->fFlicker->device, window->curDevice);
}

TEST_F(MainWindowTest, ClosingDuringACaptureStopsItBeforeTheLibraryGoes) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001") + "]");
  auto window = MakeWindow();
  ui.AnswerButton(Button::No);
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice != nullptr; }));
  TfFlicker* frame = window->fFlicker;
  frame->captureWorker->timerPeriod = std::chrono::milliseconds(20);
  frame->sbtnCaptureClick();
  ASSERT_TRUE(WaitFor([&] { return frame->capturesShown >= 1; }, 8000));
  window->close();
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->captureWorker->capturing.load(), 0u);
  EXPECT_EQ(SpDeviceCount(), 0);
}

TEST_F(MainWindowTest, ClosingDuringAPstLmRunEndsTheRunBeforeTheFrameGoes) {
  // 180 s of capture at a time scale of 0.05: 9 s, far longer than the close may take.
  SimSession sim("[" + Instrument("TR7A", "SIM00001") + "]", 0.05);
  auto window = MakeWindow();
  ui.AnswerButton(Button::No);
  ASSERT_TRUE(Supervise(*window, [&] { return window->curDevice != nullptr; }));
  TfFlicker* frame = window->fFlicker;
  frame->btnPstMsr->click();
  WaitFor([] { return false; }, 300);
  ASSERT_TRUE(frame->PstRunning());  // still capturing
  const auto started = std::chrono::steady_clock::now();
  window->close();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(6));
  ASSERT_TRUE(frame->pstThread);
  EXPECT_FALSE(frame->pstThread->Running());
  // The capture cut short by the closing reports nothing.
  QCoreApplication::processEvents();
  EXPECT_EQ(frame->pstValues[2]->text(), "0.0000");
  EXPECT_EQ(SpDeviceCount(), 0);
  window.reset();  // the frame goes: its PstLM thread has ended
}

TEST(Skin, FolderCopyFirstBuiltInCopyOtherwise) {
  GuiApp();
  QTemporaryDir folder;
  QFile own(folder.filePath("Cold.qss"));
  ASSERT_TRUE(own.open(QIODevice::WriteOnly));
  own.write("QLabel { color: #123456; }");
  own.close();
  EXPECT_EQ(ApplySkin(folder.path()), folder.filePath("Cold.qss"));
  EXPECT_EQ(qApp->styleSheet(), "QLabel { color: #123456; }");

  QTemporaryDir empty;
  EXPECT_EQ(ApplySkin(empty.path()), ":/skin/Cold.qss");
  QFile builtIn(":/skin/Cold.qss");
  ASSERT_TRUE(builtIn.open(QIODevice::ReadOnly | QIODevice::Text));
  EXPECT_EQ(qApp->styleSheet(), QString::fromUtf8(builtIn.readAll()));
  qApp->setStyleSheet(QString());
}

// An object whose event handler fails the way a text-field conversion does.
class Failing : public QObject {
 public:
  bool event(QEvent*) override { throw ConversionError("'abc' is not a valid integer value"); }
};

TEST(Application, AnErrorEscapingAHandlerIsShownAndTheProgramGoesOn) {
  GuiApp();
  ScopedUi scoped;
  Failing failing;
  QEvent event(QEvent::User);
  EXPECT_FALSE(QCoreApplication::sendEvent(&failing, &event));
  EXPECT_EQ(scoped.ui.Texts("error"), QStringList{"'abc' is not a valid integer value"});
}

TEST(Application, InstrumentOption) {
  struct Case {
    QStringList arguments;
    std::string option;
  };
  const Case cases[] = {
      {{"quivra"}, ""},
      {{"quivra", "--instrument=sim"}, "sim"},
      {{"quivra", "--instrument=sim:my cfg.json"}, "sim:my cfg.json"},
      {{"quivra", "--instrument", "usb"}, "usb"},
      {{"quivra", "--other", "--instrument=usb:0xEA60"}, "usb:0xEA60"},
      {{"quivra", "--instrument"}, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(InstrumentOption(c.arguments), c.option) << c.arguments.join(' ').toStdString();
}

}  // namespace
