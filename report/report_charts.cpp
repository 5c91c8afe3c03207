#include "report/report_charts.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <limits>

#include "analysis/numfmt.h"
#include "analysis/record.h"
#include "report/report_folder.h"
#include "report/report_page.h"

namespace {

const QColor kGrid(222, 222, 222);
const QColor kAxis(90, 90, 90);
const QColor kWave(0, 128, 64);       // time wave
const QColor kSpectrum(230, 115, 0);  // spectrum bars
const QColor kJeita(0, 90, 170);      // JEITA bars

struct Axis {
  double min = 0;
  double max = 1;
  double step = 0.2;
};

// 1, 2 or 5 times a power of ten, at least raw.
double NiceStep(double raw) {
  if (!(raw > 0) || !std::isfinite(raw)) return 1;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * power >= raw * (1 - 1e-9)) return m * power;
  }
  return 10 * power;
}

// An axis over lo .. hi with about `ticks` divisions; the limits move out to whole steps
// unless exact is set.
Axis MakeAxis(double lo, double hi, int ticks, bool exact = false) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = 0, hi = 1;
  if (hi < lo) std::swap(lo, hi);
  if (hi - lo < 1e-12) {
    const double pad = std::max(std::fabs(hi) * 0.05, 1e-3);
    lo -= pad;
    hi += pad;
  }
  Axis a;
  a.step = NiceStep((hi - lo) / ticks);
  a.min = exact ? lo : std::floor(lo / a.step + 1e-9) * a.step;
  a.max = exact ? hi : std::ceil(hi / a.step - 1e-9) * a.step;
  return a;
}

QString TickText(double v, double step) {
  if (std::fabs(v) < step * 1e-6) v = 0;
  return QString::fromStdString(FormatPattern(v, "#,##0.#####"));
}

