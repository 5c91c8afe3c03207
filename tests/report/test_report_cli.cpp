// quivra-cli report run as a process on a measurement file saved by the program.
#include <gtest/gtest.h>

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cmath>

#include "analysis/record.h"
#include "files/load_save.h"
#include "report/report_charts.h"
#include "report/report_folder.h"
#include "report/report_page.h"
#include "tests/report/qt_app_environment.h"

QUIVRA_QT_TEST_APPLICATION(QGuiApplication);

namespace {

struct CliResult {
  int exitCode = -1;
  QString out, err;
};

CliResult RunCli(const QStringList& args) {
  QProcess p;
  p.start(QStringLiteral(QUIVRA_CLI_PATH), args);
  EXPECT_TRUE(p.waitForFinished(60000));
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAllStandardOutput()),
          QString::fromLocal8Bit(p.readAllStandardError())};
}

class ReportCliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    FlickerRecordPtr r = MakeFlickerRecord(4096, 10000, 100, 1000);
    for (uint32_t i = 0; i < 4096; ++i) r->volts[i] = static_cast<float>(0.5 + 0.15 * std::sin(2 * M_PI * 100.0 * i / 10000));
    FlickerRun(r.get(), 0, 0);
    r->gainIndex = 2;
    measurement = dir.filePath(QStringLiteral("m.xls"));
    ASSERT_TRUE(SaveRecordToFile(*r, nullptr, measurement.toStdString()));
  }
  QTemporaryDir dir;
  QString measurement;
};

TEST_F(ReportCliTest, WritesTheSamePageTheProgramComposes) {
  const QString out = dir.filePath(QStringLiteral("page.bmp"));
  const CliResult r = RunCli({"report", measurement, "--out", out, "--inspector", "CLI Inspector", "--date",
                              "2024/05/17", "--model", "TR7AQ", "--memo", "first\\nsecond"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

  QFile file(out);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray header = file.read(30);
  EXPECT_EQ(header.left(2), "BM");
  EXPECT_EQ(static_cast<uchar>(header[28]), 24);
  const QImage page(out);
  ASSERT_EQ(page.size(), QSize(kReportPageWidth, kReportPageHeight));

  // The page of the same measurement composed here, from the loaded file, pixel for pixel.
  TFlkTankMgr store;
  ASSERT_EQ(LoadMeasurementFile(store, measurement.toStdString()).status, LoadStatus::Loaded);
  const ReportCharts charts = RenderReportCharts(*store.record);
  ReportInput in;
  in.record = store.record.get();
  in.inspector = QStringLiteral("CLI Inspector");
  in.date = QStringLiteral("2024/05/17");
  in.connectedModel = QStringLiteral("TR7AQ");
  in.memo = QStringLiteral("first\nsecond");
  in.imageFolder = ChooseReportImageFolder({dir.filePath(QStringLiteral("img"))});
  in.timeDomainChart = charts.timeDomain;
  in.fftChart = charts.fft;
  in.jeitaChart = charts.jeita;
  ReportPage expected;
  QString error;
  ASSERT_TRUE(expected.Compose(in, &error)) << error.toStdString();
  EXPECT_EQ(expected.LastContent()->gain, "3");
  EXPECT_EQ(expected.LastContent()->resolution, "2.44141 Hz");
  EXPECT_TRUE(page.convertToFormat(QImage::Format_RGB32) == expected.Image());
}

// --out chooses the format by its extension: a .pdf is the same page as one A4 page of text.
TEST_F(ReportCliTest, WritesAPdfForAPdfName) {
  const QString out = dir.filePath(QStringLiteral("page.pdf"));
  const CliResult r = RunCli({"report", measurement, "--out", out, "--inspector", "CLI Inspector"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  QFile file(out);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.read(5) == "%PDF-");
  if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
    GTEST_SKIP() << "pdftotext (poppler-utils) not installed: the PDF text is not read back";
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {out, QStringLiteral("-")});
  ASSERT_TRUE(text.waitForFinished(30000));
  const QString words = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(words.contains(QLatin1String("CLI Inspector"))) << words.toStdString();
  EXPECT_TRUE(words.contains(QLatin1String("2.44141 Hz"))) << words.toStdString();
}

TEST_F(ReportCliTest, FailuresExitWithOneLine) {
  QFile notes(dir.filePath(QStringLiteral("notes.txt")));
  ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
  notes.write("just some text\r\n");
  notes.close();
  const struct {
    QStringList args;
    int exitCode;
    const char* says;
  } cases[] = {
      {{"report", dir.filePath("missing.xls"), "--out", dir.filePath("a.bmp")}, 1, "cannot read"},
      {{"report", notes.fileName(), "--out", dir.filePath("a.bmp")}, 1, " not a correct format for quivra"},
      {{"report", measurement, "--out", dir.filePath("a.png")}, 1, ".bmp"},
      {{"report", measurement, "--out", dir.filePath("no/such/folder/a.bmp")}, 1, "a.bmp"},
      {{"report", measurement}, 2, "--out"},
  };
  for (const auto& c : cases) {
    const CliResult r = RunCli(c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << c.args.join(' ').toStdString();
    EXPECT_TRUE(r.err.contains(QLatin1String(c.says))) << r.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(dir.filePath("a.bmp")));
}

}  // namespace
