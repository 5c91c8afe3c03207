// The report page: template, fonts, the texts of every field, blanking between
// compositions, the missing-file rule, the bitmap file and the report folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cmath>

#include "analysis/record.h"
#include "report/report_charts.h"
#include "report/report_folder.h"
#include "report/report_page.h"
#include "tests/report/qt_app_environment.h"

QUIVRA_QT_TEST_APPLICATION(QGuiApplication);

namespace {

// A 100 Hz sine of 30 % modulation, analysed without the filter.
FlickerRecordPtr SineRecord(uint32_t count = 4096, uint32_t freq = 10000) {
  FlickerRecordPtr r = MakeFlickerRecord(count, freq, 100, 1000);
  for (uint32_t i = 0; i < count; ++i) {
    r->volts[i] = static_cast<float>(0.5 + 0.15 * std::sin(2 * M_PI * 100.0 * i / freq));
  }
  FlickerRun(r.get(), 0, 0);
  return r;
}

// Rectangle of the page holding anything but the background colour bg.
QRect InkBox(const QImage& page, const QRect& area, QRgb bg) {
  QRect box;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if ((page.pixel(x, y) & 0xffffff) != (bg & 0xffffff)) box |= QRect(x, y, 1, 1);
  return box;
}

class ReportPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    folder = ChooseReportImageFolder({dir.filePath(QStringLiteral("img"))});
    ASSERT_FALSE(folder.isEmpty());
    record = SineRecord();
    const ReportCharts charts = RenderReportCharts(*record);
    ASSERT_TRUE(charts.timeDomain.save(QDir(folder).filePath(kChartTimeDomainFile)));
    ASSERT_TRUE(charts.fft.save(QDir(folder).filePath(kChartFftFile)));
    ASSERT_TRUE(charts.jeita.save(QDir(folder).filePath(kChartJeitaFile)));
  }

  ReportInput Input() const {
    ReportInput in;
    in.record = record.get();
    in.imageFolder = folder;
    in.date = QStringLiteral("2024/05/17");
    return in;
  }

  static ReportContent Resolve(const ReportInput& in) {
    ReportContent c;
    QString error;
    EXPECT_TRUE(ResolveReportContent(in, &c, &error)) << error.toStdString();
    return c;
  }

  static QString Figure(const ReportContent& c, const char* label) {
    const auto& labels = ReportFigureLabels();
    for (std::size_t i = 0; i < labels.size(); ++i)
      if (QLatin1String(labels[i]) == QLatin1String(label)) return c.figures[i];
    ADD_FAILURE() << "no table cell " << label;
    return {};
  }

  QTemporaryDir dir;
  QString folder;
  FlickerRecordPtr record;
};

TEST(ReportTemplate, WhitePageWithCentredTitle) {
  const QImage page = ReportPageTemplate();
  ASSERT_EQ(page.size(), QSize(kReportPageWidth, kReportPageHeight));
  const QRect ink = InkBox(page, page.rect(), qRgb(255, 255, 255));
  // The title is the only thing on the page, in the band x 604..1149, y 107..179.
  EXPECT_GE(ink.left(), 596);
  EXPECT_LE(ink.right(), 1157);
  EXPECT_GE(ink.top(), 100);
  EXPECT_LE(ink.bottom(), 186);
  EXPECT_GT(ink.width(), 480);
  EXPECT_GT(ink.height(), 60);
  EXPECT_NEAR(ink.center().x(), 876, 4);
}

TEST(ReportFont, ArialOrItsMetricTwinBoldAtTheCellHeight) {
  const QString family = ReportFontFamily();
  EXPECT_TRUE(family == QLatin1String("Arial") || family == QLatin1String("Liberation Sans")) << family.toStdString();
  for (int cell : {40, 48, 54}) {
    const QFont font = ReportFont(cell);
    const QFontInfo info(font);
    EXPECT_EQ(info.family(), family);
    EXPECT_TRUE(info.bold());
    const int height = QFontMetrics(font).height();
    EXPECT_LE(height, cell);
    EXPECT_GE(height, cell - 2);
  }
}

