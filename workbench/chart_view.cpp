// TfFlicker: the charts, the frequency list and the axis controls. Long series are reduced
// per pixel column (workbench/decimate.h) before they reach a chart.
#include <QFontMetrics>
#include <QTableWidgetItem>
#include <algorithm>
#include <cmath>

#include "analysis/numfmt.h"
#include "ui/ui_services.h"
#include "workbench/charts.h"
#include "workbench/decimate.h"
#include "workbench/flicker_frame.h"
#include "workbench/mode_switch.h"

namespace {

constexpr int kPeakRows = 10;
// Bar width as a share of the line spacing when the bars are wide enough to be seen apart.
constexpr double kBarFill = 0.7;

QString Text(const std::string& s) { return QString::fromStdString(s); }

void SetCell(QTableWidget* grid, int row, int column, const QString& text) {
  QTableWidgetItem* item = grid->item(row, column);
  if (!item) {
    item = new QTableWidgetItem;
    item->setTextAlignment(Qt::AlignCenter);
    grid->setItem(row, column, item);
  }
  item->setText(text);
}

// Range of points [lo, hi] padded by a share of its span (or by 0.5 when it is empty).
void Padded(double lo, double hi, double share, double* outLo, double* outHi) {
  double pad = (hi - lo) * share;
  if (!(pad > 0)) pad = std::max(std::fabs(hi) * 0.1, 0.5);
  *outLo = lo - pad;
  *outHi = hi + pad;
}

void YExtent(const QList<QPointF>& points, double* lo, double* hi) {
  for (const QPointF& p : points) {
    *lo = std::min(*lo, p.y());
    *hi = std::max(*hi, p.y());
  }
}

// Index range [first, last) of the spectrum lines inside [low, high] among the first n.
void LinesInRange(const SpectrumEngine& s, std::size_t n, int low, int high, std::size_t* first, std::size_t* last) {
  const float* f = s.frequency.data();
  std::size_t i = 0;
  while (i < n && !(f[i] >= static_cast<float>(low))) ++i;
  std::size_t j = i;
  while (j < n && f[j] <= static_cast<float>(high)) ++j;
  *first = i;
  *last = j;
}

}  // namespace

void TfFlicker::ResetFreqGrid() {
  sgbtl->setRowCount(kPeakRows + 1);
  for (int r = 1; r <= kPeakRows; ++r)
    for (int c = 0; c < 3; ++c) SetCell(sgbtl, r, c, QString());
  SetCell(sgbtl, 0, 0, "frequency");
  SetCell(sgbtl, 0, 1, "amplitude");
  SetCell(sgbtl, 0, 2, "amplitude(%)");
  QFont bold = sgbtl->font();
  bold.setBold(true);
  for (int c = 0; c < 3; ++c) sgbtl->item(0, c)->setFont(bold);
  const int third = sgbtl->viewport()->width() / 3;
  for (int c = 0; c < 3; ++c) sgbtl->setColumnWidth(c, third);
}

void TfFlicker::ShowCharts(const FlickerRecord& record) {
  ResetFreqGrid();
  waveFiltered_ = record.firEnabled != 0;
  DrawTimeWave(record, waveFiltered_);
  DrawSpectrum(record);

  // The ten strongest lines, strongest first.
  if (record.spectrum) {
    const SpectrumEngine& s = *record.spectrum;
    int32_t peaks[kPeakRows];
    FlickerPeaks(&record, kPeakRows, peaks);
    const float dc = s.amplitude.empty() ? 0.0f : s.amplitude[0];
    for (int r = 1; r <= kPeakRows; ++r) {
      const int32_t b = peaks[kPeakRows - r];
      if (b < 0) continue;
      const float a = s.amplitude[b];
      SetCell(sgbtl, r, 0, Text(ShortestFloatText(s.frequency[b])));
      SetCell(sgbtl, r, 1, Text(FormatByMagnitude(a)));
      SetCell(sgbtl, r, 2, dc == 0.0f ? QString("0") : Text(FormatByMagnitude(static_cast<float>(a / dc * 100.0f))));
    }
  }
  DrawJeita(record);
}

