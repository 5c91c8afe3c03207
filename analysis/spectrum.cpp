#include "analysis/spectrum.h"

#include "analysis/cpu.h"

#include <atomic>
#include <cmath>
#include <new>
#include <utility>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

// One butterfly with its products and sums evaluated in Wide (long double for the extended
// reference, double for the program's arithmetic); each result stored as float.
template <typename Wide>
inline void ButterflyIn(float* re, float* im, uint32_t a, uint32_t b, float c, float d) noexcept {
  const Wide reB = re[b];
  const Wide imB = im[b];
  const Wide tRe = reB * c + imB * d;
  const Wide tIm = imB * c - reB * d;
  const Wide reA = re[a];
  const Wide imA = im[a];
  re[a] = static_cast<float>(reA + tRe);
  im[a] = static_cast<float>(imA + tIm);
  re[b] = static_cast<float>(reA - tRe);
  im[b] = static_cast<float>(imA - tIm);
}

// Every stage one butterfly at a time, twiddles from the tables: the extended reference, and
// the program's arithmetic for lengths below 8 and where no vector unit is known.
template <typename Wide>
void TransformScalar(SpectrumEngine& s) noexcept {
  for (uint32_t stage = 1; stage <= s.log2Size; ++stage) {
    const uint32_t half = 1u << (stage - 1);
    const uint32_t stride = 1u << (s.log2Size - stage);
    for (uint32_t base = 0; base < s.fftSize; base += 2 * half) {
      for (uint32_t j = 0; j < half; ++j) {
        ButterflyIn<Wide>(s.re.data(), s.im.data(), base + j, base + j + half,
                          s.cosTable[j * stride], s.sinTable[j * stride]);
      }
    }
  }
}

// Magnitude of line i in double, rounded to float.
inline float Magnitude(const float* re, const float* im, uint32_t i) noexcept {
  const double r = re[i];
  const double m = im[i];
  return static_cast<float>(std::sqrt(r * r + m * m));
}

// Scale of the amplitudes: 1/N at 0 Hz, 2/N for the other lines below N/2.
inline float LineScale(uint32_t size) noexcept { return 2.0f * (1.0f / static_cast<float>(size)); }

#if defined(__SSE2__)

// The double twiddle lists live in the amplitude array until the amplitudes are stored:
// accessed through a type that may alias the floats.
typedef double __attribute__((__may_alias__)) AliasedDouble;

// What the vector stages work on.
struct StageInput {
  float* re;
  float* im;
  const float* cosTable;
  const float* sinTable;
  const AliasedDouble* cosList;  // cosines of the stages with half 4 .. N/8, as doubles
  const AliasedDouble* sinList;  // their sines
  uint32_t log2Size;
};

namespace sse2 {

inline __m128d LowHalf(__m128 v) { return _mm_cvtps_pd(v); }
inline __m128d HighHalf(__m128 v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }
inline __m128 Pack(__m128d low, __m128d high) {
  return _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
}

struct Twiddles4 {
  __m128d cLow, cHigh, dLow, dHigh;
};

inline Twiddles4 ConvertTwiddles(__m128 c, __m128 d) {
  return {LowHalf(c), HighHalf(c), LowHalf(d), HighHalf(d)};
}
inline Twiddles4 LoadTwiddles(const double* c, const double* d) {
  return {_mm_loadu_pd(c), _mm_loadu_pd(c + 2), _mm_loadu_pd(d), _mm_loadu_pd(d + 2)};
}

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

inline void Butterfly4(__m128& reA, __m128& imA, __m128& reB, __m128& imB, const Twiddles4& w) {
  __m128d low[4], high[4];
  Butterfly2(LowHalf(reA), LowHalf(imA), LowHalf(reB), LowHalf(imB), w.cLow, w.dLow, low);
  Butterfly2(HighHalf(reA), HighHalf(imA), HighHalf(reB), HighHalf(imB), w.cHigh, w.dHigh, high);
  reA = Pack(low[0], high[0]);
  imA = Pack(low[1], high[1]);
  reB = Pack(low[2], high[2]);
  imB = Pack(low[3], high[3]);
}


inline __m128d Magnitudes2(__m128d r, __m128d m) {
  return _mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(r, r), _mm_mul_pd(m, m)));
}
inline __m128 Magnitudes4(__m128 re, __m128 im) {
  return Pack(Magnitudes2(LowHalf(re), LowHalf(im)), Magnitudes2(HighHalf(re), HighHalf(im)));
}

