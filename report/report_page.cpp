#include "report/report_page.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImageReader>
#include <QImageWriter>
#include <QLocale>
#include <QMap>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringList>
#include <algorithm>

#include "analysis/figures.h"
#include "analysis/numfmt.h"
#include "analysis/record.h"
#include "report/report_folder.h"

namespace {

// 150 dots per inch: the page is an A4 sheet.
constexpr int kDotsPerMeter = 5906;

const QColor kWhite(255, 255, 255);
const QColor kLight(245, 245, 245);  // information rows, alternate table rows
const QColor kShade(235, 235, 235);  // model line, first table row and every second after it

// Cell heights of the three text sizes.
constexpr int kTitleCell = 54;
constexpr int kInfoCell = 48;
constexpr int kTableCell = 40;

// Values never run past these page columns: the right edges of the boxes they sit in and
// the labels that follow them on the same line.
constexpr int kInfoBoxLimit = 985;    // inside Box_info (right edge 1000)
constexpr int kParaBoxLimit = 1660;   // inside Box_para (right edge 1672)
constexpr int kContactLimit = 880;    // before "Phone number :" / "E-Mail :" at 900
constexpr int kPageTextLimit = 1668;  // right edge of the charts and the features box

char DecimalSeparator() {
  const QString point = QLocale().decimalPoint();
  return point.size() == 1 && point.at(0).unicode() < 128 ? static_cast<char>(point.at(0).unicode())
                                                           : '.';
}

QString Pattern(double value, const char* pattern) {
  return QString::fromStdString(FormatPattern(value, pattern, DecimalSeparator()));
}

// Text of one figure of the record, by its name in the figure table.
QString FigureCell(const FlickerRecord& r, const char* name, const char* pattern, bool percentSuffix) {
  const FigureInfo* figure = FindFigure(name);
  const float value = figure ? FigureValueOf(r, *figure) : 0.0f;
  QString text = Pattern(value, pattern);
  if (percentSuffix) text += QStringLiteral(" %");
  return text;
}

struct TableCell {
  const char* label;
  const char* figure;   // name in the figure table; null for the PstLM cell
  const char* pattern;  // null for the general format
  bool percent;
};

// Three cells per row, rows at y = 1788 + 60 k.
constexpr std::array<TableCell, 20> kTable = {{
    {"RMS %", "RMS %", "0.0000", true},
    {"RMS dB", "RMS dB", "0.00", false},
    {"JEITA %", "JEITA %", "0.0000", true},
    {"JEITA dB", "JEITA dB", "0.00", false},
    {"VESA FMA", "VESA FMA", "0.0000", true},
    {"VESA %", "VESA %", "0.0000", true},
    {"VSEA dB", "VESA dB", "0.00", false},
    {"Percentage(IES)", "Percentage(IES)", "0.0000", true},
    {"Index(IES)", "Index(IES)", "0.0000", false},
    {"Frequnecy", "Frequnecy", nullptr, false},
    {"DC", "DC", "0.0000", false},
    {"Average", "Average", "0.0000", false},
    {"Min", "Min", "0.0000", false},
    {"Max", "Max", "0.0000", false},
    {"Max-Min", "Max-Min", "0.0000", false},
    {"Contrast", "contrast", "0.0000", true},
    {"Contrast dB", "contrast dB", "0.00", false},
    {"SVM", "SVM", "0.0000", false},
    {"AC/DC", "AC/DC", "0.0000", true},
    {"PstLM", nullptr, nullptr, false},
}};

constexpr int kTableTop = 1788;
constexpr int kTableRowStep = 60;
constexpr std::array<int, 3> kTableLabelX = {100, 630, 1160};
constexpr std::array<int, 3> kTableValueX = {400, 930, 1460};
constexpr std::array<int, 3> kTableValueLimit = {610, 1140, 1658};

// Writes text with its cell filled in the brush colour (an opaque text background);
// returns the right end of the cell.
int WriteText(QPainter& p, const QFont& font, int x, int y, const QString& text, const QColor& brush) {
  const QFontMetrics fm(font);
  const int width = fm.horizontalAdvance(text);
  p.setFont(font);
  p.fillRect(QRect(x, y, width, fm.height()), brush);
  p.setPen(Qt::black);
  p.drawText(x, y + fm.ascent(), text);
  return x + width;
}

// Where a value after a label starts: at its place, or one blank after the label's end when
// the label reaches that far (a value never touches its label).
int ValueX(const QFont& font, int x, int labelRight) {
  return std::max(x, labelRight + QFontMetrics(font).horizontalAdvance(QLatin1Char(' ')));
}

// An information field: a run of blanks erases whatever an earlier composition wrote there,
// then the value is written in the same place. The field ends where the blank run ends, or
// at limit when that comes first; a longer value is cut with an ellipsis so that it never
// runs into its neighbours.
void WriteField(QPainter& p, const QFont& font, int x, int y, int blanks, int limit, const QString& value,
                const QColor& brush) {
  const QFontMetrics fm(font);
  const int right = std::min(x + fm.horizontalAdvance(QString(blanks, QLatin1Char(' '))), limit);
  const int width = std::max(0, right - x);
  p.fillRect(QRect(x, y, width, fm.height()), brush);
  if (value.isEmpty()) return;
  WriteText(p, font, x, y, fm.elidedText(value, Qt::ElideRight, width), brush);
}

// A table value: written without blanking, at the table size when it fits its cell, else at
// the largest smaller size that does (a number is never cut).
void WriteTableValue(QPainter& p, int x, int y, int limit, const QString& value, const QColor& brush) {
  QFont font = ReportFont(kTableCell);
  const int room = limit - x;
  const int cell = QFontMetrics(font).height();
  while (QFontMetrics(font).horizontalAdvance(value) > room && font.pixelSize() > 8) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  // A smaller text sits on the middle of the row.
  const int yOffset = (cell - QFontMetrics(font).height()) / 2;
  WriteText(p, font, x, y + yOffset, value, brush);
}

QString FileError(const QString& path, const QString& reason) {
  return QStringLiteral("Cannot open file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason);
}

bool LoadPicture(const QString& folder, const char* name, QImage* image, QString* error) {
  const QString path = QDir(folder).filePath(QString::fromLatin1(name));
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = FileError(path, file.errorString());
    return false;
  }
  QImageReader reader(&file);
  QImage loaded = reader.read();
  if (loaded.isNull()) {
    if (error) *error = FileError(path, QStringLiteral("Not a readable picture: ") + reader.errorString());
    return false;
  }
  *image = std::move(loaded);
  return true;
}

QStringList MemoLines(const QString& memo) {
  QString text = memo;
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text.split(QLatin1Char('\n'));
}

}  // namespace

