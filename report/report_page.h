// The report page: a 1754 x 2480 picture (A4 at 150 dpi) documenting the measurement on
// display: who measured what and when, the three chart snapshots and the flicker figures.
//
// A composition happens in two steps. ResolveReportContent turns the inputs into the
// finished texts and loaded pictures (this is where a missing picture file stops the
// composition, before anything is drawn). PaintReportContent then draws them with any
// QPainter in page coordinates, so the same page can go to the bitmap, a printer or, later,
// a vector file. ReportPage keeps the bitmap between compositions: it starts as the template
// and is never reset; every composition draws over the page left by the previous one,
// blanking each information field before writing its value.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>
#include <array>
#include <optional>

#include "report/report_input.h"

class QPainter;

inline constexpr int kReportPageWidth = 1754;
inline constexpr int kReportPageHeight = 2480;

// The report's typeface: "Arial" when installed, else its metric twin "Liberation Sans".
QString ReportFontFamily();
// The report font, bold, sized so that its cell (ascent + descent) is cellHeight pixels.
QFont ReportFont(int cellHeight);

// The printed model name of the instrument connected now: "TR7AQ" -> "TR7A ELITE",
// "TR7BQ" -> "TR7B ELITE", "TR9G" and "VD2A" as they are, any other model "" (the field stays
// blank), no instrument " ".
QString ReportModelName(const std::optional<QString>& connectedModel);

// The page at program start: white with the centred bold title "Flicker Report".
QImage ReportPageTemplate();
void PaintReportTemplate(QPainter& painter);

// Everything one composition draws, resolved from a ReportInput.
struct ReportContent {
  // Artwork and chart pictures, in drawing order.
  QImage logo, infoBox, paraBox, dot, timeDomain, fft, jeita, features;
  // Information block values.
  QString inspector, lightSource, date, sampleFreq, sampleCount, gain, resolution, model;
  QString memoLine1, memoLine2, company, webUrl, phone, mail;
  // Figures table values, in the order of ReportFigureLabels(): three per row, row by row.
  std::array<QString, 20> figures;
};

// The labels of the figures table, three per row, row by row ("RMS %" ... "PstLM").
const std::array<const char*, 20>& ReportFigureLabels();

// Resolves the texts and loads the pictures (the artwork and every chart not given in
// memory) from input.imageFolder (ReportImageFolder() when empty). False, with *error set
// to the file error ("Cannot open file \"...\". ..."), when a picture file cannot be read.
bool ResolveReportContent(const ReportInput& input, ReportContent* content, QString* error);

// Draws the artwork, the texts and the figures over whatever the painter's device holds.
void PaintReportContent(QPainter& painter, const ReportContent& content);

// The whole page in page coordinates on a fresh device: the template, then the content
// (none: the template alone). What the page bitmap shows after its last composition, since
// every composition covers all that the one before it wrote.
void PaintReportPage(QPainter& painter, const ReportContent* content);

// Output formats of a composed page.
enum class ReportFileFormat {
  Bmp,  // Windows bitmap, 1754 x 2480, 24 bits per pixel
  Pdf,  // one A4 page: the same layout drawn as vector text, the pictures embedded
};

class ReportPage {
 public:
  ReportPage();  // the template

  // Composes the page from input over the current page. False, with *error set and the page
  // unchanged, when a picture file cannot be read.
  bool Compose(const ReportInput& input, QString* error);

  const QImage& Image() const { return image_; }
  // The content of the last successful composition; null before the first.
  const ReportContent* LastContent() const { return last_ ? &*last_ : nullptr; }

  // Writes the page to path as it stands (no extension is added here). The PDF is drawn
  // from the last composition (PaintReportPage) scaled onto an A4 page without margins.
  // False, with *error set and no partial file left behind, when the file cannot be written.
  bool Save(const QString& path, ReportFileFormat format, QString* error) const;

 private:
  QImage image_;
  std::optional<ReportContent> last_;
};