#define STAGES_TARGET
#include "analysis/spectrum_stages.inc"
#undef STAGES_TARGET

}  // namespace sse2

namespace avx2 {

#define STAGES_TARGET __attribute__((target("avx2")))

struct Twiddles4 {
  __m256d c, d;
};

STAGES_TARGET inline Twiddles4 ConvertTwiddles(__m128 c, __m128 d) {
  return {_mm256_cvtps_pd(c), _mm256_cvtps_pd(d)};
}
STAGES_TARGET inline Twiddles4 LoadTwiddles(const double* c, const double* d) {
  return {_mm256_loadu_pd(c), _mm256_loadu_pd(d)};
}

STAGES_TARGET inline void Butterfly4(__m128& reA, __m128& imA, __m128& reB, __m128& imB,
                                     const Twiddles4& w) {
  const __m256d rb = _mm256_cvtps_pd(reB);
  const __m256d ib = _mm256_cvtps_pd(imB);
  const __m256d tRe = _mm256_add_pd(_mm256_mul_pd(rb, w.c), _mm256_mul_pd(ib, w.d));
  const __m256d tIm = _mm256_sub_pd(_mm256_mul_pd(ib, w.c), _mm256_mul_pd(rb, w.d));
  const __m256d ra = _mm256_cvtps_pd(reA);
  const __m256d ia = _mm256_cvtps_pd(imA);
  reA = _mm256_cvtpd_ps(_mm256_add_pd(ra, tRe));
  imA = _mm256_cvtpd_ps(_mm256_add_pd(ia, tIm));
  reB = _mm256_cvtpd_ps(_mm256_sub_pd(ra, tRe));
  imB = _mm256_cvtpd_ps(_mm256_sub_pd(ia, tIm));
}


STAGES_TARGET inline __m128 Magnitudes4(__m128 re, __m128 im) {
  const __m256d r = _mm256_cvtps_pd(re);
  const __m256d m = _mm256_cvtps_pd(im);
  return _mm256_cvtpd_ps(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(r, r), _mm256_mul_pd(m, m))));
}

#include "analysis/spectrum_stages.inc"
#undef STAGES_TARGET

}  // namespace avx2

// Fills the double twiddle lists for the stages with half 4 .. N/8 (N >= 32): the list of
// half h at offset h - 1 holds cosTable/sinTable[j * N / (2 h)]; each list is every other
// entry of the next one.
void FillTwiddleLists(const SpectrumEngine& s, AliasedDouble* cosList, AliasedDouble* sinList) noexcept {
  const uint32_t top = s.fftSize / 8;
  for (uint32_t j = 0; j < top; ++j) {
    cosList[top - 1 + j] = s.cosTable[4 * j];
    sinList[top - 1 + j] = s.sinTable[4 * j];
  }
  for (uint32_t half = top / 2; half >= 4; half /= 2) {
    for (uint32_t j = 0; j < half; ++j) {
      cosList[half - 1 + j] = cosList[2 * half - 1 + 2 * j];
      sinList[half - 1 + j] = sinList[2 * half - 1 + 2 * j];
    }
  }
}

#endif  // __SSE2__

// Stages up to this block size run block by block while the block sits in the cache. Each
// butterfly reads and writes the same values in any order of the blocks, so the result is
// that of running the stages one after the other over the whole array.
constexpr uint32_t kCacheBlockLog2 = 13;