TEST(ReportModel, PrintedNameOfTheConnectedInstrument) {
  const struct {
    std::optional<QString> model;
    const char* printed;
  } cases[] = {
      {QStringLiteral("TR7AQ"), "TR7A ELITE"}, {QStringLiteral("TR7BQ"), "TR7B ELITE"},
      {QStringLiteral("TR9G"), "TR9G"},        {QStringLiteral("VD2A"), "VD2A"},
      {QStringLiteral("TR7A"), ""},            {QStringLiteral(""), ""},
      {std::nullopt, " "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReportModelName(c.model), QLatin1String(c.printed)) << c.model.value_or("none").toStdString();
  }
}

TEST_F(ReportPageTest, SamplingFieldsAndResolution) {
  const struct {
    uint32_t count, freq;
    int32_t gainIndex;
    bool pstDone;
    const char *sampleFreq, *resolution, *gain;
  } cases[] = {
      {4096, 10000, 0, false, "10000 Hz", "2.44141 Hz", "1"},
      {1024, 1024, 3, false, "1024 Hz", "1 Hz", "4"},
      {4096, 4096, 1, true, "4096 Hz", "N/A", "2"},
  };
  for (const auto& c : cases) {
    record = SineRecord(c.count, c.freq);
    record->gainIndex = c.gainIndex;
    ReportInput in = Input();
    in.pstDone = c.pstDone;
    const ReportContent content = Resolve(in);
    EXPECT_EQ(content.sampleFreq, QLatin1String(c.sampleFreq));
    EXPECT_EQ(content.sampleCount, QString::number(c.count));
    EXPECT_EQ(content.gain, QLatin1String(c.gain));
    EXPECT_EQ(content.resolution, QLatin1String(c.resolution));
  }
}

TEST_F(ReportPageTest, FiguresTablePatterns) {
  record->rmsRatio = 0.2121320f;
  record->rmsDb = -6.7345f;
  record->flickerIndex = 0.0955f;
  record->frequency = 99.9f;
  record->minVolts = 0.35f;
  record->maxVolts = 0.65f;
  ReportInput in = Input();
  ReportContent c = Resolve(in);
  EXPECT_EQ(Figure(c, "RMS %"), QLatin1String("21.2132 %"));
  EXPECT_EQ(Figure(c, "RMS dB"), QLatin1String("-6.73"));
  EXPECT_EQ(Figure(c, "Index(IES)"), QLatin1String("0.0955"));
  EXPECT_EQ(Figure(c, "Frequnecy"), QLatin1String("99.9000015258789"));
  EXPECT_EQ(Figure(c, "Max-Min"), QLatin1String("0.3000"));
  EXPECT_EQ(Figure(c, "PstLM"), QLatin1String("N/A"));

  record->frequency = -1;  // no fundamental found
  in.pstDone = true;
  in.pstLmText = QStringLiteral("0.4213");
  c = Resolve(in);
  EXPECT_EQ(Figure(c, "Frequnecy"), QLatin1String("-1"));
  EXPECT_EQ(Figure(c, "PstLM"), QLatin1String("0.4213"));
}

TEST_F(ReportPageTest, MemoPrintsItsFirstTwoLines) {
  ReportInput in = Input();
  const struct {
    const char *memo, *line1, *line2;
  } cases[] = {
      {"only one", "only one", ""},
      {"first\nsecond\nthird", "first", "second"},
      {"first\r\nsecond", "first", "second"},
      {"", "", ""},
  };
  for (const auto& m : cases) {
    in.memo = QString::fromLatin1(m.memo);
    const ReportContent c = Resolve(in);
    EXPECT_EQ(c.memoLine1, QLatin1String(m.line1));
    EXPECT_EQ(c.memoLine2, QLatin1String(m.line2));
  }
}