void TfFlicker::DrawTimeWave(const FlickerRecord& record, bool filtered) {
  QList<QPointF> points;
  const uint32_t fs = record.spectrum ? record.spectrum->sampleFreq : record.sampleFreq;
  const uint32_t n = record.spectrum ? record.spectrum->sampleCount : record.sampleCount;
  const float dt = fs > 0 ? 1.0f / static_cast<float>(fs) : 0.0f;
  const double xMin = axisXAutomatic ? NAN : Chart1AxisX->min();
  const double xMax = axisXAutomatic ? NAN : Chart1AxisX->max();
  const int columns = PlotColumns(Chart1->chart());
  // The filtered trace when the record was analysed with the filter on.
  const bool fir = filtered && record.fir;
  if (fir) {
    const uint32_t taps = record.fir->taps;
    const std::size_t available = record.firOut.size() > taps ? record.firOut.size() - taps : 0;
    DecimateMinMax(record.firOut.data() + taps, std::min<std::size_t>(n, available), 0.0, dt, xMin, xMax, columns,
                   &points);
    Series1->clear();
    Series4->replace(points);
  } else {
    Series1->setColor(overExposed ? kOverExposedColour : kWaveColour);
    DecimateMinMax(record.volts.data(), std::min<std::size_t>(n, record.volts.size()), 0.0, dt, xMin, xMax, columns,
                   &points);
    Series4->clear();
    Series1->replace(points);
  }

  if (axisXAutomatic)
    Chart1AxisX->SetSpan(0, n > 1 ? (n - 1) * static_cast<double>(dt) : 1.0, TickTarget(Chart1->chart(), Qt::Horizontal));
  if (axisYAutomatic) {
    double lo = INFINITY, hi = -INFINITY;
    YExtent(points, &lo, &hi);
    YExtent(Series5->points(), &lo, &hi);
    if (!std::isfinite(lo)) lo = 0, hi = 1;
    double a, b;
    Padded(lo, hi, 0.05, &a, &b);
    Chart1AxisY->SetSpan(a, b, TickTarget(Chart1->chart(), Qt::Vertical));
  }
}

void TfFlicker::DrawSpectrum(const FlickerRecord& record) {
  auto* upper = Series2->upperSeries();
  auto* lower = Series2->lowerSeries();
  if (!record.spectrum) {
    upper->clear();
    lower->clear();
    return;
  }
  const SpectrumEngine& s = *record.spectrum;
  const std::size_t n = std::min<std::size_t>(s.sampleCount / 2, s.frequency.size());
  std::size_t first = 0, last = 0;
  LinesInRange(s, n, lowFreq, highFreq, &first, &last);

  double xMin = lowFreq, xMax = highFreq;
  double top = 0;
  if (last > first) {
    const double half = 0.5 * s.binHz;
    xMin = s.frequency[first] - half;
    xMax = s.frequency[last - 1] + half;
    for (std::size_t i = first; i < last; ++i) top = std::max(top, static_cast<double>(s.amplitude[i]));
  }
  if (xMax <= xMin) xMax = xMin + 1;
  if (!(top > 0)) top = 1;

  QList<QPointF> points;
  BarOutline(s.frequency.data(), s.amplitude.data(), first, last, 0.0, xMin, xMax, PlotColumns(Chart_normal->chart()),
             kBarFill, &points);
  upper->replace(points);
  lower->replace(QList<QPointF>{QPointF(xMin, 0), QPointF(xMax, 0)});
  NormalAxisX->SetSpan(xMin, xMax, TickTarget(Chart_normal->chart(), Qt::Horizontal));
  NormalAxisY->SetSpan(0, top * 1.08, TickTarget(Chart_normal->chart(), Qt::Vertical));
}

