// The frame's PstLM page, Save and Load, the light level, "Save Report" with the report
// windows, and the column dialog through the parameter box's edit button.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "columns/column_dialog.h"
#include "frame_fixture.h"
#include "instrument/pstlm_run.h"
#include "report/report_folder.h"
#include "workbench/report_windows.h"

namespace {

const std::string kLight = "\"light\": {\"waveform\": \"sine\", \"frequency\": 100, \"modulation\": 0.3, \"level\": 0.5, "
                           "\"noise\": 0}, \"darkOffsets\": [0, 0, 0, 0]";

QStringList Values(const TfFlicker& frame) {
  QStringList values;
  for (QLabel* v : frame.paramValues) values << v->text();
  return values;
}

TEST_F(FrameTest, PstLmRunReachesFinishWithItsFiguresOnDisplay) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001", kLight) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  SpDevicePtr dev = Connect(*frame);
  frame->chkEnFIR->setChecked(true);  // the finished record is shown unfiltered all the same

  frame->btnPstMsr->click();
  EXPECT_FALSE(frame->btnPstMsr->isEnabled());
  EXPECT_TRUE(frame->Timer2->isActive());
  EXPECT_EQ(frame->ProgressBar1->maximum(), 195);
  EXPECT_EQ(frame->pstDone, 0);
  frame->pstElapsed = 125;
  frame->Timer2Timer();
  EXPECT_EQ(frame->PstLabel->text(), "0:2:5");
  EXPECT_EQ(frame->ProgressBar1->value(), 125);

  ASSERT_TRUE(WaitFor(
      [&] {
        frame->Timer3Timer();
        return frame->PstLabel->text() == "Finish";
      },
      120000));
  EXPECT_EQ(frame->ProgressBar1->value(), frame->ProgressBar1->maximum());
  EXPECT_TRUE(frame->btnPstMsr->isEnabled());
  EXPECT_FALSE(frame->Timer2->isActive());
  EXPECT_FALSE(frame->Timer3->isActive());
  EXPECT_EQ(frame->pstDone, 1);
  EXPECT_NEAR(frame->pstValues[0]->text().toDouble(), 100.0, 0.5);
  EXPECT_NE(frame->pstValues[2]->text(), "0.0000");
  EXPECT_NE(frame->pstValues[2]->text(), kPstFailedText);
  // The assessment page judges the run's PstLM.
  EXPECT_NE(frame->assessStates[static_cast<int>(AssessmentRule::kEcodesignPstLm)]->text(), "not assessed");
  EXPECT_TRUE(frame->assessDetails[static_cast<int>(AssessmentRule::kEcodesignPstLm)]->text().startsWith(
      frame->pstValues[2]->text() + "; "));
  const FlickerRecord* record = frame->flkTank->record.get();
  ASSERT_TRUE(record);
  EXPECT_EQ(record->sampleCount, 737280u);
  EXPECT_EQ(record->sampleFreq, 4096u);
  EXPECT_EQ(record->firEnabled, 0u);
  EXPECT_EQ(record->gainIndex, dev->flickerAcq.range);
  EXPECT_GT(frame->Series1->count(), 0);
  EXPECT_EQ(frame->Series4->count(), 0);
  EXPECT_EQ(frame->paramValues[0]->text().isEmpty(), false);
  EXPECT_TRUE(ui().Texts("message").isEmpty());

  // A normal Start clears the PstLM state, the panels keep their values.
  const QString pst = frame->pstValues[2]->text();
  frame->sbtnCaptureClick();
  EXPECT_EQ(frame->pstDone, 0);
  frame->sbtnCaptureClick();
  EXPECT_EQ(frame->pstValues[2]->text(), pst);
}

TEST_F(FrameTest, PstLmCaptureWithoutInstrumentKeepsTheMeasurement) {
  auto frame = MakeFrame();
  const FlickerRecord* kept = frame->flkTank->record.get();
  frame->btnPstMsr->click();
  ASSERT_EQ(ui().calls.size(), 1);
  EXPECT_EQ(ui().calls[0].text, "No device is connected!");
  EXPECT_EQ(ui().calls[0].caption, "Warring");
  EXPECT_EQ(frame->flkTank->record.get(), kept);
  EXPECT_EQ(frame->PstRunning(), false);
  EXPECT_TRUE(frame->btnPstMsr->isEnabled());

  QTemporaryDir folder;
  ui().AnswerFile(folder.filePath("kept"));
  frame->ssbSave->click();
  EXPECT_EQ(ui().Texts("message"), QStringList{"Save Finished."});
  EXPECT_TRUE(QFile::exists(folder.filePath("kept.xls")));
}

