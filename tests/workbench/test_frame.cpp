// The workbench frame against the simulated instrument: options and records, the capture
// cycle with its failures, over-exposure, "set", dark calibration and the service commands,
// the parameter box, the axis controls.
#include <gtest/gtest.h>

#include <QDir>
#include <QLineSeries>
#include <QTest>
#include <algorithm>
#include <chrono>

#include "frame_fixture.h"
#include "gui_support.h"
#include "instrument/registry.h"
#include "workbench/charts.h"
#include "workbench/flicker_frame.h"
#include "workbench/mode_switch.h"

namespace {


const std::string kSteadyDark = "\"darkOffsets\": [0, 0, 0, 0]";

double Number(const QString& text) {
  QString t = text;
  t.remove('%');
  return t.toDouble();
}

TEST_F(FrameTest, DefaultsWithoutSettingsFileAndTimerFollowsTheBuffer) {
  auto frame = MakeFrame();
  const QStringList expected{"contrast", "contrast dB", "RMS %", "RMS dB", "Jeita %", "Jeita dB", "Vesa %"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(frame->paramNames[i]->text(), expected[i]);
    EXPECT_EQ(frame->paramValues[i]->text(), "0.0000");
  }
  EXPECT_EQ(frame->cbSampleFreq->currentText(), "32768");
  EXPECT_EQ(frame->cbSampleNum->currentText(), "16384");
  EXPECT_FALSE(frame->cbSampleNum->isEnabled());
  EXPECT_FALSE(frame->cbGainSel->isEnabled());
  EXPECT_FALSE(frame->edtFilterCutFreq->isEnabled());
  EXPECT_EQ(frame->Timer1->interval(), 1000);
  EXPECT_EQ(frame->edtHighFreq->text(), "16384");
  EXPECT_EQ(frame->lblSampleRate->text(), "Sample Rate : 32768 Hz");
  EXPECT_EQ(frame->lblFreqRes->text(), "Frequency Resolution : 2 Hz");
  EXPECT_EQ(frame->sPageControl1->tabText(frame->sPageControl1->currentIndex()), "Device");
  ASSERT_TRUE(frame->flkTank->record);
  EXPECT_TRUE(ui().calls.isEmpty());

  // 4096 samples at 1024 Hz: buffer 4096 + 200 rounded up to 6144, 6 s + 1 s.
  frame->cbEnableFreqRes->setChecked(true);
  frame->cbSampleFreq->setCurrentText("1024");
  frame->cbSampleNum->setCurrentText("4096");
  FlickerRecordPtr record = frame->NewRecordFromSettings();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->bufferLen, 6144u);
  EXPECT_EQ(frame->Timer1->interval(), 7000);
  EXPECT_EQ(frame->edtHighFreq->text(), "512");
}

TEST_F(FrameTest, ParameterBoxClosesUpNoneRows) {
  WriteParamNames({"RMS %", "Max", "None", "Min"});
  auto frame = MakeFrame();
  EXPECT_EQ(frame->paramNames[2]->text(), "None");
  EXPECT_TRUE(frame->paramNames[2]->isHidden());
  EXPECT_TRUE(frame->paramValues[2]->isHidden());
  // COLUMN4 "Min" sits where the hidden row would have been.
  EXPECT_EQ(frame->paramNames[3]->y(), 2 * 52 + 30);
  EXPECT_EQ(frame->paramValues[3]->y(), 2 * 52 + 30);
  EXPECT_EQ(frame->paramNames[3]->height(), 52);
  // The missing keys take their defaults: six rows shown.
  EXPECT_EQ(frame->paramNames[6]->text(), "Vesa %");
  EXPECT_EQ(frame->sgDataView->height(), 6 * 52 + 90);
  // Caption and value side by side, neither covering the other.
  EXPECT_EQ(frame->paramValues[0]->x(), frame->paramNames[0]->x() + frame->paramNames[0]->width());

  WriteParamNames({"None", "None", "None", "None", "None", "None", "None"});
  frame->LoadParamNames();
  frame->ShowParams(nullptr);
  EXPECT_EQ(frame->sgDataView->height(), 90);
  for (int i = 0; i < 7; ++i) EXPECT_TRUE(frame->paramNames[i]->isHidden());
}

