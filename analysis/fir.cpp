#include "analysis/fir.h"

#include <cmath>
#include <new>

#include "analysis/cpu.h"

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 6.283185307179586;

// Room of the coefficient and delay-line arrays: taps rounded up to a multiple of 1024.
uint32_t FirCapacity(uint32_t taps) noexcept {
  return taps == 0 ? 1024u : (taps + 1023u) / 1024u * 1024u;
}

// out[k] for one k, from in[0 .. k] only (the terms before the start are zero and add
// nothing to the sum).
inline double FirSumAt(const double* h, uint32_t taps, const float* in, uint32_t k) noexcept {
  const uint32_t last = k < taps - 1 ? k : taps - 1;
  double sum = 0.0;
  for (uint32_t j = 0; j <= last; ++j) sum += h[j] * static_cast<double>(in[k - j]);
  return sum;
}

// Eight consecutive outputs k .. k+7 with a full delay line (k >= taps - 1). Every output
// keeps its own sum in the order j = 0 .. taps-1, so the result equals FirSumAt.
inline void FirBlock8(const double* h, uint32_t taps, const float* in, float* out,
                      uint32_t k) noexcept {
#if defined(__SSE2__)
  __m128d acc0 = _mm_setzero_pd(), acc1 = _mm_setzero_pd();
  __m128d acc2 = _mm_setzero_pd(), acc3 = _mm_setzero_pd();
  const float* x = in + k;
  for (uint32_t j = 0; j < taps; ++j, --x) {
    const __m128d c = _mm_set1_pd(h[j]);
    const __m128 lo = _mm_loadu_ps(x);
    const __m128 hi = _mm_loadu_ps(x + 4);
    acc0 = _mm_add_pd(acc0, _mm_mul_pd(c, _mm_cvtps_pd(lo)));
    acc1 = _mm_add_pd(acc1, _mm_mul_pd(c, _mm_cvtps_pd(_mm_movehl_ps(lo, lo))));
    acc2 = _mm_add_pd(acc2, _mm_mul_pd(c, _mm_cvtps_pd(hi)));
    acc3 = _mm_add_pd(acc3, _mm_mul_pd(c, _mm_cvtps_pd(_mm_movehl_ps(hi, hi))));
  }
  _mm_storeu_ps(out + k, _mm_movelh_ps(_mm_cvtpd_ps(acc0), _mm_cvtpd_ps(acc1)));
  _mm_storeu_ps(out + k + 4, _mm_movelh_ps(_mm_cvtpd_ps(acc2), _mm_cvtpd_ps(acc3)));
#else
  double acc[8] = {};
  for (uint32_t j = 0; j < taps; ++j) {
    const double c = h[j];
    const float* x = in + k - j;
    for (int m = 0; m < 8; ++m) acc[m] += c * static_cast<double>(x[m]);
  }
  for (int m = 0; m < 8; ++m) out[k + m] = static_cast<float>(acc[m]);
#endif
}

#if defined(__SSE2__)
// FirBlock8 with four double lanes: the same products and sums in the same order.
__attribute__((target("avx2"))) void FirBlocksAvx2(const double* h, uint32_t taps,
                                                   const float* in, float* out, uint32_t k,
                                                   uint32_t n) noexcept {
  for (; n - k >= 8; k += 8) {
    __m256d low = _mm256_setzero_pd(), high = _mm256_setzero_pd();
    const float* x = in + k;
    for (uint32_t j = 0; j < taps; ++j, --x) {
      const __m256d c = _mm256_set1_pd(h[j]);
      low = _mm256_add_pd(low, _mm256_mul_pd(c, _mm256_cvtps_pd(_mm_loadu_ps(x))));
      high = _mm256_add_pd(high, _mm256_mul_pd(c, _mm256_cvtps_pd(_mm_loadu_ps(x + 4))));
    }
    _mm_storeu_ps(out + k, _mm256_cvtpd_ps(low));
    _mm_storeu_ps(out + k + 4, _mm256_cvtpd_ps(high));
  }
}
#endif

}  // namespace

std::unique_ptr<FirFilter> FirCreate(uint32_t taps) noexcept {
  try {
    auto fir = std::make_unique<FirFilter>();
    fir->type = 0;
    fir->window = 4;
    fir->taps = taps;
    fir->coefficients.assign(FirCapacity(taps), 0.0);
    fir->history.assign(FirCapacity(taps), 0.0);
    return fir;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

double FirHannWindow(uint32_t taps, uint32_t i) noexcept {
  const uint32_t j = i < taps - 1 - i ? i : taps - 1 - i;  // mirror into the first half
  if (j >= taps / 2) return 1.0;                           // middle of an odd length
  return 0.5 - 0.5 * std::cos(kTwoPi * (j + 1) / (static_cast<double>(taps) + 1));
}

void FirDesign(FirFilter& fir) noexcept {
  const double a = fir.cutoffHz / (fir.sampleFreq * 0.5);
  fir.normalizedCutoff = a;
  const double middle = (static_cast<double>(fir.taps) - 1) * 0.5;
  for (uint32_t i = 0; i < fir.taps; ++i) {
    const double x = a * (i - middle) * kPi;
    const double sinc = (x > -0.00001 && x < 0.00001) ? 1.0 : std::sin(x) / x;
    fir.coefficients[i] = a * sinc * FirHannWindow(fir.taps, i);
  }
}

void FirApply(FirFilter& fir, const float* in, float* out, uint32_t n) noexcept {
  const uint32_t taps = fir.taps;
  double* history = fir.history.data();
  for (uint32_t j = 0; j < taps; ++j) history[j] = 0.0;
  if (taps == 0) {
    for (uint32_t k = 0; k < n; ++k) out[k] = 0.0f;
    return;
  }
  const double* h = fir.coefficients.data();
  const uint32_t settled = taps - 1 < n ? taps - 1 : n;
  uint32_t k = 0;
  for (; k < settled; ++k) out[k] = static_cast<float>(FirSumAt(h, taps, in, k));
#if defined(__SSE2__)
  if (CpuHasAvx2()) {
    FirBlocksAvx2(h, taps, in, out, k, n);
    k += (n - k) / 8 * 8;
  }
#endif
  for (; n - k >= 8; k += 8) FirBlock8(h, taps, in, out, k);
  for (; k < n; ++k) out[k] = static_cast<float>(FirSumAt(h, taps, in, k));

  // Leave the delay line as a sample-by-sample filter would: the last taps inputs, each at
  // its position modulo taps.
  const uint32_t first = n > taps ? n - taps : 0;
  for (uint32_t m = first; m < n; ++m) history[m % taps] = in[m];
}
