// Hostile spectrum records for the lux evaluation: any count, wavelength range, scale, values
// and calibration must give a finite reading (or none), never a crash or undefined behaviour.
//
// Input: int32 count, float startNm, endNm, scale, lGain, xGain, yGain, zGain, nine doubles of
// the correction matrix, then floats of the spectrum (at most 1001). Missing bytes read as 0.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "lightlevel/lux_text.h"
#include "lightlevel/spectrum_record.h"

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  template <typename T>
  T Take() {
    T value{};
    const size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SpectrumRecordPtr record = SpMakeSpectrum();
  if (!record) return 0;
  Reader in{data, size};
  SpectralArray& s = *record->spectralData;
  s.count = in.Take<int32_t>();
  s.startNm = in.Take<float>();
  s.endNm = in.Take<float>();
  s.scale = in.Take<float>();
  record->lGain = in.Take<float>();
  record->xGain = in.Take<float>();
  record->yGain = in.Take<float>();
  record->zGain = in.Take<float>();
  for (auto& row : record->correction)
    for (double& c : row) c = in.Take<double>();
  for (int i = 0; i < kSpectralCapacity && in.size > 0; ++i) s.values[i] = in.Take<float>();

  SpEvaluateSpectrum(record.get());
  if (!std::isfinite(record->lux) || !std::isfinite(record->X) || !std::isfinite(record->Y) ||
      !std::isfinite(record->Z))
    __builtin_trap();
  (void)FormatLux(record->lux);
  return 0;
}