TEST_F(FrameTest, UnreadableSettingsFileKeepsTheRowsAndSaysSo) {
  auto frame = MakeFrame();
  RemoveSettingsFile();
  QDir().mkpath(ConfigFolder() + "/qvcon.ini");  // a folder where the file should be
  frame->paramNames[0]->setText("Max");
  frame->LoadParamNames();
  QDir(ConfigFolder() + "/qvcon.ini").removeRecursively();
  EXPECT_EQ(ui().Texts("message"), QStringList{"read file error(ini)."});
  EXPECT_EQ(frame->paramNames[0]->text(), "Max");
}

TEST_F(FrameTest, StartWithoutInstrumentDoesNothing) {
  auto frame = MakeFrame();
  frame->sbtnCaptureClick();
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->sbtnCapture->text(), "Start");
  EXPECT_TRUE(ui().calls.isEmpty());
}

TEST_F(FrameTest, CaptureShowsFiguresOfTheSimulatedLight) {
  WriteParamNames({"Percentage(IES)", "Frequnecy", "None", "None", "None", "None", "None"});
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.3, 0.5) + ", " + kSteadyDark) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  Connect(*frame);
  frame->sbtnCaptureClick();
  EXPECT_EQ(frame->sbtnCapture->text(), "Stop");
  ASSERT_TRUE(ShowCaptures(*frame, 2));

  EXPECT_NEAR(Number(frame->paramValues[0]->text()), 30.0, 0.5) << frame->paramValues[0]->text().toStdString();
  EXPECT_TRUE(frame->paramValues[0]->text().endsWith("%"));
  EXPECT_NEAR(Number(frame->paramValues[1]->text()), 100.0, 0.5);
  EXPECT_NEAR(frame->flkTank->record->percentFlicker, 0.30f, 0.005f);
  EXPECT_STREQ(frame->flkTank->serialNumber, "SIM00001");
  EXPECT_EQ(frame->flkTank->record->gainIndex, frame->device->flickerAcq.range);
  EXPECT_EQ(frame->lblGain->text(), "Gain : " + QString::number(frame->device->flickerAcq.range + 1));
  EXPECT_EQ(frame->Series1->color(), QColor(0, 255, 0));
  EXPECT_GT(frame->Series1->count(), 0);
  EXPECT_EQ(frame->Series4->count(), 0);
  // The list: the DC line first (100 % of itself), then the 100 Hz fundamental with its
  // share of DC.
  EXPECT_EQ(frame->sgbtl->item(0, 2)->text(), "amplitude(%)");
  EXPECT_EQ(frame->sgbtl->item(1, 0)->text(), "0");
  EXPECT_EQ(frame->sgbtl->item(1, 2)->text(), "100.00");
  EXPECT_NEAR(frame->sgbtl->item(2, 0)->text().toDouble(), 100.0, 2.0);
  EXPECT_NEAR(frame->sgbtl->item(2, 2)->text().toDouble(), 30.0, 1.5);

  frame->sbtnCaptureClick();
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->sbtnCapture->text(), "Start");
  EXPECT_TRUE(ui().Texts("message").isEmpty());
}

TEST_F(FrameTest, OverExposedSampleTurnsTheWaveRedUntilACleanCapture) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.15, 4.0) + ", " + kSteadyDark) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  frame->cbAutoGain->setChecked(false);  // gain 1: the peak is 4.6 V
  Connect(*frame);
  frame->sbtnCaptureClick();
  ASSERT_TRUE(ShowCaptures(*frame, 1));
  EXPECT_EQ(frame->lblGain->text(), "Gain : 1(over exposure)");
  EXPECT_EQ(frame->Series1->color(), QColor(255, 0, 0));

  SimLight clean;
  clean.frequency = 100;
  clean.modulation = 0.15;
  clean.level = 2.0;
  clean.noise = 0;
  ASSERT_TRUE(sim.Driver().SetLight("SIM00001", clean));
  ASSERT_TRUE(ShowCaptures(*frame, 2));
  EXPECT_EQ(frame->lblGain->text(), "Gain : 1");
  EXPECT_EQ(frame->Series1->color(), QColor(0, 255, 0));
  frame->sbtnCaptureClick();
}

