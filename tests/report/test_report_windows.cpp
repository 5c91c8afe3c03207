// The report windows driven like a user: the information dialog's OK composes the page and
// shows the preview, the preview prints and saves; every modal interaction is answered
// through the recording UI services.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <cmath>

#include "analysis/record.h"
#include "report/report_charts.h"
#include "report/report_folder.h"
#include "tests/report/qt_app_environment.h"
#include "ui/ui_services.h"
#include "workbench/report_windows.h"

QUIVRA_QT_TEST_APPLICATION(QApplication);

namespace {

// Printer choices answered by printing into a PDF file instead of a real printer.
class PdfPrinterUi : public RecordingUi {
 public:
  bool ChoosePrinter(QWidget* parent, QPrinter* printer) override {
    const bool ok = RecordingUi::ChoosePrinter(parent, printer);
    if (ok) {
      printer->setOutputFormat(QPrinter::PdfFormat);
      printer->setOutputFileName(pdfPath);
    }
    return ok;
  }
  QString pdfPath;
};

class ReportWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    SetUi(&ui);
    ui.pdfPath = dir.filePath(QStringLiteral("print.pdf"));
    folder = ChooseReportImageFolder({dir.filePath(QStringLiteral("img"))});
    ASSERT_FALSE(folder.isEmpty());
    record = MakeFlickerRecord(4096, 10000, 100, 1000);
    for (uint32_t i = 0; i < 4096; ++i) record->volts[i] = static_cast<float>(0.5 + 0.1 * std::sin(i * 0.0628));
    FlickerRun(record.get(), 0, 0);
    const ReportCharts charts = RenderReportCharts(*record);
    charts.timeDomain.save(QDir(folder).filePath(kChartTimeDomainFile));
    charts.fft.save(QDir(folder).filePath(kChartFftFile));
    charts.jeita.save(QDir(folder).filePath(kChartJeitaFile));

    preview = std::make_unique<TFormImage>();
    info = std::make_unique<TFormInfo>(preview.get());
    info->SetInputProvider([this]() -> std::optional<ReportInput> {
      ReportInput in;
      in.record = record.get();
      in.connectedModel = QStringLiteral("TR7AQ");
      in.imageFolder = folder;
      return in;
    });
  }
  void TearDown() override {
    info.reset();
    preview.reset();
    SetUi(nullptr);
  }

  template <class W>
  W* Find(QWidget* parent, const char* name) {
    W* w = parent->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  // Types the inspector's name and presses OK.
  void Report(const QString& inspector) {
    info->show();
    Find<QLineEdit>(info.get(), "edtUser")->setText(inspector);
    Find<QPushButton>(info.get(), "sButton1")->click();
  }

  QTemporaryDir dir;
  PdfPrinterUi ui;
  QString folder;
  FlickerRecordPtr record;
  std::unique_ptr<TFormImage> preview;
  std::unique_ptr<TFormInfo> info;
};

TEST_F(ReportWindowsTest, WindowsCarryTheirCaptionsControlsAndStartDate) {
  EXPECT_EQ(preview->windowTitle(), "Preview");
  EXPECT_EQ(Find<QLabel>(preview.get(), "Image1")->geometry(), QRect(8, 8, 439, 620));
  Find<QPushButton>(preview.get(), "sSpeedButton1");
  Find<QPushButton>(preview.get(), "sSpeedButton2");
  EXPECT_EQ(info->windowTitle(), "Export Information");
  EXPECT_EQ(Find<QLabel>(info.get(), "sLabel9")->text(), QDate::currentDate().toString("yyyy/MM/dd"));
  for (const char* name : {"edtUser", "edtSource", "edtCompany", "edtWebURL", "edtPhone", "edtMail"}) {
    EXPECT_TRUE(Find<QLineEdit>(info.get(), name)->text().isEmpty());
  }
  Find<QPlainTextEdit>(info.get(), "edtMemo");
  // Tab order: OK first, then the edits top to bottom.
  QWidget* w = Find<QPushButton>(info.get(), "sButton1");
  for (const char* name : {"edtUser", "edtSource", "edtCompany", "edtWebURL", "edtPhone", "edtMail", "edtMemo"}) {
    w = w->nextInFocusChain();
    while (w && w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->objectName(), QLatin1String(name));
  }
}

TEST_F(ReportWindowsTest, OkComposesShowsThePreviewAndKeepsTheTexts) {
  Find<QLineEdit>(info.get(), "edtSource")->setText(QStringLiteral("LED tube"));
  Find<QPlainTextEdit>(info.get(), "edtMemo")->setPlainText(QStringLiteral("line one\nline two\nline three"));
  Report(QStringLiteral("Jane Inspector"));
  EXPECT_TRUE(ui.Texts("error").isEmpty()) << ui.Texts("error").join(' ').toStdString();
  EXPECT_TRUE(preview->isVisible());
  EXPECT_FALSE(info->isVisible());
  const ReportContent* c = preview->Page().LastContent();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->inspector, "Jane Inspector");
  EXPECT_EQ(c->lightSource, "LED tube");
  EXPECT_EQ(c->memoLine2, "line two");
  EXPECT_EQ(c->model, "TR7A ELITE");
  EXPECT_EQ(c->date, QDate::currentDate().toString("yyyy/MM/dd"));
  EXPECT_EQ(c->resolution, "2.44141 Hz");
  // Shown again for the next report, the texts are still there.
  info->show();
  EXPECT_EQ(Find<QLineEdit>(info.get(), "edtUser")->text(), "Jane Inspector");
  EXPECT_EQ(Find<QLineEdit>(info.get(), "edtSource")->text(), "LED tube");
}

