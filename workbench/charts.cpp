#include "workbench/charts.h"

#include <QFont>
#include <algorithm>
#include <QPen>
#include <cmath>

#include "analysis/numfmt.h"

namespace {

const QColor kAxisText(0xFF, 0xFF, 0xFF);
const QColor kGridColour(0x5A, 0x5A, 0x5A);
const QColor kAxisLine(0x9A, 0x9A, 0x9A);
constexpr int kFallbackColumns = 800;

}  // namespace

double NiceStep(double span, int ticks) {
  if (!(span > 0) || !std::isfinite(span)) return 1;
  const double raw = span / std::max(ticks, 1);
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double factor = norm < 1.5 ? 1 : norm < 3 ? 2 : norm < 7 ? 5 : 10;
  return factor * magnitude;
}

TickAxis::TickAxis(const QString& title, std::string pattern, QObject* parent)
    : QCategoryAxis(parent), pattern_(std::move(pattern)) {
  setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  setTitleText(title);
  setLabelsColor(kAxisText);
  setTitleBrush(QBrush(kAxisText));
  QFont labels = labelsFont();
  labels.setPointSize(8);
  setLabelsFont(labels);
  QFont titles = titleFont();
  titles.setPointSize(9);
  titles.setBold(true);
  setTitleFont(titles);
  setGridLineColor(kGridColour);
  setLinePenColor(kAxisLine);
  setShadesVisible(false);
}

void TickAxis::SetSpan(double min, double max, int ticks) {
  SetSpanWithStep(min, max, NiceStep(max - min, ticks));
}

void TickAxis::SetSpanWithStep(double min, double max, double step) {
  if (!std::isfinite(min) || !std::isfinite(max)) min = 0, max = 1;
  if (max <= min) max = min + 1;
  if (!(step > 0) || (max - min) / step > 1000) step = NiceStep(max - min, 8);
  for (const QString& label : categoriesLabels()) remove(label);
  setStartValue(min);
  const double k0 = std::ceil(min / step - 1e-9);
  for (double k = k0;; k += 1) {
    double v = k * step;
    if (v > max + step * 1e-9) break;
    if (std::fabs(v) < step * 1e-9) v = 0;
    append(QString::fromStdString(FormatPattern(v, pattern_)), std::min(v, max));
  }
  setRange(min, max);
}

QChartView* MakeChartView(const QString& objectName, QWidget* parent) {
  auto* chart = new QChart;
  chart->legend()->hide();
  chart->setTitle(QString());
  chart->setBackgroundBrush(QBrush(kChartBackground));
  chart->setBackgroundPen(Qt::NoPen);
  chart->setBackgroundRoundness(0);
  chart->setPlotAreaBackgroundVisible(false);
  chart->setMargins(QMargins(4, 6, 10, 2));
  chart->setAnimationOptions(QChart::NoAnimation);
  auto* view = new QChartView(chart, parent);
  view->setObjectName(objectName);
  view->setRenderHint(QPainter::Antialiasing, true);
  view->setBackgroundBrush(QBrush(kChartBackground));
  view->setFrameShape(QFrame::NoFrame);
  view->setMinimumSize(120, 90);
  return view;
}

int PlotColumns(const QChart* chart) {
  const double width = chart ? chart->plotArea().width() : 0;
  return width >= 50 ? static_cast<int>(width) : kFallbackColumns;
}

int TickTarget(const QChart* chart, Qt::Orientation orientation) {
  const QRectF area = chart ? chart->plotArea() : QRectF();
  if (orientation == Qt::Horizontal) return area.width() >= 50 ? std::clamp(static_cast<int>(area.width() / 90), 2, 10) : 6;
  return area.height() >= 50 ? std::clamp(static_cast<int>(area.height() / 45), 2, 8) : 5;
}