TEST_F(FrameTest, UnplugDuringCaptureReportsOnceAndKeepsTheLastGoodMeasurement) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.3, 0.5)) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  const FlickerRecord* kept = frame->flkTank->record.get();
  const std::vector<float> keptVolts = kept->volts;
  const float keptFrequency = kept->frequency;

  ASSERT_TRUE(sim.Driver().Unplug("SIM00001"));
  ASSERT_TRUE(WaitFor([&] {
    frame->Timer1Timer();
    return frame->capturing == 0;
  }));
  for (int i = 0; i < 5; ++i) frame->Timer1Timer();
  EXPECT_EQ(ui().Texts("message"), QStringList{"Device was disconnected!"});
  EXPECT_EQ(frame->sbtnCapture->text(), "Start");
  // The failed capture is not analysed or kept: the store still holds the last good one.
  EXPECT_EQ(frame->flkTank->record.get(), kept);
  EXPECT_EQ(frame->flkTank->record->volts, keptVolts);
  EXPECT_EQ(frame->flkTank->record->frequency, keptFrequency);
}

TEST_F(FrameTest, SetAppliesNewOptionsAtTheNextDisplay) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.3, 0.5)) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  EXPECT_EQ(frame->flkTank->record->sampleFreq, 32768u);

  frame->cbEnableFreqRes->setChecked(true);
  frame->cbSampleFreq->setCurrentText("1024");
  frame->cbSampleNum->setCurrentText("4096");
  EXPECT_EQ(frame->Timer1->interval(), 1000);  // nothing changes before "set"
  frame->sButton1Click();
  ASSERT_TRUE(ShowCaptures(*frame, 1));
  EXPECT_EQ(frame->flkTank->record->sampleFreq, 1024u);
  EXPECT_EQ(frame->flkTank->record->sampleCount, 4096u);
  EXPECT_EQ(frame->Timer1->interval(), 7000);
  EXPECT_EQ(frame->lblSampleRate->text(), "Sample Rate : 1024 Hz");
  EXPECT_EQ(frame->settingsChanged, 0);
  EXPECT_EQ(frame->capturing, 1);
  frame->sbtnCaptureClick();
}

TEST_F(FrameTest, BadCutoffTextChangesNothingAndEndsTheCaptureOnce) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.3, 0.5)) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  Connect(*frame);
  frame->chkEnFIR->setChecked(true);
  frame->edtFilterCutFreq->setText("abc");
  const FlickerRecord* kept = frame->flkTank->record.get();
  EXPECT_THROW(frame->sbtnCaptureClick(), ConversionError);
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->sbtnCapture->text(), "Start");
  EXPECT_EQ(frame->flkTank->record.get(), kept);

  // A bad text meeting "set" during a capture ends the capture instead of failing each tick.
  frame->edtFilterCutFreq->setText("1000");
  frame->sbtnCaptureClick();
  ASSERT_TRUE(ShowCaptures(*frame, 1));
  const FlickerRecord* ring = frame->ringRecord.get();
  frame->edtFilterCutFreq->setText("12x");
  frame->sButton1Click();
  EXPECT_THROW(frame->CaptureStep(), ConversionError);
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->sbtnCapture->text(), "Start");
  EXPECT_EQ(frame->ringRecord.get(), ring);
  EXPECT_NO_THROW(frame->Timer1Timer());
}

