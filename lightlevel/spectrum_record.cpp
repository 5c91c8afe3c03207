// Spectrum records, the reference tables, the table lookup and the lux evaluation.
#include "lightlevel/spectrum_record.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "lightlevel/cie1931.h"

namespace {

SpectralArray* NewArray() {
  auto* array = new (std::nothrow) SpectralArray;
  if (array) std::memset(array, 0, sizeof *array);
  return array;
}

// Copies a constant table into a working array, dividing its values by the table's scale.
void FillTable(SpectralArray& array, const float* values, int count, int startNm, float scale) {
  std::memset(&array, 0, sizeof array);
  array.count = count;
  array.startNm = float(startNm);
  array.endNm = float(startNm + count - 1);
  array.scale = 1.0f;
  for (int i = 0; i < count; ++i) array.values[i] = values ? values[i] / scale : 1.0f;
  SpPrepareWorkingSlots(array);
}

struct ReferenceTables {
  SpectralArray unit;
  SpectralArray observer[3];

  ReferenceTables() {
    constexpr int kUnitStartNm = 360, kUnitEndNm = 780;
    FillTable(unit, nullptr, kUnitEndNm - kUnitStartNm + 1, kUnitStartNm, 1.0f);
    FillTable(observer[0], kCie1931X, kCie1931Count, kCie1931StartNm, 1.0f);
    FillTable(observer[1], kCie1931Y, kCie1931Count, kCie1931StartNm, 1.0f);
    FillTable(observer[2], kCie1931Z, kCie1931Count, kCie1931StartNm, 1.0f);
  }
};

// Prepared once, on first use, and read-only afterwards (safe from any thread).
const ReferenceTables& Tables() {
  static const ReferenceTables tables;
  return tables;
}

int ValueCount(const SpectralArray& array) { return std::clamp(array.count, 0, kSpectralCapacity); }

// Looked-up value divided by the array's scale (a scale of 0 divides by 1).
double Scaled(const SpectralArray& array, double nm) {
  const double value = SpLookup(array, nm);
  return array.scale != 0.0f ? value / array.scale : value;
}

}  // namespace

SpectrumRecord* SpNewSpectrum() {
  auto* record = new (std::nothrow) SpectrumRecord;
  if (!record) return nullptr;
  std::memset(record, 0, sizeof *record);
  record->spectralData = NewArray();
  record->workingData = NewArray();
  if (!record->spectralData || !record->workingData) {
    SpFreeSpectrum(record);
    return nullptr;
  }
  record->xGain = record->yGain = record->zGain = record->lGain = 1.0f;
  for (int i = 0; i < 3; ++i) record->correction[i][i] = 1.0;
  return record;
}

void SpFreeSpectrum(SpectrumRecord* record) {
  if (!record) return;
  delete record->spectralData;
  delete record->workingData;
  delete record;
}

void SpPrepareWorkingSlots(SpectralArray& array) {
  array.span = array.endNm - array.startNm;
  array.spacing = array.count > 1 ? array.span / float(array.count - 1) : 0.0f;
}

float SpLookup(const SpectralArray& array, double nm) {
  const int count = ValueCount(array);
  // Written so that a wavelength range that is not a number reads as "outside".
  if (count == 0 || !(nm >= array.startNm && nm <= array.endNm)) return 0.0f;
  const double offset = nm - array.startNm;
  if (!(array.spacing > 1.0f) || !(array.span > 0.0f)) {
    const double index = std::trunc(offset);
    return array.values[index >= count - 1 ? count - 1 : int(index)];
  }
  const double position = double(count - 1) * offset / array.span;
  if (!std::isfinite(position)) return 0.0f;  // an infinite range
  if (position >= count - 1) return array.values[count - 1];
  const int index = int(position);
  const double fraction = position - index;
  return float(array.values[index] + fraction * (array.values[index + 1] - array.values[index]));
}

const SpectralArray& SpUnitSource() { return Tables().unit; }

const SpectralArray& SpObserver(int channel) { return Tables().observer[std::clamp(channel, 0, 2)]; }

void SpEvaluateSpectrum(SpectrumRecord* record) {
  if (!record || !record->spectralData) return;
  SpectralArray& spectrum = *record->spectralData;
  const int count = ValueCount(spectrum);

  // Physical values: stored value x scale, with the spectral calibration factor.
  const float factor = record->lGain * spectrum.scale;
  for (int i = 0; i < count; ++i) spectrum.values[i] *= factor;
  spectrum.scale = 1.0f;
  SpPrepareWorkingSlots(spectrum);

  record->sourceType = 1;
  if (record->workingData) *record->workingData = spectrum;

  // Tristimulus sum over the observer's wavelengths at 1 nm, weighted by the unit source
  // (defined 360..780 nm, so the sum effectively stops at 780 nm).
  const SpectralArray& source = SpUnitSource();
  double tristimulus[3];
  for (int channel = 0; channel < 3; ++channel) {
    const SpectralArray& observer = SpObserver(channel);
    double sum = 0.0;
    for (double nm = observer.startNm; nm <= observer.endNm; nm += 1.0)
      sum += Scaled(source, nm) * Scaled(observer, nm) * Scaled(spectrum, nm);
    tristimulus[channel] = float(sum * kLuminousEfficacy);
  }

  const double x = float(tristimulus[0] * record->xGain);
  const double y = float(tristimulus[1] * record->yGain);
  const double z = float(tristimulus[2] * record->zGain);
  const double (&c)[3][3] = record->correction;
  const double corrected[3] = {
      c[0][0] * x + c[0][1] * y + c[0][2] * z,
      c[1][0] * x + c[1][1] * y + c[1][2] * z,
      c[2][0] * x + c[2][1] * y + c[2][2] * z,
  };
  // A spectrum or a calibration that does not give finite values (a value that is not a
  // number, or beyond the float range) reads as no light at all.
  const double total = corrected[0] + corrected[1] + corrected[2];
  const bool finite = std::isfinite(total) && std::isfinite(float(corrected[0])) &&
                      std::isfinite(float(corrected[1])) && std::isfinite(float(corrected[2]));
  record->X = finite ? float(corrected[0]) : 0.0f;
  record->Y = finite ? float(corrected[1]) : 0.0f;
  record->Z = finite ? float(corrected[2]) : 0.0f;

  // No light: the reading keeps its value (0 for a new record).
  if (!finite || std::fabs(total) < 1e-9) return;
  record->lux = record->Y;

  // Normalise again to the largest value.
  float largest = count > 0 ? *std::max_element(spectrum.values, spectrum.values + count) : 0.0f;
  if (std::fabs(largest) < 1e-9f) largest = 1.0f;
  for (int i = 0; i < count; ++i) spectrum.values[i] /= largest;
  spectrum.scale = largest;
}