QFont ChartFont(int pixels, bool bold = false) {
  QFont f(ReportFontFamily());
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

// A plot area with its axes, grid and titles on a white picture.
class Plot {
 public:
  Plot(QImage* image, const Axis& x, const Axis& y, const QString& xTitle, const QString& yTitle)
      : p_(image), x_(x), y_(y) {
    p_.setRenderHint(QPainter::Antialiasing);
    p_.setRenderHint(QPainter::TextAntialiasing);
    p_.fillRect(image->rect(), Qt::white);
    const QFont tick = ChartFont(17);
    const QFontMetrics fm(tick);
    int labelWidth = 0;
    for (double v = y_.min; v <= y_.max + y_.step * 1e-6; v += y_.step) {
      labelWidth = std::max(labelWidth, fm.horizontalAdvance(TickText(v, y_.step)));
    }
    const int left = labelWidth + 18 + (yTitle.isEmpty() ? 0 : 30);
    area_ = QRect(left, 14, image->width() - left - 22, image->height() - 14 - 62);

    p_.setFont(tick);
    // Grid and tick labels.
    for (double v = y_.min; v <= y_.max + y_.step * 1e-6; v += y_.step) {
      const double py = Y(v);
      p_.setPen(QPen(kGrid, 1));
      p_.drawLine(QPointF(area_.left(), py), QPointF(area_.right(), py));
      p_.setPen(kAxis);
      const QString t = TickText(v, y_.step);
      p_.drawText(QRectF(area_.left() - 8 - labelWidth, py - 12, labelWidth, 24), Qt::AlignRight | Qt::AlignVCenter, t);
    }
    for (double v = x_.min; v <= x_.max + x_.step * 1e-6; v += x_.step) {
      const double px = X(v);
      p_.setPen(QPen(kGrid, 1));
      p_.drawLine(QPointF(px, area_.top()), QPointF(px, area_.bottom()));
      p_.setPen(kAxis);
      p_.drawText(QRectF(px - 80, area_.bottom() + 6, 160, 22), Qt::AlignHCenter | Qt::AlignTop, TickText(v, x_.step));
    }
    p_.setPen(QPen(kAxis, 1.5));
    p_.drawRect(QRectF(area_));
    const QFont titleFont = ChartFont(18, true);
    p_.setFont(titleFont);
    p_.drawText(QRectF(area_.left(), image->height() - 30, area_.width(), 26), Qt::AlignHCenter | Qt::AlignVCenter, xTitle);
    if (!yTitle.isEmpty()) {
      p_.save();
      p_.translate(16, area_.center().y());
      p_.rotate(-90);
      p_.drawText(QRectF(-area_.height() / 2.0, -13, area_.height(), 26), Qt::AlignCenter, yTitle);
      p_.restore();
    }
    p_.setClipRect(area_.adjusted(1, 1, -1, -1));
  }

  double X(double v) const { return area_.left() + (v - x_.min) / (x_.max - x_.min) * area_.width(); }
  double Y(double v) const { return area_.bottom() - (v - y_.min) / (y_.max - y_.min) * area_.height(); }
  QPainter& Painter() { return p_; }
  const QRect& Area() const { return area_; }

 private:
  QPainter p_;
  Axis x_, y_;
  QRect area_;
};

QImage WhiteImage(const QRect& rect) {
  QImage image(rect.size(), QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

QImage TimeWave(const FlickerRecord& r) {
  QImage image = WhiteImage(kTimeDomainRect);
  const std::size_t n = std::min<std::size_t>(r.sampleCount, r.volts.size());
  if (n == 0 || r.sampleFreq == 0) {
    Plot plot(&image, MakeAxis(0, 1, 10), MakeAxis(0, 1, 5), QStringLiteral("Time(sec)"), {});
    return image;
  }
  const double dt = 1.0 / r.sampleFreq;
  float lo = std::numeric_limits<float>::max(), hi = std::numeric_limits<float>::lowest();
  for (std::size_t i = 0; i < n; ++i) {
    const float v = r.volts[i];
    if (!std::isfinite(v)) continue;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  if (lo > hi) lo = 0, hi = 1;
  const double pad = (hi - lo) * 0.08;
  Plot plot(&image, MakeAxis(0, (n - 1) * dt, 10, true), MakeAxis(lo - pad, hi + pad, 5), QStringLiteral("Time(sec)"),
            {});
  // One vertical stroke per pixel column from the column's lowest to its highest sample,
  // joined to the next column: the outline of the wave at any sample count.
  const QRect& area = plot.Area();
  QPainterPath path;
  const int columns = std::max(1, area.width());
  std::size_t i = 0;
  bool first = true;
  for (int c = 0; c < columns && i < n; ++c) {
    const std::size_t end = std::max(i + 1, static_cast<std::size_t>((static_cast<double>(c) + 1) * n / columns));
    float cmin = r.volts[i], cmax = r.volts[i];
    for (std::size_t k = i; k < end && k < n; ++k) {
      cmin = std::min(cmin, r.volts[k]);
      cmax = std::max(cmax, r.volts[k]);
    }
    const double px = plot.X(i * dt);
    if (first) {
      path.moveTo(px, plot.Y(r.volts[i]));
      first = false;
    }
    path.lineTo(px, plot.Y(cmin));
    path.lineTo(px, plot.Y(cmax));
    i = end;
  }
  plot.Painter().setPen(QPen(kWave, 1.6));
  plot.Painter().drawPath(path);
  return image;
}

// Bars from base up to each value, at least one pixel wide.
void Bars(Plot& plot, const std::vector<std::pair<double, double>>& bars, double base, double binWidth,
          const QColor& colour) {
  const double width = std::max(1.0, std::fabs(plot.X(binWidth) - plot.X(0)) * 0.7);
  QPainter& p = plot.Painter();
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const auto& [f, v] : bars) {
    const double x = plot.X(f);
    const double top = plot.Y(v), bottom = plot.Y(base);
    p.fillRect(QRectF(x - width / 2, std::min(top, bottom), width, std::max(1.0, std::fabs(bottom - top))), colour);
  }
}

QImage Spectrum(const FlickerRecord& r) {
  QImage image = WhiteImage(kFftRect);
  const SpectrumEngine* s = r.spectrum.get();
  const std::size_t lines = s ? std::min<std::size_t>({s->fftSize / 2, s->frequency.size(), s->amplitude.size()}) : 0;
  if (lines < 2 || r.sampleFreq == 0) {
    Plot plot(&image, MakeAxis(0, 100, 5), MakeAxis(0, 1, 5), QStringLiteral("Freqency"), {});
    return image;
  }
  const double nyquist = r.sampleFreq / 2.0;
  double high = r.frequency > 0 ? std::min(nyquist, 10.0 * r.frequency) : nyquist;
  high = std::max(high, 10.0);
  std::vector<std::pair<double, double>> bars;
  double top = 0;
  for (std::size_t i = 0; i < lines; ++i) {
    const double f = s->frequency[i];
    if (f < 1.0 || f > high) continue;
    const double a = s->amplitude[i];
    if (!std::isfinite(a)) continue;
    bars.emplace_back(f, a);
    top = std::max(top, a);
  }
  Plot plot(&image, MakeAxis(0, high, 5), MakeAxis(0, top > 0 ? top * 1.1 : 1, 5), QStringLiteral("Freqency"), {});
  Bars(plot, bars, 0, s->binHz, kSpectrum);
  return image;
}

QImage Jeita(const FlickerRecord& r) {
  QImage image = WhiteImage(kJeitaRect);
  const JeitaSpectrum* j = r.jeitaSpectrum.get();
  const SpectrumEngine* s = r.spectrum.get();
  const std::size_t bins =
      j && s ? std::min<std::size_t>({j->binCount, j->levelDb.size(), s->frequency.size()}) : 0;
  // Bars rise from 10 dB below the lowest level (and at least from -9 dB).
  double low = 1.0, high = -std::numeric_limits<double>::infinity();
  std::vector<std::pair<double, double>> bars;
  for (std::size_t i = 1; i < bins; ++i) {
    const double level = j->levelDb[i];
    if (!std::isfinite(level)) continue;
    low = std::min(low, level);
    high = std::max(high, level);
    bars.emplace_back(s->frequency[i], level);
  }
  const double base = low - 10;
  if (!std::isfinite(high)) high = base + 10;
  Axis y;
  // Steps of 10 dB, or wider steps of a round size when the levels span much more.
  y.step = std::max(10.0, NiceStep((high + 5 - base) / 6));
  y.min = std::floor(base / y.step) * y.step;
  y.max = std::max(y.min + y.step, std::ceil((high + 5) / y.step) * y.step);
  Plot plot(&image, MakeAxis(0, 60, 6, true), y, QStringLiteral("Frequency "), QStringLiteral("dB"));
  Bars(plot, bars, base, s ? s->binHz : 1, kJeita);
  return image;
}

}  // namespace

ReportCharts RenderReportCharts(const FlickerRecord& record) {
  return {TimeWave(record), Spectrum(record), Jeita(record)};
}
