// The workbench's chart look: dark plot, white axis texts, axes whose tick labels use the
// program's number patterns ("#,##0.#####" and the like) rather than printf formats.
#pragma once

#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QColor>
#include <QString>
#include <string>

// Colours of the program's charts.
inline const QColor kChartBackground(0x3B, 0x3B, 0x3B);    // dark grey behind every chart
inline const QColor kWaveColour(0x00, 0xFF, 0x00);         // raw time wave
inline const QColor kOverExposedColour(0xFF, 0x00, 0x00);  // raw wave of an over-exposed capture
inline const QColor kFilteredColour(0xFF, 0xFF, 0x00);     // FIR-filtered time wave
inline const QColor kMarkColour(0xFF, 0x00, 0x00);         // horizontal mark line
inline const QColor kSpectrumColour(0xFF, 0x80, 0x00);     // amplitude spectrum bars
inline const QColor kJeitaColour(0xFF, 0x80, 0x40);        // JEITA level bars

// A value axis whose ticks are 1, 2 or 5 times a power of ten (or a fixed increment) and
// whose labels are written with a number pattern. One category per tick, each label drawn
// on its tick value.
class TickAxis : public QCategoryAxis {
 public:
  TickAxis(const QString& title, std::string pattern, QObject* parent = nullptr);
  // Shows [min, max] with about `ticks` automatically spaced ticks.
  void SetSpan(double min, double max, int ticks = 6);
  // Shows [min, max] with ticks on the multiples of step.
  void SetSpanWithStep(double min, double max, double step);
  // The tick labels currently shown, lowest first.
  QStringList TickLabels() { return categoriesLabels(); }
  const std::string& Pattern() const { return pattern_; }

 private:
  std::string pattern_;
};

// A tick spacing of 1, 2 or 5 times a power of ten giving about `ticks` intervals over span.
double NiceStep(double span, int ticks);

// A chart view in the program's look: 2-D, no legend, no title, dark background, white axis
// labels, antialiased lines, no OpenGL.
QChartView* MakeChartView(const QString& objectName, QWidget* parent);

// Number of tick intervals that fit the chart's plot area along one direction: one per 90
// pixels across, one per 45 pixels up, at least 2.
int TickTarget(const QChart* chart, Qt::Orientation orientation);

// Pixel columns available to a series: the chart's plot area width, or a fallback before
// the chart was first laid out.
int PlotColumns(const QChart* chart);