void TfFlicker::DrawJeita(const FlickerRecord& record) {
  // The levels are kept: the kept copy of a capture holds no JEITA spectrum, and the report's
  // snapshot draws these bars again at its own size.
  jeitaFrequency_.clear();
  jeitaLevel_.clear();
  jeitaBinHz_ = 0;
  if (record.jeitaSpectrum && record.spectrum) {
    const JeitaSpectrum& j = *record.jeitaSpectrum;
    const SpectrumEngine& s = *record.spectrum;
    const std::size_t count = std::min<std::size_t>({j.binCount, j.levelDb.size(), s.frequency.size()});
    jeitaFrequency_.assign(s.frequency.begin(), s.frequency.begin() + count);
    jeitaLevel_.assign(j.levelDb.begin(), j.levelDb.begin() + count);
    jeitaBinHz_ = s.binHz;
  }
  DrawJeitaBars();
}

void TfFlicker::DrawJeitaBars() {
  auto* upper = Series3->upperSeries();
  auto* lower = Series3->lowerSeries();
  const std::size_t count = jeitaLevel_.size();
  if (count == 0) {
    upper->clear();
    lower->clear();
    Series3Marks->clear();
    return;
  }
  const float* frequency = jeitaFrequency_.data();
  const float* level = jeitaLevel_.data();

  // The left axis starts 10 dB below the lowest level (or below 1 dB when every level is
  // higher); the bars stand on that minimum.
  float lowest = 1.0f, highest = -INFINITY;
  for (std::size_t i = 1; i < count; ++i) {
    lowest = std::min(lowest, level[i]);
    highest = std::max(highest, level[i]);
  }
  const double axisMin = static_cast<double>(lowest) - 10.0;
  if (!std::isfinite(highest)) highest = lowest;
  double axisMax = std::ceil((highest + 8.0) / 10.0) * 10.0;
  if (axisMax < axisMin + 10) axisMax = axisMin + 10;

  double xMin = 0, xMax = 60;
  if (count >= 2) xMax = std::max(60.0, static_cast<double>(frequency[count - 1]) + 0.5 * jeitaBinHz_);
  const int columns = PlotColumns(Chart_jeita->chart());

  QList<QPointF> points;
  BarOutline(frequency, level, 1, count, axisMin, xMin, xMax, columns, kBarFill, &points);
  upper->replace(points);
  lower->replace(QList<QPointF>{QPointF(xMin, axisMin), QPointF(xMax, axisMin)});

  // Value marks over each bar: to one decimal when there is room for that, else whole dB,
  // else none (dense bars after a long capture).
  QList<QPointF> marks;
  const double barPixels = count >= 3 ? BarPixels(jeitaBinHz_, xMin, xMax, columns) : 1e9;
  const QFontMetrics metrics(Series3Marks->pointLabelsFont());
  const double decimals1 = metrics.horizontalAdvance("-000.0") + 2;
  const double decimals0 = metrics.horizontalAdvance("-000") + 2;
  if (barPixels >= decimals0) {
    const double scale = barPixels >= decimals1 ? 10.0 : 1.0;
    for (std::size_t i = 1; i < count; ++i)
      marks.append(QPointF(frequency[i], std::round(level[i] * scale) / scale));
  }
  Series3Marks->replace(marks);
  Series3Marks->setPointLabelsVisible(jeitaMarksVisible_);

  JeitaAxisX->SetSpan(xMin, xMax, TickTarget(Chart_jeita->chart(), Qt::Horizontal));
  // Ticks every 10 dB, or every 20, 50, 100 ... dB when 10 would crowd the axis.
  const int ticks = TickTarget(Chart_jeita->chart(), Qt::Vertical);
  double step = 10;
  for (int k = 0; (axisMax - axisMin) / step > ticks && k < 12; ++k) step *= (k % 3 == 1) ? 2.5 : 2;
  JeitaAxisY->SetSpanWithStep(axisMin, axisMax, step);
}

void TfFlicker::SetJeitaMarksVisible(bool visible) {
  jeitaMarksVisible_ = visible;
  Series3Marks->setPointLabelsVisible(visible);
}

void TfFlicker::RedrawFromStore() {
  if (flkTank && flkTank->record) DrawTimeWave(*flkTank->record, waveFiltered_);
}

