// The report page as PDF: one A4 page carrying, as text, exactly the words the bitmap page
// was composed with, each where the bitmap has it. The PDF is read back with pdftotext and
// pdfinfo (poppler-utils); the tests are skipped with a message when those are missing.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPaintEngine>
#include <QPaintDevice>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextItem>
#include <cmath>

#include "analysis/record.h"
#include "report/report_charts.h"
#include "report/report_folder.h"
#include "report/report_page.h"
#include "tests/report/qt_app_environment.h"

QUIVRA_QT_TEST_APPLICATION(QGuiApplication);

namespace {

// A paint device of the page's size that keeps every text drawn on it and where it went.
class TextRecorder : public QPaintDevice {
 public:
  struct Text {
    QString text;
    QPointF at;  // baseline origin, page pixels
  };
  TextRecorder() : engine_(&texts) {}
  QPaintEngine* paintEngine() const override { return &engine_; }
  std::vector<Text> texts;

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth: return kReportPageWidth;
      case PdmHeight: return kReportPageHeight;
      case PdmDepth: return 32;
      case PdmDpiX:
      case PdmDpiY:
      case PdmPhysicalDpiX:
      case PdmPhysicalDpiY: return 96;
      case PdmDevicePixelRatio: return 1;
      case PdmDevicePixelRatioScaled: return static_cast<int>(QPaintDevice::devicePixelRatioFScale());
      default: return QPaintDevice::metric(m);
    }
  }

 private:
  class Engine : public QPaintEngine {
   public:
    explicit Engine(std::vector<Text>* texts) : QPaintEngine(AllFeatures), texts_(texts) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawImage(const QRectF&, const QImage&, const QRectF&, Qt::ImageConversionFlags) override {}
    void drawRects(const QRectF*, int) override {}
    void drawRects(const QRect*, int) override {}
    void drawPath(const QPainterPath&) override {}
    void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF& p, const QTextItem& item) override {
      texts_->push_back({item.text(), painter()->transform().map(p)});
    }
    Type type() const override { return User; }

   private:
    std::vector<Text>* texts_;
  };
  mutable Engine engine_;
};

QStringList Words(const QString& text) {
  QStringList words = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
  words.sort();
  return words;
}

// Runs a poppler tool; its standard output, or a null string when it is not installed.
QString Poppler(const QString& tool, const QStringList& args) {
  if (QStandardPaths::findExecutable(tool).isEmpty()) return {};
  QProcess p;
  p.start(tool, args);
  EXPECT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  return QString::fromUtf8(p.readAllStandardOutput());
}

class ReportPdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
      GTEST_SKIP() << "pdftotext / pdfinfo (poppler-utils) not installed: the PDF text cannot be read back";
    ASSERT_TRUE(dir.isValid());
    record = MakeFlickerRecord(4096, 10000, 100, 1000);
    for (uint32_t i = 0; i < 4096; ++i) record->volts[i] = static_cast<float>(0.5 + 0.15 * std::sin(2 * M_PI * 100.0 * i / 10000));
    FlickerRun(record.get(), 0, 0);
    in.record = record.get();
    in.imageFolder = ChooseReportImageFolder({dir.filePath(QStringLiteral("img"))});
    ASSERT_FALSE(in.imageFolder.isEmpty());
    const ReportCharts charts = RenderReportCharts(*record);
    in.timeDomainChart = charts.timeDomain;
    in.fftChart = charts.fft;
    in.jeitaChart = charts.jeita;
    in.date = QStringLiteral("2024/05/17");
    in.connectedModel = QStringLiteral("TR7BQ");
    in.pstDone = true;
    in.pstLmText = QStringLiteral("0.4213");
    in.company = QStringLiteral("Lamps & Sons");
    in.mail = QStringLiteral("test@example.org");
    in.memo = QStringLiteral("warm white\nsecond shelf");
  }

  // The page composed twice (a long name first, as the preview keeps its page), saved as PDF.
  QString ComposeAndSave(ReportPage& page) {
    QString error;
    in.inspector = QStringLiteral("Maximilian Bartholomew Long-Surname");
    in.lightSource = QStringLiteral("Hall lamp, dimmed to 40 percent");
    EXPECT_TRUE(page.Compose(in, &error)) << error.toStdString();
    in.inspector = QStringLiteral("Ann Lee");
    in.lightSource = QStringLiteral("LED tube");
    EXPECT_TRUE(page.Compose(in, &error)) << error.toStdString();
    const QString path = dir.filePath(QStringLiteral("page.pdf"));
    EXPECT_TRUE(page.Save(path, ReportFileFormat::Pdf, &error)) << error.toStdString();
    return path;
  }

  QTemporaryDir dir;
  FlickerRecordPtr record;
  ReportInput in;
};

