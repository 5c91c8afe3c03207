#include "analysis/spectrum.h"

#include <cmath>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// The butterfly as literally defined, in extended precision; each result stored as float.
inline void ButterflyExtended(float* re, float* im, uint32_t a, uint32_t b, float c,
                              float d) noexcept {
  const long double reB = re[b];
  const long double imB = im[b];
  const long double tRe = reB * c + imB * d;
  const long double tIm = imB * c - reB * d;
  const long double reA = re[a];
  const long double imA = im[a];
  re[a] = static_cast<float>(reA + tRe);
  im[a] = static_cast<float>(imA + tIm);
  re[b] = static_cast<float>(reA - tRe);
  im[b] = static_cast<float>(imA - tIm);
}

void TransformExtended(SpectrumEngine& s) noexcept {
  const uint32_t size = s.fftSize;
  for (uint32_t stage = 1; stage <= s.log2Size; ++stage) {
    const uint32_t half = 1u << (stage - 1);
    const uint32_t stride = 1u << (s.log2Size - stage);
    for (uint32_t j = 0; j < half; ++j) {
      const float c = s.cosTable[j * stride];
      const float d = s.sinTable[j * stride];
      for (uint32_t a = j; a < size; a += 2 * half) {
        ButterflyExtended(s.re.data(), s.im.data(), a, a + half, c, d);
      }
    }
  }
}

#if defined(__SSE2__)

namespace sse2 {

inline __m128d LowHalf(__m128 v) { return _mm_cvtps_pd(v); }
inline __m128d HighHalf(__m128 v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }

// Two butterflies in the two double lanes.
inline void Butterfly2(__m128d reA, __m128d imA, __m128d reB, __m128d imB, __m128d c, __m128d d,
                       __m128d out[4]) {
  const __m128d tRe = _mm_add_pd(_mm_mul_pd(reB, c), _mm_mul_pd(imB, d));
  const __m128d tIm = _mm_sub_pd(_mm_mul_pd(imB, c), _mm_mul_pd(reB, d));
  out[0] = _mm_add_pd(reA, tRe);
  out[1] = _mm_add_pd(imA, tIm);
  out[2] = _mm_sub_pd(reA, tRe);
  out[3] = _mm_sub_pd(imA, tIm);
}

inline __m128 Pack(__m128d low, __m128d high) {
  return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

inline void Butterfly4(__m128& reA, __m128& imA, __m128& reB, __m128& imB, __m128 c, __m128 d) {
  __m128d low[4], high[4];
  Butterfly2(LowHalf(reA), LowHalf(imA), LowHalf(reB), LowHalf(imB), LowHalf(c), LowHalf(d), low);
  Butterfly2(HighHalf(reA), HighHalf(imA), HighHalf(reB), HighHalf(imB), HighHalf(c), HighHalf(d),
             high);
  reA = Pack(low[0], high[0]);
  imA = Pack(low[1], high[1]);
  reB = Pack(low[2], high[2]);
  imB = Pack(low[3], high[3]);
}

#define STAGES_TARGET
#include "analysis/spectrum_stages.inc"
#undef STAGES_TARGET

}  // namespace sse2

namespace avx {

#define STAGES_TARGET __attribute__((target("avx")))

STAGES_TARGET inline void Butterfly4(__m128& reA, __m128& imA, __m128& reB, __m128& imB, __m128 c,
                                     __m128 d) {
  const __m256d rb = _mm256_cvtps_pd(reB);
  const __m256d ib = _mm256_cvtps_pd(imB);
  const __m256d cc = _mm256_cvtps_pd(c);
  const __m256d dd = _mm256_cvtps_pd(d);
  const __m256d tRe = _mm256_add_pd(_mm256_mul_pd(rb, cc), _mm256_mul_pd(ib, dd));
  const __m256d tIm = _mm256_sub_pd(_mm256_mul_pd(ib, cc), _mm256_mul_pd(rb, dd));
  const __m256d ra = _mm256_cvtps_pd(reA);
  const __m256d ia = _mm256_cvtps_pd(imA);
  reA = _mm256_cvtpd_ps(_mm256_add_pd(ra, tRe));
  imA = _mm256_cvtpd_ps(_mm256_add_pd(ia, tIm));
  reB = _mm256_cvtpd_ps(_mm256_sub_pd(ra, tRe));
  imB = _mm256_cvtpd_ps(_mm256_sub_pd(ia, tIm));
}

#include "analysis/spectrum_stages.inc"
#undef STAGES_TARGET

}  // namespace avx

bool CpuHasAvx() noexcept {
  static const bool hasAvx = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx") != 0;
  }();
  return hasAvx;
}