TEST_F(FrameTest, UnconfirmedStopRetiresTheWorkersRecordUntilItComesBack) {
  // A 1 s capture in real time (1024 samples and the filter's margin, 2048 at 2048 Hz),
  // longer than the frame is allowed to wait for the stop.
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.3, 0.5)) + "]", 1.0);
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  frame->cbAutoGain->setChecked(false);
  frame->cbEnableFreqRes->setChecked(true);
  frame->cbSampleFreq->setCurrentText("2048");
  frame->cbSampleNum->setCurrentText("1024");
  Connect(*frame);
  frame->sbtnCaptureClick();
  ASSERT_TRUE(WaitFor([&] { return frame->captureWorker->captures.load() >= 1; }));
  frame->stopWaitMs = 50;
  frame->sbtnCaptureClick();  // Stop: not confirmed within 50 ms
  EXPECT_EQ(frame->capturing, 0);
  frame->sbtnCaptureClick();  // Start again while the worker still holds the old record
  EXPECT_EQ(frame->retiredRecords.size(), 1u);
  ASSERT_TRUE(ShowCaptures(*frame, 1, 20000));
  EXPECT_TRUE(frame->retiredRecords.empty());
  frame->stopWaitMs = 20000;
  frame->sbtnCaptureClick();
}

TEST_F(FrameTest, DarkCalibrationOfferByModel) {
  struct Case {
    std::string model;
    bool offered;
    QString lux;  // the light-level caption
  };
  for (const Case& c : {Case{"TR7BQ", true, "Lux"}, Case{"BL3A", false, "Lv"}, Case{"TR7A", true, "Lux"}}) {
    SCOPED_TRACE(c.model);
    SimSession sim("[" + Instrument(c.model, "SIM00001") + "]");
    ASSERT_TRUE(sim.WaitForCount(1));
    auto frame = MakeFrame();
    ui().Clear();
    SpDevicePtr dev = SpFirstDevice();
    ui().AnswerButton(Button::Yes);
    frame->SetDevice(dev, SpChannelOf(dev->name));
    ui().buttons.clear();
    if (c.offered) {
      ASSERT_EQ(ui().calls.size(), 3);
      EXPECT_EQ(ui().calls[0].text, "Start Dark calibration?");
      EXPECT_EQ(ui().calls[0].caption, "Warring");
      EXPECT_EQ(ui().calls[1].kind, "message");
      EXPECT_EQ(ui().calls[1].text, "Please put cover on device");
      EXPECT_EQ(ui().calls[2].text, "Dark calibration finished!");
      EXPECT_EQ(ui().calls[2].caption, "Warring");
    } else {
      EXPECT_TRUE(ui().calls.isEmpty());
    }
    // Without an offer the first capture measures the offsets with the shutter closed.
    EXPECT_EQ(dev->flickerAcq.offsetsValid, c.offered ? 1u : 0u);
    EXPECT_EQ(frame->luxName->text(), c.lux);
  }
}