TEST_F(ReportPdfTest, PdfCarriesTheWordsOfTheBitmapPage) {
  ReportPage page;
  const QString pdf = ComposeAndSave(page);
  TextRecorder drawn;
  {
    QPainter p(&drawn);
    PaintReportPage(p, page.LastContent());
  }
  QString composed;
  for (const auto& t : drawn.texts) composed += t.text + QLatin1Char(' ');
  // The last composition's texts, none of the first one's.
  EXPECT_TRUE(composed.contains(QLatin1String("Ann Lee")));
  EXPECT_FALSE(composed.contains(QLatin1String("Maximilian")));
  EXPECT_TRUE(composed.contains(QLatin1String("Flicker Report")));
  EXPECT_TRUE(composed.contains(QLatin1String("TR7B ELITE")));

  const QString text = Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
  EXPECT_EQ(Words(text), Words(composed));

  const QString info = Poppler(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Pages:\\s+1\\n")))) << info.toStdString();
  EXPECT_TRUE(info.contains(QLatin1String("(A4)"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression(QStringLiteral("Title:\\s+Flicker Report")))) << info.toStdString();
}

// Each drawn text starts where the bitmap page has it: the first word's left edge in the PDF
// (points) is the text's page position scaled to the sheet, within a glyph's side bearing.
TEST_F(ReportPdfTest, TextsSitWhereTheBitmapPageHasThem) {
  ReportPage page;
  const QString pdf = ComposeAndSave(page);
  TextRecorder drawn;
  {
    QPainter p(&drawn);
    PaintReportPage(p, page.LastContent());
  }
  const QString html = Poppler(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
  const QRegularExpression size(QStringLiteral("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\""));
  const QRegularExpressionMatch sheet = size.match(html);
  ASSERT_TRUE(sheet.hasMatch()) << html.left(400).toStdString();
  const double scale = sheet.captured(1).toDouble() / kReportPageWidth;
  const QRegularExpression word(QStringLiteral("<word xMin=\"([0-9.]+)\" yMin=\"([0-9.]+)\" xMax=\"[0-9.]+\" yMax=\"([0-9.]+)\">([^<]*)</word>"));
  struct Box {
    QString text;
    double x, yMin, yMax;
  };
  std::vector<Box> boxes;
  for (auto it = word.globalMatch(html); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    boxes.push_back({m.captured(4), m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble()});
  }
  ASSERT_GT(drawn.texts.size(), 50u);
  for (const auto& t : drawn.texts) {
    const QStringList words = t.text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_FALSE(words.isEmpty());
    const QString first = words.front().toHtmlEscaped();
    const double x = t.at.x() * scale;
    const double baseline = t.at.y() * scale;
    bool found = false;
    for (const Box& b : boxes) {
      if (b.text == first && std::fabs(b.x - x) < 3 && b.yMin < baseline && baseline < b.yMax + 3) found = true;
    }
    EXPECT_TRUE(found) << t.text.toStdString() << " at " << t.at.x() << ", " << t.at.y();
  }
}

}  // namespace