TEST_F(ReportWindowsTest, ShorterInspectorNameLeavesNoRemainder) {
  Report(QStringLiteral("Maximilian Bartholomew Long-Surname"));
  const QImage longName = preview->Page().Image();
  Report(QStringLiteral("Li"));
  const QImage twice = preview->Page().Image();
  // The same page as a single report with the short name on a fresh preview.
  TFormImage fresh;
  ReportInput in = *info->CollectInput();
  QString error;
  ASSERT_TRUE(fresh.ComposePage(in, &error));
  EXPECT_FALSE(twice == longName);
  EXPECT_TRUE(twice == fresh.Page().Image());
}

TEST_F(ReportWindowsTest, FailedCompositionShowsTheErrorAndKeepsTheDialog) {
  QFile::remove(QDir(folder).filePath(kChartJeitaFile));
  Report(QStringLiteral("Someone"));
  ASSERT_EQ(ui.Texts("error").size(), 1);
  EXPECT_TRUE(ui.Texts("error").front().contains(QLatin1String(kChartJeitaFile)));
  EXPECT_FALSE(preview->isVisible());
  EXPECT_TRUE(info->isVisible());
  EXPECT_EQ(Find<QLineEdit>(info.get(), "edtUser")->text(), "Someone");
}

TEST_F(ReportWindowsTest, ProviderRefusalComposesNothing) {
  info->SetInputProvider([] { return std::optional<ReportInput>(); });
  Report(QStringLiteral("Someone"));
  EXPECT_EQ(preview->Page().LastContent(), nullptr);
  EXPECT_FALSE(preview->isVisible());
  EXPECT_TRUE(info->isVisible());
}

TEST_F(ReportWindowsTest, SaveAlwaysAppendsBmpAndWrites24Bits) {
  Report(QStringLiteral("Saver"));
  const struct {
    const char *chosen, *written;
  } cases[] = {{"page", "page.bmp"}, {"page.bmp", "page.bmp.bmp"}};
  for (const auto& c : cases) {
    ui.AnswerFile(dir.filePath(QString::fromLatin1(c.chosen)));
    Find<QPushButton>(preview.get(), "sSpeedButton2")->click();
    const QString path = dir.filePath(QString::fromLatin1(c.written));
    ASSERT_TRUE(QFile::exists(path)) << c.written;
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray header = f.read(30);
    EXPECT_EQ(static_cast<uchar>(header[28]), 24);
    EXPECT_TRUE(QImage(path).convertToFormat(QImage::Format_RGB32) == preview->Page().Image());
  }
  EXPECT_EQ(ui.Texts("save").front(), "Bitmaps (*.bmp)");
  // Cancelled: nothing written, nothing said. Unwritable: the error is shown.
  const int files = QDir(dir.path()).entryList(QDir::Files).size();
  Find<QPushButton>(preview.get(), "sSpeedButton2")->click();
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), files);
  ui.AnswerFile(dir.filePath(QStringLiteral("no/such/folder/page")));
  Find<QPushButton>(preview.get(), "sSpeedButton2")->click();
  EXPECT_EQ(ui.Texts("error").size(), 1);
}

TEST_F(ReportWindowsTest, SaveAsPdfAppendsTheExtensionWhenMissing) {
  Report(QStringLiteral("Saver"));
  const struct {
    const char *chosen, *written;
  } cases[] = {{"page", "page.pdf"}, {"page2.PDF", "page2.PDF"}};
  for (const auto& c : cases) {
    ui.AnswerFile(dir.filePath(QString::fromLatin1(c.chosen)));
    Find<QPushButton>(preview.get(), "btnSavePdf")->click();
    QFile pdf(dir.filePath(QString::fromLatin1(c.written)));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly)) << c.written;
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
  }
  EXPECT_EQ(ui.Texts("save"), QStringList(2, QStringLiteral("PDF documents (*.pdf)")));
  const int files = QDir(dir.path()).entryList(QDir::Files).size();
  Find<QPushButton>(preview.get(), "btnSavePdf")->click();  // cancelled
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), files);
  ui.AnswerFile(dir.filePath(QStringLiteral("no/such/folder/page")));
  Find<QPushButton>(preview.get(), "btnSavePdf")->click();
  ASSERT_EQ(ui.Texts("error").size(), 1);
  EXPECT_TRUE(ui.Texts("error").front().contains(QLatin1String("page.pdf")));
}

TEST_F(ReportWindowsTest, PrintStretchesThePageOverThePrinter) {
  Report(QStringLiteral("Printer"));
  Find<QPushButton>(preview.get(), "sSpeedButton1")->click();  // cancelled
  EXPECT_FALSE(QFile::exists(ui.pdfPath));
  ui.AnswerPrinter(true);
  Find<QPushButton>(preview.get(), "sSpeedButton1")->click();
  EXPECT_EQ(ui.Texts("printer").size(), 2);
  EXPECT_TRUE(ui.Texts("error").isEmpty());
  QFile pdf(ui.pdfPath);
  ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
  EXPECT_TRUE(pdf.read(5) == "%PDF-");
  EXPECT_GT(pdf.size(), 10000);
}

}  // namespace
