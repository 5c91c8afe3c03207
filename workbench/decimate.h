// Reduction of long series before they reach a chart: a chart needs no more than about two
// points per pixel column to draw a waveform or a dense spectrum exactly as the full data
// would look, and drawing 737280 points point by point costs far more than the analysis.
#pragma once

#include <QList>
#include <QPointF>
#include <cstddef>

// Uniform samples y[0 .. n-1] at x = x0 + i * dx (dx > 0), reduced to the part inside
// [visibleMin, visibleMax] (plus one sample beyond each end, so the line reaches the edge).
// When that part holds more than 2 * columns samples, each column contributes its minimum
// and its maximum in the order they occur, and the first and last samples are kept so the
// line spans the whole part; otherwise every sample is kept. out is replaced.
void DecimateMinMax(const float* y, std::size_t n, double x0, double dx, double visibleMin,
                    double visibleMax, int columns, QList<QPointF>* out);

// Outline of a bar series for an area series filled down to the bottom of the plot:
// bars at x[i] with height y[i] for i in [first, last), x ascending, standing on `base`
// (the axis minimum). Bars at least minBarPixels wide on screen are drawn as rectangles of
// `fill` (0..1) times their spacing; denser bars are merged per pixel column into one
// vertical stroke at the column's highest value. out is replaced.
void BarOutline(const float* x, const float* y, std::size_t first, std::size_t last, double base,
                double xMin, double xMax, int columns, double fill, QList<QPointF>* out);

// Pixel width of one bar spacing: spacing * columns / (xMax - xMin); 0 for an empty range.
double BarPixels(double spacing, double xMin, double xMax, int columns);

inline constexpr double kMinBarPixels = 3.0;
