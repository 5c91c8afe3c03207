// The flickermeter written out step by step in its plain form, for comparison with the
// shipped PstLmCompute: nine zero-filled working arrays, a linear scan of all class edges
// for every value, and the cumulative counts re-summed for every class. It is slow (the
// classification alone is about 3e9 comparisons on a 180 s record) and is not part of any
// library: the analysis tests and the benchmark include it.
//
// The working arrays hold the record's length unless asked to hold the 10,240,000 samples
// of the largest record; the size changes no value. The input checks are those of the
// shipped function, so both refuse the same inputs.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "analysis/pstlm.h"

namespace pstlm_reference {

inline constexpr double kHuge = 1.7976931348623157e308;

// Direct form, zero initial state, one loop for every i.
inline void IirFilter(const double* b, const double* a, uint32_t n, double* out, const double* in,
                      int m) {
  for (uint32_t i = 0; i < n; ++i) {
    const int top = static_cast<int>(i < static_cast<uint32_t>(m - 1) ? i : m - 1);
    long double acc = 0.0L;
    for (int j = 0; j <= top; ++j) acc += static_cast<long double>(b[j]) * in[i - j];
    for (int j = 1; j <= top; ++j) acc -= static_cast<long double>(a[j]) * out[i - j];
    out[i] = static_cast<double>(acc);
  }
}

// Classification, exceedance, percentiles and the severity formula over t[0 .. k-1].
inline int Statistics(const double* t, uint32_t k, double* pst) {
  constexpr int C = kPstClassCount;
  if (!t || !pst || k == 0) return -1;
  for (uint32_t i = 0; i < k; ++i) {
    if (!std::isfinite(t[i])) return -1;
  }
  // Classifier block: four quarters of 10240 cells.
  std::vector<int32_t> count(10240, 0), cum(10240, 0);
  std::vector<float> centre(10240, 0.0f), exceed(10240, 0.0f);
  int32_t extra = 0;

  double lo = kHuge, hi = -kHuge;
  for (uint32_t i = 0; i < k; ++i) {
    if (t[i] < lo) lo = t[i];
    if (t[i] > hi) hi = t[i];
  }
  if (!std::isfinite(hi - lo)) return -1;
  const double width = (hi - lo) / C;
  std::vector<double> level(C + 1);
  for (int j = 0; j <= C; ++j) level[j] = lo + j * width;
  level[C] = hi;
  for (int j = 0; j < C; ++j) centre[j] = static_cast<float>(level[j] + width * 0.5);
  std::vector<double> edge(C + 2);
  edge[0] = -kHuge;
  for (int j = 1; j <= C; ++j) edge[j] = level[j];
  edge[C + 1] = kHuge;

  for (uint32_t i = 0; i < k; ++i) {
    const double v = t[i];
    for (int j = 0; j <= C; ++j) {
      if (edge[j] <= v && v < edge[j + 1]) {
        if (j == C) {
          ++extra;
        } else {
          ++count[j];
        }
        break;
      }
    }
  }
  count[C - 1] += extra;

  for (int j = 0; j < C; ++j) {
    int32_t s = 0;
    for (int i = 0; i <= j; ++i) s += count[i];
    cum[j] = s;
  }
  int64_t total = 0;
  for (int j = 0; j < C; ++j) total += count[j];
  if (total == 0) return -1;
  for (int j = 0; j < C; ++j) {
    const double below = static_cast<double>(cum[j]) / static_cast<double>(total);
    exceed[j] = static_cast<float>((1.0 - below) * 100.0);
  }

  const double ps[15] = {0.1, 0.7, 1, 1.5, 2.2, 3, 4, 6, 8, 10, 13, 17, 30, 50, 80};
  double P[15];
  for (int q = 0; q < 15; ++q) {
    std::vector<float> d(C);
    for (int j = 0; j < C; ++j) d[j] = std::fabs(exceed[j] - static_cast<float>(ps[q]));
    int best = 0;
    for (int j = 1; j < C; ++j) {
      if (d[j] < d[best]) best = j;
    }
    P[q] = centre[best];
  }
  const long double third = 1.0L / 3.0L;
  const double p1s = static_cast<double>((static_cast<long double>(P[1]) + P[2] + P[3]) * third);
  const double p3s = static_cast<double>((static_cast<long double>(P[4]) + P[5] + P[6]) * third);
  const double p10s =
      static_cast<double>((static_cast<long double>(P[7]) + P[8] + P[9] + P[10] + P[11]) * 0.2L);
  const double p50s =
      static_cast<double>((static_cast<long double>(P[12]) + P[13] + P[14]) * third);
  const double severity =
      std::sqrt(0.0314 * P[0] + 0.0525 * p1s + 0.0657 * p3s + 0.28 * p10s + 0.08 * p50s);
  if (!std::isfinite(severity)) return -1;
  *pst = severity;
  return 0;
}

// The whole chain, array by array. arrayLength: elements of each working array, 0 for the
// record's length (the benchmark passes kPstMaxSamples to allocate as for the largest
// record).
inline int Compute(const float* samples, uint32_t n, uint32_t fs, PstResult* result,
                   uint32_t arrayLength = 0) {
  if (!samples || !result || fs < kPstMinSampleFreq || !PstLmApplicable(n, fs)) return -1;
  PstCoefficients A, B, W, Cf;
  PstLmCoefficients(PstFilterKind::HighPass, fs, &A);
  PstLmCoefficients(PstFilterKind::LowPass, fs, &B);
  PstLmCoefficients(PstFilterKind::Weighting, fs, &W);
  PstLmCoefficients(PstFilterKind::Smoothing, fs, &Cf);

  const uint32_t len = arrayLength > n ? arrayLength : n;
  std::vector<double> x1(len, 0.0), x2(len, 0.0), x3(len, 0.0), x4(len, 0.0), x5(len, 0.0),
      x6(len, 0.0), x7(len, 0.0), tail(len, 0.0), ramp(len, 0.0);

  double sum = 0;
  for (uint32_t i = 0; i < n; ++i) sum += samples[i];
  const double u = sum / n;
  if (!(u > 0) || !std::isfinite(u)) return -1;
  for (uint32_t i = 0; i < n; ++i) x1[i] = samples[i] / u;
  for (uint32_t i = 0; i < n; ++i) x2[i] = x1[i] - u;

  IirFilter(A.b, A.a, n, x3.data(), x2.data(), 2);

  const double v = fs * 0.1 + 0.5;
  const uint32_t q = n < v ? n : static_cast<uint32_t>(v);
  const double step = 1.0 / (q - 1);
  for (uint32_t i = 0; i < q; ++i) ramp[i] = i * step;
  ramp[q - 1] = 1.0;
  for (uint32_t i = 0; i < q; ++i) x3[i] = x3[i] * ramp[i];

  IirFilter(B.b, B.a, n, x4.data(), x3.data(), 7);
  IirFilter(W.b, W.a, n, x5.data(), x4.data(), 5);
  for (uint32_t i = 0; i < n; ++i) x6[i] = x5[i] * x5[i];
  IirFilter(Cf.b, Cf.a, n, x7.data(), x6.data(), 2);
  for (uint32_t i = 0; i < n; ++i) x7[i] = x7[i] * kPinstScale;

  const uint32_t s = kPstSettlingSeconds * fs;
  double pinstMax = -kHuge;
  for (uint32_t i = s; i < n; ++i) {
    if (x7[i] > pinstMax) pinstMax = x7[i];
  }
  for (uint32_t i = s; i < n; ++i) tail[i - s] = x7[i];

  double pst = 0;
  if (Statistics(tail.data(), n - s, &pst) != 0) return -1;
  result->pst = pst;
  result->pinstMax = pinstMax;
  return 0;
}

}  // namespace pstlm_reference