TEST_F(FrameTest, EverythingThatUsesTheKeptRecordOrTheInstrumentWaitsForThePstLmRun) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001") + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  Connect(*frame);
  frame->pstRequested = 1;  // as while the PstLM thread fills the kept record
  const FlickerRecord* kept = frame->flkTank->record.get();
  ui().AnswerFile("/nonexistent/never-used");
  frame->sbtnCapture->click();
  frame->sSpeedButton1->click();
  frame->sButton3->click();
  frame->ssbLoad->click();
  frame->ssbSave->click();
  frame->sSpeedButton2->click();
  frame->sSpeedButton4->click();
  frame->btnLvMsr->click();
  frame->ssbEdit->click();
  EXPECT_FALSE(frame->ReportMeasurement().has_value());
  EXPECT_EQ(ui().Texts("message"), QStringList(10, kPstRunningText));
  EXPECT_TRUE(ui().Texts("open").isEmpty());
  EXPECT_TRUE(ui().Texts("save").isEmpty());
  EXPECT_EQ(frame->capturing, 0);
  EXPECT_EQ(frame->flkTank->record.get(), kept);
  frame->pstRequested = 0;

  // And the reverse: no PstLM run and no light-level reading during a continuous capture.
  frame->sbtnCaptureClick();
  ui().Clear();
  frame->btnPstMsr->click();
  frame->btnLvMsr->click();
  EXPECT_EQ(ui().Texts("message"), QStringList(2, kFlickerRunningText));
  EXPECT_FALSE(frame->PstRunning());
  frame->sbtnCaptureClick();
}

