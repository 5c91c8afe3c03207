// The "Assessment" page: the verdicts of the measurement on display after a capture of a
// known light, a load, and the end of a PstLM run; the measured point on the IEEE chart.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>

#include "files/load_save.h"
#include "frame_fixture.h"

namespace {

struct Row {
  QString state, detail;
};

Row Shown(const TfFlicker& frame, AssessmentRule rule) {
  const auto i = static_cast<std::size_t>(rule);
  return {frame.assessStates[i]->text(), frame.assessDetails[i]->text()};
}

const char* const kLimits[] = {"limit < 8 % low risk, < 3.33 % no observable effect", "limit <= 1",
                               "limit <= 0.4 (since September 2024; 0.9 before)", "limit < 30 %"};

// 100 Hz lights at the default capture (16384 samples at 32768 Hz).
TEST_F(FrameTest, AssessmentPageJudgesTheCaptureOnDisplay) {
  const struct {
    const char* waveform;
    double modulation;
    const char *ieee, *svm, *ja8;
    double ja8Percent;  // reduced percent flicker: the 100 Hz line alone
  } lights[] = {
      {"sine", 0.02, "no observable effect", "pass", "pass", 2},   // 2 % < 3.33 %; SVM 0.08
      {"sine", 0.05, "low risk", "pass", "pass", 5},               // 3.33 % <= 5 % < 8 %; SVM 0.2
      {"square", 0.25, "above low risk", "fail", "fail", 4 / M_PI * 25},  // 31.8 % below 200 Hz
  };
  for (const auto& light : lights) {
    SCOPED_TRACE(std::string(light.waveform) + " " + std::to_string(light.modulation));
    SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light(light.waveform, 100, light.modulation, 0.5) +
                                                            ", \"darkOffsets\": [0, 0, 0, 0]") + "]");
    ASSERT_TRUE(sim.WaitForCount(1));
    auto frame = MakeFrame();
    EXPECT_EQ(frame->sPageControl1->tabText(2), "Assessment");
    EXPECT_EQ(Shown(*frame, AssessmentRule::kIeee1789).state, "not assessed");
    EXPECT_EQ(Shown(*frame, AssessmentRule::kJa8).detail, "no measurement; limit < 30 %");
    EXPECT_EQ(frame->SeriesMeasured->count(), 0);

    Connect(*frame);
    frame->sbtnCaptureClick();
    ASSERT_TRUE(ShowCaptures(*frame, 1));
    frame->sbtnCaptureClick();

    const Row ieee = Shown(*frame, AssessmentRule::kIeee1789);
    EXPECT_EQ(ieee.state, light.ieee);
    EXPECT_TRUE(ieee.detail.contains(" % at 100 Hz; ")) << ieee.detail.toStdString();
    EXPECT_TRUE(ieee.detail.endsWith(kLimits[0])) << ieee.detail.toStdString();
    EXPECT_EQ(Shown(*frame, AssessmentRule::kEcodesignPstLm).state, "not assessed");
    EXPECT_EQ(Shown(*frame, AssessmentRule::kEcodesignPstLm).detail, QString("no PstLM run; ") + kLimits[1]);
    EXPECT_EQ(Shown(*frame, AssessmentRule::kEcodesignSvm).state, light.svm);
    EXPECT_TRUE(Shown(*frame, AssessmentRule::kEcodesignSvm).detail.endsWith(kLimits[2]));
    const Row ja8 = Shown(*frame, AssessmentRule::kJa8);
    EXPECT_EQ(ja8.state, light.ja8);
    EXPECT_TRUE(ja8.detail.endsWith(QString(" %; ") + kLimits[3])) << ja8.detail.toStdString();
    EXPECT_NEAR(ja8.detail.section(' ', 0, 0).toDouble(), light.ja8Percent, 0.3);

    // The measured point: the fundamental and the modulation.
    ASSERT_EQ(frame->SeriesMeasured->count(), 1);
    EXPECT_NEAR(frame->SeriesMeasured->at(0).x(), 100, 0.5);
    EXPECT_NEAR(frame->SeriesMeasured->at(0).y(), light.modulation * 100, 0.1);
    EXPECT_EQ(frame->SeriesLowRisk->count(), 4);
    EXPECT_EQ(frame->SeriesNoEffect->count(), 4);
  }
}

// A finished PstLM run brings its value into the verdicts; a normal capture afterwards
// leaves it out again. A loaded measurement is judged as it is loaded.
TEST_F(FrameTest, AssessmentFollowsPstLmAndLoad) {
  SimSession sim("[" + Instrument("TR7BQ", "SIM00001", Light("sine", 100, 0.05, 0.5) + ", \"darkOffsets\": [0, 0, 0, 0]") + "]");
  ASSERT_TRUE(sim.WaitForCount(1));
  auto frame = CapturingFrame();
  frame->sbtnCaptureClick();

  // As the PstLM thread hands over its result and the page sees the run finished.
  for (const double pst : {0.62, 1.35}) {
    frame->pstValue = pst;
    frame->Timer3Timer();
    const Row row = Shown(*frame, AssessmentRule::kEcodesignPstLm);
    EXPECT_EQ(row.state, pst <= 1 ? "pass" : "fail");
    EXPECT_TRUE(row.detail.startsWith(QString::number(pst, 'f', 4) + "; ")) << row.detail.toStdString();
  }
  frame->pstValue.reset();  // the computation failed
  frame->Timer3Timer();
  EXPECT_EQ(Shown(*frame, AssessmentRule::kEcodesignPstLm).detail, "the PstLM run gave no value; limit <= 1");

  frame->sbtnCaptureClick();
  ASSERT_TRUE(ShowCaptures(*frame, 1));
  frame->sbtnCaptureClick();
  EXPECT_EQ(Shown(*frame, AssessmentRule::kEcodesignPstLm).state, "not assessed");

  // A saved 30 % ripple at 100 Hz: above the low-risk line, 30 % reduced flicker fails JA8.
  QTemporaryDir folder;
  FlickerRecordPtr saved = MakeFlickerRecord(4096, 10240, 100, 1000);
  for (uint32_t i = 0; i < saved->bufferLen; ++i)
    saved->volts[i] = static_cast<float>(1.0 + 0.35 * std::sin(2 * M_PI * 100.0 * i / 10240));
  FlickerRun(saved.get(), 0, 0);
  const QString file = folder.filePath("ripple.xls");
  ASSERT_TRUE(SaveRecordToFile(*saved, nullptr, file.toStdString()));
  ui().AnswerFile(file);
  frame->ssbLoad->click();
  EXPECT_EQ(Shown(*frame, AssessmentRule::kIeee1789).state, "above low risk");
  EXPECT_EQ(Shown(*frame, AssessmentRule::kJa8).state, "fail");
  EXPECT_EQ(frame->AssessmentShown().Of(AssessmentRule::kIeee1789).frequency, saved->frequency);
}

}  // namespace
