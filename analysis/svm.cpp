#include "analysis/svm.h"

#include <cmath>

double SvmThreshold(double f) noexcept {
  return 1.0 / (1.0 + std::exp(-0.00518 * (f - 306.6))) + 20.0 * std::exp(-f / 10.0);
}

const WeightCurve& SvmThresholdCurve() noexcept {
  static const WeightCurve curve = [] {
    WeightCurve c;
    c.count = kSvmCurvePoints;
    for (int k = 0; k < kSvmCurvePoints; ++k) {
      const double f = k + 1;
      c.x[k] = static_cast<float>(f);
      c.y[k] = static_cast<float>(SvmThreshold(f));
    }
    return c;
  }();
  return curve;
}

namespace {

int CurvePoints(const WeightCurve& curve) noexcept {
  const int n = curve.count;
  constexpr int kRoom = static_cast<int>(sizeof(curve.x) / sizeof(curve.x[0]));
  return n < 0 ? 0 : (n > kRoom ? kRoom : n);
}

}  // namespace

int CurveLookup(const WeightCurve& curve, float f, int start) noexcept {
  int lo = start < 0 ? 0 : start;
  int hi = CurvePoints(curve);
  if (lo >= hi) return -1;
  if (curve.x[lo] >= f) return lo;  // the usual case when f ascends from call to call
  // Invariant: x[lo] < f; the answer lies in (lo, hi], hi meaning none.
  while (hi - lo > 1) {
    const int mid = lo + (hi - lo) / 2;
    if (curve.x[mid] >= f) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return hi < CurvePoints(curve) ? hi : -1;
}

int CurveLookupLinear(const WeightCurve& curve, float f, int start) noexcept {
  const int n = CurvePoints(curve);
  for (int k = start < 0 ? 0 : start; k < n; ++k) {
    if (curve.x[k] >= f) return k;
  }
  return -1;
}

float CurveInterpolate(const WeightCurve& curve, float f, int k) noexcept {
  if (k < 0 || k >= CurvePoints(curve)) return 0.0f;
  const float xb = curve.x[k];
  const float yb = curve.y[k];
  if (k == 0) return f == xb ? yb : 0.0f;
  const float xa = curve.x[k - 1];
  const float ya = curve.y[k - 1];
  if (f == xa) return ya;
  if (f == xb) return yb;
  if (xa < f && f < xb) return ya + (f - xa) / (xb - xa) * (yb - ya);
  return 0.0f;
}

float SvmOfSpectrum(const SpectrumEngine& spectrum, const WeightCurve& curve,
                    CurveSearch search) noexcept {
  const float* amplitude = spectrum.amplitude.data();
  const float* frequency = spectrum.frequency.data();
  if (spectrum.fftSize == 0 || amplitude[0] < 0.00001) return 0.0f;
  // Lines at and above N/2 have amplitude 0 and add exactly nothing; line 0 is at 0 Hz.
  const uint32_t lines = spectrum.fftSize / 2;
  double sum = 0.0;
  int k = 0;
  for (uint32_t i = 0; i < lines; ++i) {
    const float f = frequency[i];
    if (!(f >= 1.0f && f <= 2000.0f)) continue;
    // The axis ascends, so the first point at or above f never lies before the previous
    // line's: starting there finds the same index as starting at 0.
    k = search == CurveSearch::kFast ? CurveLookup(curve, f, k) : CurveLookupLinear(curve, f, 0);
    const double threshold = CurveInterpolate(curve, f, k);
    const double contrast = static_cast<double>(amplitude[i]) / amplitude[0];
    sum += std::pow(contrast / threshold, kSvmExponent);
    if (k < 0) k = 0;
  }
  return static_cast<float>(std::pow(sum, kSvmInverseExponent));
}