using StagesFn = void (*)(float*, float*, const float*, const float*, const float*, const float*,
                          uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);

#else  // no x86 vector unit: the same butterflies one at a time

namespace scalar {

inline void ButterflyOne(float* re, float* im, uint32_t a, uint32_t b, float c, float d) {
  const double reB = re[b];
  const double imB = im[b];
  const double tRe = reB * c + imB * d;
  const double tIm = imB * c - reB * d;
  const double reA = re[a];
  const double imA = im[a];
  re[a] = static_cast<float>(reA + tRe);
  im[a] = static_cast<float>(imA + tIm);
  re[b] = static_cast<float>(reA - tRe);
  im[b] = static_cast<float>(imA - tIm);
}

void RunStages(float* re, float* im, const float* cosTable, const float* sinTable,
               const float* cosList, const float* sinList, uint32_t log2Size, uint32_t first,
               uint32_t last, uint32_t begin, uint32_t end) {
  for (uint32_t stage = first; stage <= last; ++stage) {
    const uint32_t half = 1u << (stage - 1);
    const float* cw = stage == log2Size ? cosTable : cosList + (half - 1);
    const float* sw = stage == log2Size ? sinTable : sinList + (half - 1);
    for (uint32_t base = begin; base < end; base += 2 * half) {
      for (uint32_t j = 0; j < half; ++j) ButterflyOne(re, im, base + j, base + j + half, cw[j], sw[j]);
    }
  }
}

}  // namespace scalar

#endif

// Stages up to this block size run block by block while the block sits in the cache. Each
// butterfly reads and writes the same values in any order of the blocks, so the result is
// that of running the stages one after the other over the whole array.
constexpr uint32_t kCacheBlockLog2 = 13;

// out[j] = in[2 j] for j < n.
void EveryOther(const float* in, float* out, uint32_t n) noexcept {
  uint32_t j = 0;
#if defined(__SSE2__)
  for (; n - j >= 4; j += 4) {
    const __m128 a = _mm_loadu_ps(in + 2 * j);
    const __m128 b = _mm_loadu_ps(in + 2 * j + 4);
    _mm_storeu_ps(out + j, _mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
  }
#endif
  for (; j < n; ++j) out[j] = in[2 * j];
}

// Magnitude of bin i in double, rounded to float.
inline float Magnitude(const float* re, const float* im, uint32_t i) noexcept {
  const double r = re[i];
  const double m = im[i];
  return static_cast<float>(std::sqrt(r * r + m * m));
}

// Single-sided amplitudes from re/im: |X0| / N at 0 Hz, 2 |Xi| / N below N/2, 0 above.
void StoreAmplitudes(SpectrumEngine& s) noexcept {
  const uint32_t size = s.fftSize;
  const float scale = 1.0f / static_cast<float>(size);
  const float lineScale = 2.0f * scale;
  const uint32_t lines = size / 2;
  const float* re = s.re.data();
  const float* im = s.im.data();
  float* amplitude = s.amplitude.data();
  uint32_t i = 0;
  if (lines > 0) {
    amplitude[0] = Magnitude(re, im, 0) * scale;
    i = 1;
  }
#if defined(__SSE2__)
  // Same arithmetic two lines at a time: products and sum in double, square root rounded
  // to float (IEEE square roots are exact to the last bit in every unit).
  for (; lines - i >= 2; i += 2) {
    const __m128d r = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(re + i))));
    const __m128d m = _mm_cvtps_pd(_mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(im + i))));
    const __m128 magnitude = _mm_cvtpd_ps(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(r, r), _mm_mul_pd(m, m))));
    _mm_storel_pi(reinterpret_cast<__m64*>(amplitude + i), _mm_mul_ps(magnitude, _mm_set1_ps(lineScale)));
  }