// Up to this length stage 1 reads the samples in order and scatters its pairs (the arrays
// stay in the cache); above it, it gathers the samples block by block.
constexpr uint32_t kScatterLimit = 16384;

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
  const uint32_t lines = size / 2;
  const float scale = 1.0f / static_cast<float>(size);
  float* amplitude = s.amplitude.data();
#if defined(__SSE2__)
  // The vector stages need blocks of eight, and stage 1 relies on the twiddle (1, +0).
  const bool vector = precision == TransformPrecision::kDouble && size >= 8 &&
                      s.cosTable[0] == 1.0f && s.sinTable[0] == 0.0f && !std::signbit(s.sinTable[0]);
#else
  const bool vector = false;
#endif
  if (!vector) {
    for (uint32_t i = 0; i < size; ++i) {
      s.re[i] = x[s.bitReverse[i]];
      s.im[i] = 0.0f;
    }
    if (precision == TransformPrecision::kExtended) {
      TransformScalar<long double>(s);
    } else {
      TransformScalar<double>(s);
    }
    if (lines > 0) amplitude[0] = Magnitude(s.re.data(), s.im.data(), 0) * scale;
    for (uint32_t i = 1; i < lines; ++i) amplitude[i] = Magnitude(s.re.data(), s.im.data(), i) * LineScale(size);
    for (uint32_t i = lines; i < size; ++i) amplitude[i] = 0.0f;
    return;
  }

#if defined(__SSE2__)
  // N/2 doubles fit in the N floats of the amplitude array: cosines first, sines from N/4.
  AliasedDouble* cosList = reinterpret_cast<AliasedDouble*>(amplitude);
  AliasedDouble* sinList = cosList + size / 4;
  FillTwiddleLists(s, cosList, sinList);
  const StageInput input{s.re.data(), s.im.data(), s.cosTable.data(), s.sinTable.data(),
                         cosList,     sinList,     s.log2Size};
  const bool avx2 = CpuHasAvx2();
  const auto runStages = avx2 ? avx2::RunStages : sse2::RunStages;
  const uint32_t blockLog2 = s.log2Size < kCacheBlockLog2 ? s.log2Size : kCacheBlockLog2;
  const uint32_t block = 1u << blockLog2;
  float* re = s.re.data();
  float* im = s.im.data();
  const uint32_t* bitReverse = s.bitReverse.data();
  if (size <= kScatterLimit) {
    (avx2 ? avx2::StageFirstScattered : sse2::StageFirstScattered)(x, bitReverse, re, im, size);
  }
  for (uint32_t begin = 0; begin < size; begin += block) {
    if (size > kScatterLimit) {
      (avx2 ? avx2::StageFirstGathered : sse2::StageFirstGathered)(x, bitReverse, re, im, begin,
                                                                    begin + block);
    }
    runStages(input, 2, blockLog2, begin, begin + block);
  }
  if (s.log2Size > blockLog2) runStages(input, blockLog2 + 1, s.log2Size, 0, size);

  amplitude[0] = Magnitude(s.re.data(), s.im.data(), 0) * scale;
  const auto storeLines = avx2 ? avx2::StoreLineAmplitudes : sse2::StoreLineAmplitudes;
  storeLines(s.re.data(), s.im.data(), amplitude, 1, lines, LineScale(size));
  for (uint32_t i = lines; i < size; ++i) amplitude[i] = 0.0f;
#endif
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

namespace {
std::atomic<bool> avx2Allowed{true};
}  // namespace

bool CpuHasAvx2() noexcept {
#if defined(__SSE2__)
  static const bool hasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
  }();
  return hasAvx2 && avx2Allowed.load(std::memory_order_relaxed);
#else
  return false;
#endif
}

void CpuAllowAvx2(bool allowed) noexcept { avx2Allowed.store(allowed, std::memory_order_relaxed); }