TEST_F(ReportPageTest, WithoutARecordEveryMeasuredFieldReadsNA) {
  ReportInput in = Input();
  in.record = nullptr;
  in.pstDone = true;
  in.pstLmText = QStringLiteral("0.5");
  ReportPage page;
  QString error;
  ASSERT_TRUE(page.Compose(in, &error)) << error.toStdString();
  const ReportContent& c = *page.LastContent();
  for (const QString* field : {&c.sampleFreq, &c.sampleCount, &c.gain, &c.resolution}) EXPECT_EQ(*field, "N/A");
  for (const QString& figure : c.figures) EXPECT_EQ(figure, "N/A");
}

TEST_F(ReportPageTest, FieldsAreBlankedOnTheirBrushAndNeverRunIntoTheNextBox) {
  ReportInput in = Input();
  in.inspector = QString(200, QLatin1Char('W'));  // far wider than the box
  in.company = QString(200, QLatin1Char('W'));
  ReportPage page;
  QString error;
  ASSERT_TRUE(page.Compose(in, &error));
  const QImage& img = page.Image();
  // The gap between the information boxes and the "Phone number :" label stay clear.
  EXPECT_FALSE(InkBox(img, QRect(1001, 354, 18, 48), qRgb(255, 255, 255)).isValid());
  EXPECT_FALSE(InkBox(img, QRect(881, 2254, 18, 48), qRgb(255, 255, 255)).isValid());

  // An empty model field is blank in the model line's brush (235) up to the box edge.
  in.connectedModel = QStringLiteral("UNKNOWN");
  ASSERT_TRUE(page.Compose(in, &error));
  EXPECT_FALSE(InkBox(page.Image(), QRect(400, 432, 560, 44), qRgb(235, 235, 235)).isValid());
}

TEST_F(ReportPageTest, MissingPictureStopsTheCompositionAndLeavesThePage) {
  ReportPage page;
  QString error;
  ReportInput in = Input();
  in.inspector = QStringLiteral("First");
  ASSERT_TRUE(page.Compose(in, &error));
  const QImage before = page.Image();
  for (const char* name : {kChartJeitaFile, kFeaturesBoxFile}) {
    const QString path = QDir(folder).filePath(QString::fromLatin1(name));
    QFile::rename(path, path + ".away");
    in.inspector = QStringLiteral("Second");
    EXPECT_FALSE(page.Compose(in, &error));
    EXPECT_TRUE(error.contains(QString::fromLatin1(name))) << error.toStdString();
    EXPECT_TRUE(page.Image() == before);
    QFile::rename(path + ".away", path);
  }
  // A file that is there but no picture is refused the same way.
  QFile bad(QDir(folder).filePath(kChartFftFile));
  ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
  bad.write("not a bitmap");
  bad.close();
  EXPECT_FALSE(page.Compose(in, &error));
  EXPECT_TRUE(error.contains(QLatin1String(kChartFftFile)));
  EXPECT_TRUE(page.Image() == before);
}

TEST_F(ReportPageTest, ChartsGivenInMemoryNeedNoSnapshotFiles) {
  for (const char* name : {kChartTimeDomainFile, kChartFftFile, kChartJeitaFile}) {
    QFile::remove(QDir(folder).filePath(QString::fromLatin1(name)));
  }
  ReportInput in = Input();
  const ReportCharts charts = RenderReportCharts(*record);
  EXPECT_EQ(charts.timeDomain.size(), kTimeDomainRect.size());
  EXPECT_EQ(charts.fft.size(), kFftRect.size());
  EXPECT_EQ(charts.jeita.size(), kJeitaRect.size());
  in.timeDomainChart = charts.timeDomain;
  in.fftChart = charts.fft;
  in.jeitaChart = charts.jeita;
  ReportPage page;
  QString error;
  ASSERT_TRUE(page.Compose(in, &error)) << error.toStdString();
  // Drawn unscaled into its rectangle.
  EXPECT_TRUE(page.Image().copy(kFftRect) == charts.fft.convertToFormat(page.Image().format()));
}