#endif
  for (; i < lines; ++i) amplitude[i] = Magnitude(re, im, i) * lineScale;
  for (i = lines; i < size; ++i) amplitude[i] = 0.0f;
}

}  // namespace

uint32_t SpectrumLength(uint32_t sampleCount) noexcept {
  uint32_t log2Size = 0;
  for (uint32_t n = sampleCount; n > 1; n /= 2) ++log2Size;
  return 1u << log2Size;
}

std::unique_ptr<SpectrumEngine> SpectrumCreate(uint32_t sampleCount) noexcept {
  try {
    auto s = std::make_unique<SpectrumEngine>();
    s->sampleCount = sampleCount;
    s->log2Size = 0;
    for (uint32_t n = sampleCount; n > 1; n /= 2) ++s->log2Size;
    const uint32_t size = 1u << s->log2Size;
    s->fftSize = size;
    s->bitReverse.resize(size);
    s->scratch.resize(size);
    s->sinTable.resize(size);
    s->cosTable.resize(size);
    s->frequency.resize(size);
    s->amplitude.resize(size);
    s->re.resize(size);
    s->im.resize(size);

    // Bit reversal by repeated even/odd splitting: at each level every block is rearranged
    // into its even-indexed elements followed by its odd-indexed ones.
    for (uint32_t i = 0; i < size; ++i) s->bitReverse[i] = i;
    uint32_t* source = s->bitReverse.data();
    uint32_t* target = s->scratch.data();
    for (uint32_t level = 0, block = size; level < s->log2Size; ++level, block /= 2) {
      const uint32_t half = block / 2;
      for (uint32_t base = 0; base < size; base += block) {
        for (uint32_t m = 0; m < half; ++m) {
          target[base + m] = source[base + 2 * m];
          target[base + half + m] = source[base + 2 * m + 1];
        }
      }
      std::swap(source, target);
    }
    if (source != s->bitReverse.data()) s->bitReverse.swap(s->scratch);

    for (uint32_t i = 0; i < size; ++i) {
      const double angle = kSpectrumTwoPi * i / size;
      s->sinTable[i] = static_cast<float>(std::sin(angle));
      s->cosTable[i] = static_cast<float>(std::cos(angle));
    }
    return s;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void SpectrumSetFrequency(SpectrumEngine& s, uint32_t sampleFreq) noexcept {
  s.sampleFreq = sampleFreq;
  s.binHz = static_cast<float>(static_cast<double>(sampleFreq) / s.fftSize);
  for (uint32_t i = 0; i < s.fftSize; ++i) s.frequency[i] = static_cast<float>(i) * s.binHz;
}

void SpectrumTransform(SpectrumEngine& s, const float* x, TransformPrecision precision) noexcept {
  const uint32_t size = s.fftSize;
  for (uint32_t i = 0; i < size; ++i) {
    s.re[i] = x[s.bitReverse[i]];
    s.im[i] = 0.0f;
  }
  if (precision == TransformPrecision::kExtended) {
    TransformExtended(s);
    StoreAmplitudes(s);
    return;
  }

  // The twiddles of every stage but the last, packed stage by stage into the amplitude
  // array, which is free until the amplitudes are stored: cosines in its first half, sines
  // in its second, the stage with half h at offset h - 1.
  // Each list is every other entry of the next stage's list, the last of them every other
  // entry of the tables.
  float* cosList = s.amplitude.data();
  float* sinList = cosList + size / 2;
  for (uint32_t half = size / 4; half >= 1; half /= 2) {
    const float* cosNext = half == size / 4 ? s.cosTable.data() : cosList + (2 * half - 1);
    const float* sinNext = half == size / 4 ? s.sinTable.data() : sinList + (2 * half - 1);
    EveryOther(cosNext, cosList + (half - 1), half);
    EveryOther(sinNext, sinList + (half - 1), half);
  }

#if defined(__SSE2__)
  const StagesFn runStages = CpuHasAvx() ? avx::RunStages : sse2::RunStages;
#else
  const auto runStages = scalar::RunStages;
#endif
  const uint32_t blockLog2 = s.log2Size < kCacheBlockLog2 ? s.log2Size : kCacheBlockLog2;
  const uint32_t block = 1u << blockLog2;
  float* re = s.re.data();
  float* im = s.im.data();
  const float* cosTable = s.cosTable.data();
  const float* sinTable = s.sinTable.data();
  if (blockLog2 > 0) {
    for (uint32_t begin = 0; begin < size; begin += block) {
      runStages(re, im, cosTable, sinTable, cosList, sinList, s.log2Size, 1, blockLog2, begin,
                begin + block);
    }
  }
  if (s.log2Size > blockLog2) {
    runStages(re, im, cosTable, sinTable, cosList, sinList, s.log2Size, blockLog2 + 1, s.log2Size,
              0, size);
  }
  StoreAmplitudes(s);
}

void SpectrumFindFundamental(FlickerRecord& record) noexcept {
  const SpectrumEngine& s = *record.spectrum;
  const uint32_t lines = s.fftSize / 2;
  float best = 0.0f;
  int64_t index = -1;
  for (uint32_t i = 1; i < lines; ++i) {
    if (s.amplitude[i] >= best) {  // ties go to the higher bin
      best = s.amplitude[i];
      index = i;
    }
  }
  if (index < 1) {
    record.frequency = -1.0f;
    record.peakBin = -1.0f;
    return;
  }
  record.peakBin = static_cast<float>(index);
  record.frequency = s.frequency[index];
  if (s.amplitude[0] != 0.0f) record.acDcRatio = s.amplitude[index] / s.amplitude[0];
  if (record.frequency != 0.0f) {
    // Samples per period in single precision. The product below is exact in double and the
    // quotient is never close enough to a whole number for double rounding to cross it, so
    // both truncations see the exact values.
    const float period = static_cast<float>(s.sampleFreq) / record.frequency;
    record.windowPeriods = static_cast<uint32_t>(static_cast<double>(s.fftSize) / period);
    record.windowPeriodSamples =
        static_cast<uint32_t>(static_cast<double>(record.windowPeriods) * period);
  } else {
    record.windowPeriods = 1;
    record.windowPeriodSamples = s.fftSize;
  }
}

void FlickerPeaks(const FlickerRecord* record, int count, int32_t* out) {
  if (count <= 0 || out == nullptr) return;
  for (int j = 0; j < count; ++j) out[j] = -1;
  if (record == nullptr || !record->spectrum) return;
  const SpectrumEngine& s = *record->spectrum;
  const float* amplitude = s.amplitude.data();
  const uint32_t lines = s.fftSize / 2;
  for (uint32_t i = 0; i < lines; ++i) {
    const float a = amplitude[i];
    if (out[0] != -1 && !(a > amplitude[out[0]])) continue;
    // Ascending order, strongest last; among equal amplitudes the later bin ranks higher.
    for (int j = count - 1; j >= 0; --j) {
      if (out[j] == -1) {
        out[j] = static_cast<int32_t>(i);
        break;
      }
      if (a >= amplitude[out[j]]) {
        for (int m = 0; m < j; ++m) out[m] = out[m + 1];
        out[j] = static_cast<int32_t>(i);
        break;
      }
    }
  }
}