QString ReportFontFamily() {
  static const QString family = [] {
    QFont arial(QStringLiteral("Arial"));
    if (QFontInfo(arial).family().compare(QStringLiteral("Arial"), Qt::CaseInsensitive) == 0) {
      return QStringLiteral("Arial");
    }
    return QStringLiteral("Liberation Sans");
  }();
  return family;
}

QFont ReportFont(int cellHeight) {
  static QMap<int, int> pixelSizes;  // cell height -> pixel size (user-interface thread only)
  QFont font(ReportFontFamily());
  font.setBold(true);
  font.setHintingPreference(QFont::PreferVerticalHinting);
  auto known = pixelSizes.constFind(cellHeight);
  if (known != pixelSizes.constEnd()) {
    font.setPixelSize(*known);
    return font;
  }
  int size = std::max(1, cellHeight);
  for (; size > 1; --size) {
    font.setPixelSize(size);
    if (QFontMetrics(font).height() <= cellHeight) break;
  }
  font.setPixelSize(size);
  pixelSizes.insert(cellHeight, size);
  return font;
}

QString ReportModelName(const std::optional<QString>& connectedModel) {
  if (!connectedModel) return QStringLiteral(" ");
  const QString& model = *connectedModel;
  if (model == QLatin1String("TR7AQ")) return QStringLiteral("TR7A ELITE");
  if (model == QLatin1String("TR7BQ")) return QStringLiteral("TR7B ELITE");
  if (model == QLatin1String("TR9G") || model == QLatin1String("VD2A")) return model;
  return {};
}