TEST_F(FrameTest, SaveAndLoadRoundTrip) {
  WriteParamNames({"Frequnecy", "Percentage(IES)", "RMS %", "Max", "Min", "SVM", "AC/DC"});
  SimSession sim("[" + Instrument("TR7A", "SIM00001", kLight) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  frame->sbtnCaptureClick();
  const QStringList shown = Values(*frame);

  QTemporaryDir folder;
  ui().AnswerFile(folder.filePath("result"));
  ui().AnswerFile(folder.filePath("result.xls"));
  frame->ssbSave->click();
  frame->ssbSave->click();
  EXPECT_EQ(ui().Texts("message"), QStringList(2, "Save Finished."));
  EXPECT_TRUE(QFile::exists(folder.filePath("result.xls")));
  EXPECT_TRUE(QFile::exists(folder.filePath("result.xls.xls")));

  // Loaded with the filter switched on: the file's signal is analysed as it is.
  frame->chkEnFIR->setChecked(true);
  frame->pstDone = 1;
  frame->ShowParams(nullptr);
  ui().Clear();
  ui().AnswerFile(folder.filePath("result.xls"));
  frame->ssbLoad->click();
  EXPECT_TRUE(ui().Texts("message").isEmpty());
  EXPECT_EQ(Values(*frame), shown);
  EXPECT_EQ(frame->pstDone, 0);
  EXPECT_EQ(frame->flkTank->record->firEnabled, 0u);
  EXPECT_EQ(frame->edtHighFreq->text(), "16384");

  // Cancelled dialogs do nothing; a file that is no measurement says so and keeps the record.
  ui().Clear();
  frame->ssbLoad->click();
  frame->ssbSave->click();
  EXPECT_TRUE(ui().Texts("message").isEmpty());
  QFile text(folder.filePath("notes.txt"));
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("just some notes\r\n");
  text.close();
  const FlickerRecord* kept = frame->flkTank->record.get();
  ui().AnswerFile(text.fileName());
  frame->ssbLoad->click();
  EXPECT_EQ(ui().Texts("message"), QStringList{text.fileName() + " not a correct format for quivra"});
  EXPECT_EQ(frame->flkTank->record.get(), kept);
}

TEST_F(FrameTest, WorkbookLoads) {
  WriteParamNames({"Frequnecy", "Percentage(IES)", "None", "None", "None", "None", "None"});
  auto frame = MakeFrame();
  ui().AnswerFile(QUIVRA_SOURCE_DIR "/tests/fixtures/files/resaved.xlsx");
  frame->ssbLoad->click();
  EXPECT_EQ(ui().Texts("message"), QStringList{"this is a large file, please wait!"});
  ASSERT_TRUE(frame->flkTank->record);
  EXPECT_EQ(frame->flkTank->record->sampleCount, 1024u);
  EXPECT_EQ(frame->flkTank->record->sampleFreq, 10240u);
  EXPECT_EQ(frame->flkTank->record->gainIndex, 1);
  EXPECT_EQ(frame->paramValues[0]->text(), "100");
  EXPECT_NEAR(frame->paramValues[1]->text().remove('%').toDouble(), 100.0, 0.1);
}

TEST_F(FrameTest, LightLevelReadingAndItsFormat) {
  SimSession sim("[" + Instrument("TR7A", "SIM00001", "\"lux\": 31.4") + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = MakeFrame();
  frame->btnLvMsr->click();  // no instrument: nothing
  EXPECT_EQ(frame->luxValue->text(), "0.0");
  EXPECT_TRUE(ui().calls.isEmpty());
  Connect(*frame);
  ui().Clear();
  EXPECT_EQ(frame->luxName->text(), "Lux");  // no shutter
  struct Case {
    double lux;
    QString pattern;
  };
  for (const Case& c : {Case{31.4, "^\\d\\d\\.\\d\\d$"}, Case{3142, "^\\d{4}$"}, Case{3.142, "^\\d\\.\\d{3}$"}}) {
    ASSERT_TRUE(sim.Driver().SetLux("SIM00001", c.lux));
    frame->btnLvMsr->click();
    const QString text = frame->luxValue->text();
    EXPECT_TRUE(QRegularExpression(c.pattern).match(text).hasMatch()) << text.toStdString();
    EXPECT_NEAR(text.toDouble(), c.lux, c.lux * 0.01) << text.toStdString();
  }
  EXPECT_TRUE(ui().calls.isEmpty());
}

TEST_F(FrameTest, SaveReportWritesTheSnapshotsAndTheDialogComposesThePage) {
  SimSession sim("[" + Instrument("TR7AQ", "SIM00001", kLight) + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  frame->sbtnCaptureClick();

  TFormImage preview;
  TFormInfo info(&preview);
  info.SetInputProvider([&] { return frame->ReportMeasurement(); });
  int opened = 0;
  frame->onReport = [&] { ++opened; };
  const QString folder = ReportImageFolder();
  ASSERT_FALSE(folder.isEmpty());
  for (const char* name : {kChartTimeDomainFile, kChartFftFile, kChartJeitaFile}) QFile::remove(QDir(folder).filePath(name));

  frame->sSpeedButton4->click();
  EXPECT_EQ(opened, 1);
  EXPECT_TRUE(ui().Texts("error").isEmpty()) << ui().Texts("error").join(";").toStdString();
  const QImage jeita(QDir(folder).filePath(kChartJeitaFile));
  const QImage time(QDir(folder).filePath(kChartTimeDomainFile));
  const QImage fft(QDir(folder).filePath(kChartFftFile));
  EXPECT_EQ(time.size(), kTimeDomainRect.size());
  EXPECT_EQ(fft.size(), kFftRect.size());
  EXPECT_EQ(jeita.size(), kJeitaRect.size());
  QFile bmp(QDir(folder).filePath(kChartTimeDomainFile));
  ASSERT_TRUE(bmp.open(QIODevice::ReadOnly));
  const QByteArray header = bmp.read(30);
  EXPECT_EQ(header.left(2), "BM");
  EXPECT_EQ(static_cast<int>(header[28]), 24);  // bits per pixel
  EXPECT_TRUE(frame->JeitaMarksVisible());  // hidden only while the snapshot was drawn

  const std::optional<ReportInput> input = info.CollectInput();
  ASSERT_TRUE(input.has_value());
  EXPECT_EQ(input->record, frame->flkTank->record.get());
  EXPECT_FALSE(input->pstDone);
  EXPECT_EQ(input->connectedModel.value_or(""), "TR7AQ");
  info.sButton1Click();
  EXPECT_TRUE(ui().Texts("error").isEmpty()) << ui().Texts("error").join(";").toStdString();
  EXPECT_TRUE(preview.isVisible());
}

TEST_F(FrameTest, EditButtonOpensTheColumnDialogAndShowsTheNewChoice) {
  auto frame = MakeFrame();
  QTimer::singleShot(0, [&] {
    auto* chosen = frame->expSet->findChild<QListWidget*>("slbBasic");
    auto* all = frame->expSet->findChild<QListWidget*>("slbAll");
    ASSERT_TRUE(chosen && all);
    chosen->setCurrentRow(0);
    const QList<QListWidgetItem*> none = all->findItems("None", Qt::MatchEndsWith);
    ASSERT_FALSE(none.isEmpty());
    all->setCurrentItem(none.first());
    frame->expSet->ssbRightClick();
    frame->expSet->tbCommitClick();
  });
  frame->ssbEdit->click();
  EXPECT_EQ(frame->paramNames[0]->text(), "None");
  EXPECT_TRUE(frame->paramNames[0]->isHidden());
  EXPECT_EQ(frame->sgDataView->height(), 6 * 52 + 90);

  QTimer::singleShot(0, [&] { frame->expSet->tbCancelClick(); });
  frame->ssbEdit->click();
  EXPECT_EQ(frame->paramNames[0]->text(), "None");
}

}  // namespace
