// The stroboscopic visibility measure (SVM) of a record's spectrum and the tabulated curve
// it weights the lines with.
#pragma once

#include <cstdint>

#include "analysis/record.h"

inline constexpr double kSvmExponent = 3.7;
inline constexpr double kSvmInverseExponent = 0.27027027027027023;  // 1 / 3.7
inline constexpr int kSvmCurvePoints = 2000;

// Visibility threshold T(f) = 1 / (1 + e^(-0.00518 (f - 306.6))) + 20 e^(-f / 10), in double.
double SvmThreshold(double f) noexcept;

// The program's SVM curve, built once on first use: x = 1 .. 2000 Hz, y = T(x) rounded to
// float. Records hold a copy.
const WeightCurve& SvmThresholdCurve() noexcept;

// First index k >= start whose x value is >= f, or -1 when there is none among the curve's
// points. Needs ascending x (every curve here has them); a binary search from start.
int CurveLookup(const WeightCurve& curve, float f, int start) noexcept;

// The same index by a plain scan from start, point by point: the reference for CurveLookup.
int CurveLookupLinear(const WeightCurve& curve, float f, int start) noexcept;

// y at f between point k-1 and point k: the point's y when f equals its x, linear in
// between (single precision), 0 otherwise. k = 0 has no point before it: y[0] when
// f = x[0], else 0; k < 0 gives 0.
float CurveInterpolate(const WeightCurve& curve, float f, int k) noexcept;

enum class CurveSearch {
  kFast,    // each line's search starts at the previous line's index (the axis ascends)
  kLinear,  // each line's search scans the curve from its first point
};

// SVM of a spectrum: (sum over lines with 1 <= f <= 2000 Hz of (A[i] / A[0] / T(f))^3.7)
// ^ (1 / 3.7), summed in double; 0 when A[0] < 0.00001. Both searches give the same value.
float SvmOfSpectrum(const SpectrumEngine& spectrum, const WeightCurve& curve,
                    CurveSearch search = CurveSearch::kFast) noexcept;