TEST_F(FrameTest, DarkCalibrationButtonFlowsAndRefusals) {
  SimSession sim("[" + Instrument("BL3A", "SIM00001") + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();

  frame->sSpeedButton1Click();
  ASSERT_EQ(ui().calls.size(), 1);
  EXPECT_EQ(ui().calls[0].text, "No deviced is connected!");
  EXPECT_EQ(ui().calls[0].caption, "Warring");

  SpDevicePtr dev = Connect(*frame);
  // A shutter instrument: no cover asked; the unit closes its shutter and measures itself.
  ui().Clear();
  ui().AnswerButton(Button::Yes);
  frame->sSpeedButton1Click();
  EXPECT_EQ(ui().Texts("box"), (QStringList{"Start Dark calibration?", "Dark calibration finished!"}));
  EXPECT_TRUE(ui().Texts("message").isEmpty());
  EXPECT_EQ(dev->flickerAcq.offsetsValid, 1u);

  // Refused while a continuous capture runs: nothing asked, the working record untouched.
  frame->sbtnCaptureClick();
  ASSERT_EQ(frame->capturing, 1);
  const FlickerRecord* working = frame->unitRecord.get();
  ui().Clear();
  frame->sSpeedButton1Click();
  frame->sSpeedButton3->click();
  frame->sButton3Click();
  EXPECT_EQ(ui().Texts("message"), QStringList(3, kFlickerRunningText));
  EXPECT_TRUE(ui().Texts("box").isEmpty());
  EXPECT_EQ(frame->unitRecord.get(), working);
  frame->sbtnCaptureClick();
}

TEST_F(FrameTest, ServiceCommandsOfTheCutoffEdit) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001") + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  SpDevicePtr dev = Connect(*frame);
  frame->chkEnFIR->setChecked(true);
  ui().Clear();

  frame->edtFilterCutFreq->setText("Remove dark");
  QTest::keyClick(frame->edtFilterCutFreq, Qt::Key_Return);
  EXPECT_TRUE(ui().calls.isEmpty());
  EXPECT_EQ(dev->flickerAcq.subtractOffset, 1u);

  frame->edtFilterCutFreq->setText("remove dark");
  QTest::keyClick(frame->edtFilterCutFreq, Qt::Key_Return);
  EXPECT_EQ(ui().Texts("message"), QStringList{"Dark is removed."});
  EXPECT_EQ(frame->edtFilterCutFreq->text(), "1000");
  EXPECT_EQ(dev->flickerAcq.subtractOffset, 0u);

  frame->edtFilterCutFreq->setText("add dark");
  QTest::keyClick(frame->edtFilterCutFreq, Qt::Key_X);
  EXPECT_EQ(ui().Texts("message"), (QStringList{"Dark is removed.", "Dark is added."}));
  EXPECT_EQ(frame->edtFilterCutFreq->text(), "1000");
  EXPECT_EQ(dev->flickerAcq.subtractOffset, 1u);
}

TEST_F(FrameTest, AxisEntriesAreCheckedInOrder) {
  auto frame = MakeFrame();
  frame->cbAxisX->setChecked(true);
  frame->cbAxisY->setChecked(true);
  EXPECT_FALSE(frame->btnSetAxisX->isHidden());
  EXPECT_FALSE(frame->btnSetBarY->isHidden());
  struct Case {
    QString min, max, message;
  };
  const Case cases[] = {
      {"Min", "Max", "-Axis Maximum value can't blank space."},
      {"0", "", "-Axis Maximum value can't blank space."},
      {"Min", "2", "-Axis Minimum value can't blank space."},
      {"", "2", "-Axis Minimum value can't blank space."},
      {"3", "2", "-Axis Minimum value can't over Maximum value."},
  };
  for (const Case& c : cases) {
    ui().Clear();
    frame->edtMinAxisX->setText(c.min);
    frame->edtMaxAxisX->setText(c.max);
    frame->btnSetAxisX->click();
    frame->edtMinAxisY->setText(c.min);
    frame->edtMaxAxisY->setText(c.max);
    frame->btnSetAxisY->click();
    EXPECT_EQ(ui().Texts("message"), (QStringList{"X" + c.message, "Y" + c.message})) << c.min.toStdString();
    EXPECT_TRUE(frame->axisXAutomatic);
  }
  ui().Clear();
  frame->edtMinAxisX->setText("0.1");
  frame->edtMaxAxisX->setText("0.2");
  frame->btnSetAxisX->click();
  EXPECT_FALSE(frame->axisXAutomatic);
  EXPECT_DOUBLE_EQ(frame->Chart1AxisX->min(), 0.1);
  EXPECT_DOUBLE_EQ(frame->Chart1AxisX->max(), 0.2);
  // A text that is no number reaches the standard error box through the button.
  frame->edtMinAxisX->setText("x");
  frame->btnSetAxisX->click();
  EXPECT_EQ(ui().Texts("error").size(), 1);

  frame->edtBarY->clear();
  frame->btnSetBarY->click();
  EXPECT_EQ(ui().Texts("message"), QStringList{"Mark value can't blank space."});
  frame->edtBarY->setText("1.5");
  frame->btnSetBarY->click();
  ASSERT_EQ(frame->Series5->count(), 2);
  EXPECT_EQ(frame->Series5->at(1), QPointF(16384.0 / 32768.0, 1.5));
  EXPECT_EQ(frame->Series5->pen().width(), 3);
  frame->cbAxisY->setChecked(false);
  EXPECT_EQ(frame->Series5->count(), 0);
  EXPECT_TRUE(frame->axisYAutomatic);
  frame->cbAxisX->setChecked(false);
  EXPECT_TRUE(frame->axisXAutomatic);
  EXPECT_TRUE(frame->btnSetAxisX->isHidden());
}