void TfFlicker::ClampHighFreq(const FlickerRecord& record) {
  lowFreq = ToInt(edtLowFreq->text());
  highFreq = ToInt(edtHighFreq->text());
  const int half = record.spectrum ? static_cast<int>(record.spectrum->sampleFreq / 2) : static_cast<int>(record.sampleFreq / 2);
  if (half < highFreq) {
    highFreq = half;
    edtHighFreq->setText(QString::number(highFreq));
  }
}

void TfFlicker::btnSetFreqClick() {
  lowFreq = ToInt(edtLowFreq->text());
  highFreq = ToInt(edtHighFreq->text());
  if (!flkTank->record || !flkTank->record->spectrum) return;
  DrawSpectrum(*flkTank->record);
}

void TfFlicker::sModeSwitchSliderChange() {
  const bool fft = sModeSwitch->isChecked();
  Chart_jeita->setVisible(!fft);
  Chart_normal->setVisible(fft);
  plFreqNormal->setVisible(fft);
  cbEnFreqTxtView->setVisible(fft);
}

void TfFlicker::cbEnFreqTxtViewClick() {
  const bool on = cbEnFreqTxtView->isChecked();
  plFreqTxtView->setVisible(on);
  freqSplitter->handle(1)->setVisible(on);
}

void TfFlicker::cbAxisXClick() {
  const bool on = cbAxisX->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{edtMinAxisX, lblAxisXTilde, edtMaxAxisX, btnSetAxisX}) w->setVisible(on);
  if (!on) {
    axisXAutomatic = true;
    RedrawFromStore();
  }
}

void TfFlicker::cbAxisYClick() {
  const bool on = cbAxisY->isChecked();
  for (QWidget* w : std::initializer_list<QWidget*>{edtMinAxisY, lblAxisYTilde, edtMaxAxisY, btnSetAxisY, lblMarkY,
                                                    edtBarY, btnSetBarY})
    w->setVisible(on);
  if (!on) {
    Series5->clear();
    axisYAutomatic = true;
    RedrawFromStore();
  }
}

namespace {

// The checks of an axis's two entries; an empty text when they are usable.
QString AxisEntryProblem(const QString& axis, const QString& minText, const QString& maxText) {
  if (maxText.trimmed().isEmpty() || maxText == "Max") return axis + "-Axis Maximum value can't blank space.";
  if (minText.trimmed().isEmpty() || minText == "Min") return axis + "-Axis Minimum value can't blank space.";
  if (ToFloat(minText) > ToFloat(maxText)) return axis + "-Axis Minimum value can't over Maximum value.";
  return QString();
}

}  // namespace

void TfFlicker::btnSetAxisXClick() {
  const QString problem = AxisEntryProblem("X", edtMinAxisX->text(), edtMaxAxisX->text());
  if (!problem.isEmpty()) {
    Ui().ShowMessage(problem);
    return;
  }
  axisXAutomatic = false;
  Chart1AxisX->SetSpan(ToFloat(edtMinAxisX->text()), ToFloat(edtMaxAxisX->text()), TickTarget(Chart1->chart(), Qt::Horizontal));
  RedrawFromStore();  // the wave in the new window at full resolution
}

void TfFlicker::btnSetAxisYClick() {
  const QString problem = AxisEntryProblem("Y", edtMinAxisY->text(), edtMaxAxisY->text());
  if (!problem.isEmpty()) {
    Ui().ShowMessage(problem);
    return;
  }
  axisYAutomatic = false;
  Chart1AxisY->SetSpan(ToFloat(edtMinAxisY->text()), ToFloat(edtMaxAxisY->text()), TickTarget(Chart1->chart(), Qt::Vertical));
}

void TfFlicker::btnSetBarYClick() {
  if (edtBarY->text().isEmpty()) {
    Ui().ShowMessage("Mark value can't blank space.");
    return;
  }
  const double n = ToFloat(cbSampleNum->currentText());
  const double fs = ToFloat(cbSampleFreq->currentText());
  const double y = ToFloat(edtBarY->text());
  Series5->clear();
  QPen pen = Series5->pen();
  pen.setWidth(3);
  Series5->setPen(pen);
  Series5->append(0, y);
  Series5->append(fs != 0 ? n / fs : 0, y);
  if (axisYAutomatic) RedrawFromStore();
}