TEST_F(ReportPageTest, SavedBitmapIs24BitsAndReadsBackAsThePage) {
  ReportPage page;
  QString error;
  ReportInput in = Input();
  in.inspector = QStringLiteral("Inspector Name");
  ASSERT_TRUE(page.Compose(in, &error));
  const QString path = dir.filePath(QStringLiteral("page.bmp"));
  ASSERT_TRUE(page.Save(path, ReportFileFormat::Bmp, &error)) << error.toStdString();
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray header = file.read(54);
  ASSERT_EQ(header.size(), 54);
  EXPECT_EQ(header.left(2), "BM");
  const auto le = [&header](int at, int bytes) {
    qint64 v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uchar>(header[at + i]);
    return v;
  };
  EXPECT_EQ(le(18, 4), kReportPageWidth);
  EXPECT_EQ(le(22, 4), kReportPageHeight);
  EXPECT_EQ(le(28, 2), 24);
  const QImage back(path);
  EXPECT_TRUE(back.convertToFormat(QImage::Format_RGB32) == page.Image());

  // A folder that does not exist: an error, and nothing left behind.
  const QString nowhere = dir.filePath(QStringLiteral("missing/page.bmp"));
  EXPECT_FALSE(page.Save(nowhere, ReportFileFormat::Bmp, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_FALSE(QFile::exists(nowhere));
}

TEST(ReportFolder, FirstWritableCandidateGetsTheArtwork) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // A folder below a plain file cannot be made.
  QFile blocker(dir.filePath(QStringLiteral("file")));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString second = dir.filePath(QStringLiteral("data/image/ReportImg"));
  const QString chosen = ChooseReportImageFolder({dir.filePath(QStringLiteral("file/image/ReportImg")), second});
  EXPECT_EQ(chosen, QDir::cleanPath(second));
  const struct {
    const char* name;
    QSize size;
  } artwork[] = {{kLogoFile, {360, 120}},
                 {kInfoBoxFile, {920, 380}},
                 {kParaBoxFile, {652, 380}},
                 {kDotFile, {40, 40}},
                 {kFeaturesBoxFile, {1588, 420}}};
  for (const auto& a : artwork) {
    const QString path = QDir(chosen).filePath(QString::fromLatin1(a.name));
    EXPECT_EQ(QImage(path).size(), a.size) << a.name;
    EXPECT_TRUE(QFileInfo(path).isWritable()) << a.name;
  }
  // Artwork already there (the user's own) is kept.
  const QString logo = QDir(chosen).filePath(kLogoFile);
  QImage own(10, 10, QImage::Format_RGB32);
  own.fill(Qt::red);
  ASSERT_TRUE(own.save(logo, "BMP"));
  EXPECT_EQ(ChooseReportImageFolder({chosen}), chosen);
  EXPECT_EQ(QImage(logo).size(), QSize(10, 10));
  EXPECT_TRUE(ChooseReportImageFolder({dir.filePath(QStringLiteral("file/x"))}).isEmpty());
}

TEST(ReportCharts, LongRecordsAndRecordsWithoutFundamental) {
  // A PstLM-sized record and a flat one both draw without touching memory beyond the
  // samples (the sanitizer build checks).
  FlickerRecordPtr longRecord = SineRecord(737280, 4096);
  const ReportCharts charts = RenderReportCharts(*longRecord);
  EXPECT_FALSE(InkBox(charts.timeDomain, charts.timeDomain.rect(), qRgb(255, 255, 255)).isNull());
  FlickerRecordPtr flat = MakeFlickerRecord(1024, 1024, 100, 1000);
  for (uint32_t i = 0; i < 1024; ++i) flat->volts[i] = 0.5f;
  FlickerRun(flat.get(), 0, 0);
  const ReportCharts flatCharts = RenderReportCharts(*flat);
  EXPECT_EQ(flatCharts.fft.size(), kFftRect.size());
}

}  // namespace