TEST_F(FrameTest, ChartsOfSyntheticRecords) {
  auto frame = MakeFrame();
  // All samples 0: the DC line is 0, so every share of it reads "0".
  FlickerRecordPtr dark = MakeFlickerRecord(4096, 4096, 100, 1000);
  FlickerRun(dark.get(), 0, 0);
  frame->ShowCharts(*dark);
  for (int r = 1; r <= 10; ++r) EXPECT_EQ(frame->sgbtl->item(r, 2)->text(), "0") << r;

  // Every JEITA level above 1 dB: the axis starts at 1 - 10 dB.
  FlickerRecordPtr loud = MakeFlickerRecord(4096, 4096, 100, 1000);
  for (float& v : loud->volts) v = 2.0f;
  FlickerRun(loud.get(), 0, 0);
  for (std::size_t i = 1; i < loud->jeitaSpectrum->levelDb.size(); ++i) loud->jeitaSpectrum->levelDb[i] = 5.0f;
  frame->ShowCharts(*loud);
  EXPECT_DOUBLE_EQ(frame->JeitaAxisY->min(), -9.0);
  EXPECT_GT(frame->Series3->upperSeries()->count(), 0);
  EXPECT_EQ(frame->Series3->lowerSeries()->at(0).y(), -9.0);  // bars stand on the axis minimum
}

TEST_F(FrameTest, RangeLimitsAreInclusiveAndTheFilteredTraceStartsAtZero) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001", Light("sine", 100, 0.3, 0.5)) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  frame->edtLowFreq->setText("1");
  frame->edtHighFreq->setText("100");
  frame->btnSetFreq->click();
  const QList<QPointF> bars = frame->Series2->upperSeries()->points();
  ASSERT_FALSE(bars.isEmpty());
  const auto top = std::max_element(bars.begin(), bars.end(), [](QPointF a, QPointF b) { return a.y() < b.y(); });
  EXPECT_NEAR(top->x(), 100.0, 1.0);  // the 100 Hz bar is inside 1 ~ 100
  EXPECT_LE(bars.back().x(), 101.0);

  frame->chkEnFIR->setChecked(true);
  frame->sButton1Click();
  ASSERT_TRUE(ShowCaptures(*frame, 1));
  EXPECT_EQ(frame->Series1->count(), 0);
  ASSERT_GT(frame->Series4->count(), 0);
  EXPECT_EQ(frame->Series4->at(0).x(), 0.0);
  frame->sbtnCaptureClick();

  // The maker's address opens through the system's handler.
  ui().Clear();
  QTest::mouseClick(frame->slbURL, Qt::LeftButton);
  EXPECT_EQ(ui().Texts("url"), QStringList{frame->slbURL->text()});
}

TEST_F(FrameTest, ModeSwitchAndFrequencyListSwitch) {
  auto frame = MakeFrame();
  frame->sModeSwitch->click();  // "JEITA"
  EXPECT_TRUE(frame->Chart_jeita->isVisible());
  EXPECT_FALSE(frame->Chart_normal->isVisible());
  EXPECT_FALSE(frame->plFreqNormal->isVisible());
  EXPECT_FALSE(frame->cbEnFreqTxtView->isVisible());
  frame->sModeSwitch->click();  // "FFT"
  EXPECT_FALSE(frame->Chart_jeita->isVisible());
  EXPECT_TRUE(frame->Chart_normal->isVisible());
  frame->cbEnFreqTxtView->click();
  EXPECT_FALSE(frame->plFreqTxtView->isVisible());
  EXPECT_FALSE(frame->findChild<QWidget*>("spFrqeTxtView")->isVisible());
  frame->cbEnFreqTxtView->click();
  EXPECT_TRUE(frame->plFreqTxtView->isVisible());
}

}  // namespace