void PaintReportTemplate(QPainter& p) {
  p.fillRect(QRect(0, 0, kReportPageWidth, kReportPageHeight), Qt::white);
  // The title's ink fills the band x 604..1149, y 107..179 as far as its proportions allow,
  // centred on the band.
  const QRect band(604, 107, 546, 73);
  const QString title = QStringLiteral("Flicker Report");
  QFont font(ReportFontFamily());
  font.setBold(true);
  int size = 100;
  QRect ink;
  for (; size > 8; --size) {
    font.setPixelSize(size);
    ink = QFontMetrics(font).tightBoundingRect(title);
    if (ink.width() <= band.width() && ink.height() <= band.height()) break;
  }
  font.setPixelSize(size);
  ink = QFontMetrics(font).tightBoundingRect(title);
  // ink is relative to the baseline origin.
  const int x = band.center().x() - ink.width() / 2 - ink.left();
  const int y = band.center().y() - ink.height() / 2 - ink.top();
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(x, y, title);
}

QImage ReportPageTemplate() {
  // Drawn once: every page starts from exactly the same pixels.
  static const QImage templ = [] {
    QImage page(kReportPageWidth, kReportPageHeight, QImage::Format_RGB32);
    page.setDotsPerMeterX(kDotsPerMeter);
    page.setDotsPerMeterY(kDotsPerMeter);
    QPainter p(&page);
    p.setRenderHint(QPainter::TextAntialiasing);
    PaintReportTemplate(p);
    return page;
  }();
  QImage copy = templ;
  copy.detach();
  return copy;
}

const std::array<const char*, 20>& ReportFigureLabels() {
  static const std::array<const char*, 20> labels = [] {
    std::array<const char*, 20> out{};
    for (std::size_t i = 0; i < kTable.size(); ++i) out[i] = kTable[i].label;
    return out;
  }();
  return labels;
}

bool ResolveReportContent(const ReportInput& in, ReportContent* c, QString* error) {
  const QString folder = in.imageFolder.isEmpty() ? ReportImageFolder() : in.imageFolder;
  if (folder.isEmpty()) {
    if (error) *error = QStringLiteral("No folder for the report pictures can be created.");
    return false;
  }
  ReportContent out;
  // Artwork and snapshots in the order the page reads them; the first unreadable one stops
  // the composition.
  struct Source {
    const char* name;
    QImage* image;
    const QImage* given;
  };
  const Source sources[] = {
      {kLogoFile, &out.logo, nullptr},
      {kInfoBoxFile, &out.infoBox, nullptr},
      {kParaBoxFile, &out.paraBox, nullptr},
      {kDotFile, &out.dot, nullptr},
      {kChartTimeDomainFile, &out.timeDomain, &in.timeDomainChart},
      {kChartFftFile, &out.fft, &in.fftChart},
      {kChartJeitaFile, &out.jeita, &in.jeitaChart},
      {kFeaturesBoxFile, &out.features, nullptr},
  };
  for (const Source& s : sources) {
    if (s.given && !s.given->isNull()) {
      *s.image = *s.given;
    } else if (!LoadPicture(folder, s.name, s.image, error)) {
      return false;
    }
  }

  out.inspector = in.inspector;
  out.lightSource = in.lightSource;
  out.date = in.date;
  out.model = ReportModelName(in.connectedModel);
  const QStringList memo = MemoLines(in.memo);
  out.memoLine1 = memo.value(0);
  out.memoLine2 = memo.value(1);
  out.company = in.company;
  out.webUrl = in.webUrl;
  out.phone = in.phone;
  out.mail = in.mail;

  const QString na = QStringLiteral("N/A");
  if (const FlickerRecord* r = in.record) {
    out.sampleFreq = Pattern(r->sampleFreq, "0") + QStringLiteral(" Hz");
    out.sampleCount = QString::number(r->sampleCount);
    out.gain = QString::number(static_cast<qint64>(r->gainIndex) + 1);
    out.resolution = in.pstDone || r->sampleCount == 0
                         ? na
                         : Pattern(static_cast<double>(r->sampleFreq) / r->sampleCount, "0.#####") +
                               QStringLiteral(" Hz");
    for (std::size_t i = 0; i < kTable.size(); ++i) {
      const TableCell& cell = kTable[i];
      if (cell.figure == nullptr) {
        out.figures[i] = in.pstDone ? in.pstLmText : na;
      } else if (cell.pattern == nullptr) {
        out.figures[i] = QString::fromStdString(GeneralFormat(static_cast<double>(r->frequency), DecimalSeparator()));
      } else {
        out.figures[i] = FigureCell(*r, cell.figure, cell.pattern, cell.percent);
      }
    }
  } else {
    // No measurement in the store: the page says so in every measured field.
    out.sampleFreq = out.sampleCount = out.gain = out.resolution = na;
    out.figures.fill(na);
  }
  *c = std::move(out);
  return true;
}

