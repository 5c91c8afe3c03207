#include "workbench/decimate.h"

#include <algorithm>
#include <cmath>

void DecimateMinMax(const float* y, std::size_t n, double x0, double dx, double visibleMin,
                    double visibleMax, int columns, QList<QPointF>* out) {
  out->clear();
  if (!y || n == 0 || !(dx > 0)) return;
  std::size_t first = 0, last = n;
  if (std::isfinite(visibleMin) && std::isfinite(visibleMax) && visibleMin <= visibleMax) {
    const double lo = std::floor((visibleMin - x0) / dx) - 1;
    const double hi = std::ceil((visibleMax - x0) / dx) + 2;
    first = lo <= 0 ? 0 : static_cast<std::size_t>(std::min(lo, static_cast<double>(n)));
    last = hi <= 0 ? 0 : static_cast<std::size_t>(std::min(hi, static_cast<double>(n)));
    if (first >= last) return;
  }
  const std::size_t count = last - first;
  columns = std::max(columns, 1);
  if (count <= 2 * static_cast<std::size_t>(columns)) {
    out->reserve(static_cast<qsizetype>(count));
    for (std::size_t i = first; i < last; ++i) out->append(QPointF(x0 + i * dx, y[i]));
    return;
  }
  out->reserve(2 * columns + 2);
  // The line starts at the first sample and ends at the last, whatever the extremes.
  out->append(QPointF(x0 + first * dx, y[first]));
  for (int c = 0; c < columns; ++c) {
    const std::size_t begin = first + count * c / columns;
    const std::size_t end = first + count * (c + 1) / columns;
    if (begin >= end) continue;
    std::size_t lowAt = begin, highAt = begin;
    for (std::size_t i = begin + 1; i < end; ++i) {
      if (y[i] < y[lowAt]) lowAt = i;
      if (y[i] > y[highAt]) highAt = i;
    }
    const std::size_t a = std::min(lowAt, highAt), b = std::max(lowAt, highAt);
    if (a != first) out->append(QPointF(x0 + a * dx, y[a]));
    if (b != a && b != first) out->append(QPointF(x0 + b * dx, y[b]));
  }
  if (out->back().x() != x0 + (last - 1) * dx) out->append(QPointF(x0 + (last - 1) * dx, y[last - 1]));
}

double BarPixels(double spacing, double xMin, double xMax, int columns) {
  if (!(xMax > xMin) || columns <= 0) return 0;
  return spacing * columns / (xMax - xMin);
}

void BarOutline(const float* x, const float* y, std::size_t first, std::size_t last, double base,
                double xMin, double xMax, int columns, double fill, QList<QPointF>* out) {
  out->clear();
  if (!x || !y || first >= last) return;
  columns = std::max(columns, 1);
  const std::size_t count = last - first;
  const double spacing = count >= 2 ? static_cast<double>(x[first + 1]) - x[first] : xMax - xMin;
  auto top = [base](float v) { return std::isfinite(v) && v > base ? static_cast<double>(v) : base; };

  if (BarPixels(spacing, xMin, xMax, columns) >= kMinBarPixels) {
    const double half = 0.5 * fill * spacing;
    out->reserve(static_cast<qsizetype>(4 * count));
    for (std::size_t i = first; i < last; ++i) {
      const double h = top(y[i]);
      out->append(QPointF(x[i] - half, base));
      out->append(QPointF(x[i] - half, h));
      out->append(QPointF(x[i] + half, h));
      out->append(QPointF(x[i] + half, base));
    }
    return;
  }
  // Dense bars: one stroke per pixel column at its highest bar.
  const double scale = xMax > xMin ? columns / (xMax - xMin) : 0;
  out->reserve(3 * columns + 3);
  long column = -1;
  double strokeX = 0, strokeTop = base;
  auto flush = [&] {
    if (column < 0) return;
    out->append(QPointF(strokeX, base));
    out->append(QPointF(strokeX, strokeTop));
    out->append(QPointF(strokeX, base));
  };
  for (std::size_t i = first; i < last; ++i) {
    const long c = static_cast<long>(std::floor((x[i] - xMin) * scale));
    const double h = top(y[i]);
    if (c != column) {
      flush();
      column = c;
      strokeX = x[i];
      strokeTop = h;
    } else if (h > strokeTop) {
      strokeX = x[i];
      strokeTop = h;
    }
  }
  flush();
}
