#include "analysis/spectrum.h"

#include <cmath>
#include <new>
#include <utility>

namespace {

// One decimation-in-time butterfly on the pair (a, b) with twiddle cos c, sin d. The
// products and sums are evaluated in extended precision; each result is stored as float.
inline void Butterfly(float* re, float* im, uint32_t a, uint32_t b, float c, float d) noexcept {
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

// All butterflies of one stage (1-based) whose pairs lie in [begin, end); begin and end are
// multiples of the stage's block length 2^stage.
void RunStage(SpectrumEngine& s, uint32_t stage, uint32_t begin, uint32_t end) noexcept {
  const uint32_t half = 1u << (stage - 1);
  const uint32_t stride = 1u << (s.log2Size - stage);
  float* re = s.re.data();
  float* im = s.im.data();
  const float* cosTable = s.cosTable.data();
  const float* sinTable = s.sinTable.data();
  for (uint32_t base = begin; base < end; base += 2 * half) {
    for (uint32_t j = 0; j < half; ++j) {
      const uint32_t k = j * stride;
      Butterfly(re, im, base + j, base + j + half, cosTable[k], sinTable[k]);
    }
  }
}

// Stages up to this block size run block by block while the block sits in the cache. Every
// butterfly reads and writes the same values in any order of the blocks, so the result is
// the same as running the stages one after the other over the whole array.
constexpr uint32_t kCacheBlockLog2 = 13;

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

void SpectrumTransform(SpectrumEngine& s, const float* x) noexcept {
  const uint32_t size = s.fftSize;
  for (uint32_t i = 0; i < size; ++i) {
    s.re[i] = x[s.bitReverse[i]];
    s.im[i] = 0.0f;
  }

  const uint32_t blockLog2 = s.log2Size < kCacheBlockLog2 ? s.log2Size : kCacheBlockLog2;
  const uint32_t block = 1u << blockLog2;
  for (uint32_t begin = 0; begin < size; begin += block) {
    for (uint32_t stage = 1; stage <= blockLog2; ++stage) RunStage(s, stage, begin, begin + block);
  }
  for (uint32_t stage = blockLog2 + 1; stage <= s.log2Size; ++stage) RunStage(s, stage, 0, size);

  const float scale = 1.0f / static_cast<float>(size);
  const uint32_t lines = size / 2;
  for (uint32_t i = 0; i < lines; ++i) {
    const double re = s.re[i];
    const double im = s.im[i];
    const float magnitude = static_cast<float>(std::sqrt(re * re + im * im));
    s.amplitude[i] = magnitude * (i == 0 ? scale : 2.0f * scale);
  }
  for (uint32_t i = lines; i < size; ++i) s.amplitude[i] = 0.0f;
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