void PaintReportContent(QPainter& p, const ReportContent& c) {
  p.save();
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.setRenderHint(QPainter::TextAntialiasing);
  p.setBackgroundMode(Qt::TransparentMode);

  // Pictures, each stretched into its rectangle (left, top, right, bottom exclusive).
  const auto stretch = [&p](int l, int t, int r, int b, const QImage& image) {
    p.drawImage(QRect(l, t, r - l, b - t), image);
  };
  stretch(1360, 80, 1720, 200, c.logo);
  stretch(80, 340, 1000, 720, c.infoBox);
  stretch(1020, 340, 1672, 720, c.paraBox);
  stretch(80, 280, 120, 320, c.dot);
  stretch(80, 760, 120, 800, c.dot);
  stretch(80, 1240, 120, 1280, c.dot);
  stretch(880, 1240, 920, 1280, c.dot);
  stretch(80, 1720, 120, 1760, c.dot);
  p.drawImage(kTimeDomainRect, c.timeDomain);
  p.drawImage(kFftRect, c.fft);
  p.drawImage(kJeitaRect, c.jeita);
  stretch(80, 1780, 1668, 2200, c.features);

  // Section titles.
  const QFont title = ReportFont(kTitleCell);
  WriteText(p, title, 140, 270, QStringLiteral("Information"), kWhite);
  WriteText(p, title, 140, 750, QStringLiteral("Time Domain"), kWhite);
  WriteText(p, title, 140, 1230, QStringLiteral("FFT"), kWhite);
  WriteText(p, title, 940, 1230, QStringLiteral("JEITA"), kWhite);
  WriteText(p, title, 140, 1710, QStringLiteral("Features"), kWhite);

  // Information block.
  const QFont info = ReportFont(kInfoCell);
  const int inspectorLabel = WriteText(p, info, 100, 354, QStringLiteral("Inspector :"), kLight);
  const int sourceLabel = WriteText(p, info, 100, 506, QStringLiteral("Light source :"), kLight);
  WriteText(p, info, 1044, 354, QStringLiteral("Inspection date"), kLight);
  WriteText(p, info, 1044, 430, QStringLiteral("Sampling freq"), kLight);
  WriteText(p, info, 1044, 506, QStringLiteral("Sampling number"), kLight);
  WriteText(p, info, 1044, 582, QStringLiteral("Flicker gain"), kLight);
  WriteText(p, info, 1044, 658, QStringLiteral("Flicker resolution"), kLight);
  WriteField(p, info, ValueX(info, 320, inspectorLabel), 354, 61, kInfoBoxLimit, c.inspector, kLight);
  WriteField(p, info, ValueX(info, 390, sourceLabel), 506, 53, kInfoBoxLimit, c.lightSource, kLight);
  WriteField(p, info, 1435, 354, 19, kParaBoxLimit, c.date, kLight);
  WriteField(p, info, 1435, 430, 19, kParaBoxLimit, c.sampleFreq, kLight);
  WriteField(p, info, 1435, 506, 19, kParaBoxLimit, c.sampleCount, kLight);
  WriteField(p, info, 1435, 582, 19, kParaBoxLimit, c.gain, kLight);
  WriteField(p, info, 1435, 658, 19, kParaBoxLimit, c.resolution, kLight);

  // Model line.
  const int modelLabel = WriteText(p, info, 100, 430, QStringLiteral("Model name :"), kShade);
  WriteField(p, info, ValueX(info, 375, modelLabel), 430, 55, kInfoBoxLimit, c.model, kShade);

  // Memo and contact lines; company and web address share their value column.
  const int memoLabel = WriteText(p, info, 100, 582, QStringLiteral("Memo :"), kWhite);
  const int companyLabel = WriteText(p, info, 100, 2254, QStringLiteral("Company :"), kWhite);
  const int webLabel = WriteText(p, info, 100, 2330, QStringLiteral("Web URL :"), kWhite);
  const int phoneLabel = WriteText(p, info, 900, 2254, QStringLiteral("Phone number :"), kWhite);
  const int mailLabel = WriteText(p, info, 900, 2330, QStringLiteral("E-Mail :"), kWhite);
  const int memoX = ValueX(info, 260, memoLabel);
  const int contactX = std::max(ValueX(info, 325, companyLabel), ValueX(info, 325, webLabel));
  WriteField(p, info, memoX, 582, 66, kInfoBoxLimit, c.memoLine1, kWhite);
  WriteField(p, info, memoX, 658, 66, kInfoBoxLimit, c.memoLine2, kWhite);
  WriteField(p, info, contactX, 2254, 51, kContactLimit, c.company, kWhite);
  WriteField(p, info, contactX, 2330, 51, kContactLimit, c.webUrl, kWhite);
  WriteField(p, info, ValueX(info, 1225, phoneLabel), 2254, 51, kPageTextLimit, c.phone, kWhite);
  WriteField(p, info, ValueX(info, 1055, mailLabel), 2330, 51, kPageTextLimit, c.mail, kWhite);

  // Figures table: the shaded rows (0, 2, 4, 6) first, then the light ones (1, 3, 5).
  const QFont table = ReportFont(kTableCell);
  for (int pass = 0; pass < 2; ++pass) {
    for (int row = pass; row * 3 < static_cast<int>(kTable.size()); row += 2) {
      const QColor& brush = pass == 0 ? kShade : kLight;
      const int y = kTableTop + row * kTableRowStep;
      for (int col = 0; col < 3; ++col) {
        const std::size_t i = static_cast<std::size_t>(row * 3 + col);
        if (i >= kTable.size()) break;
        WriteText(p, table, kTableLabelX[col], y, QString::fromLatin1(kTable[i].label), brush);
        WriteTableValue(p, kTableValueX[col], y, kTableValueLimit[col], c.figures[i], brush);
      }
    }
  }
  p.restore();
}

void PaintReportPage(QPainter& p, const ReportContent* content) {
  p.save();
  p.setRenderHint(QPainter::TextAntialiasing);
  PaintReportTemplate(p);
  if (content) PaintReportContent(p, *content);
  p.restore();
}

ReportPage::ReportPage() : image_(ReportPageTemplate()) {}

bool ReportPage::Compose(const ReportInput& input, QString* error) {
  ReportContent content;
  if (!ResolveReportContent(input, &content, error)) return false;
  {
    QPainter p(&image_);
    PaintReportContent(p, content);
  }
  last_ = std::move(content);
  return true;
}

namespace {

// Resolution of the PDF's device: the page is scaled onto it, so this only sets how finely
// positions are expressed.
constexpr int kPdfResolution = 600;

// Draws the page onto writer, scaled to its width (the page's proportions are those of A4
// to within 0.03 %, so it fills the sheet). The reason of a failure in *reason.
bool DrawPdf(QPdfWriter& writer, const ReportContent* content, QString* reason) {
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(0, 0, 0, 0));
  writer.setResolution(kPdfResolution);
  writer.setTitle(QStringLiteral("Flicker Report"));
  writer.setCreator(QStringLiteral("Quivra"));
  QPainter p;
  if (!p.begin(&writer)) {
    *reason = QStringLiteral("The PDF page could not be started.");
    return false;
  }
  const double scale = std::min(static_cast<double>(writer.width()) / kReportPageWidth,
                                static_cast<double>(writer.height()) / kReportPageHeight);
  p.scale(scale, scale);
  PaintReportPage(p, content);
  if (!p.end()) {
    *reason = QStringLiteral("The PDF page could not be completed.");
    return false;
  }
  return true;
}

}  // namespace

bool ReportPage::Save(const QString& path, ReportFileFormat format, QString* error) const {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error) *error = QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(path), file.errorString());
    return false;
  }
  QString reason;
  bool written = false;
  switch (format) {
    case ReportFileFormat::Bmp: {
      QImageWriter writer(&file, "bmp");
      written = writer.write(image_.convertToFormat(QImage::Format_RGB888));
      if (!written) reason = writer.errorString();
      break;
    }
    case ReportFileFormat::Pdf: {
      QPdfWriter writer(&file);
      written = DrawPdf(writer, LastContent(), &reason);
      break;
    }
  }
  if (written && !file.commit()) {
    written = false;
    reason = file.errorString();
  }
  if (!written) {
    if (error) *error = QStringLiteral("Cannot write file \"%1\". %2").arg(QDir::toNativeSeparators(path), reason);
    return false;
  }
  return true;
}
