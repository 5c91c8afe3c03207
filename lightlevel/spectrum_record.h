// Light level: one spectrum of the instrument and its evaluation to illuminance (lux).
//
// A reading is: SpNewSpectrum, SpMeasureSpectrum (start, ready-wait, read-out of the spectrum
// and pixel blocks, copy of the instrument's calibration), SpEvaluateSpectrum (CIE 1931
// tristimulus sum with the 2-degree observer, gains, correction matrix), read `lux`,
// SpFreeSpectrum. None of these throws, shows a message or logs.
#pragma once

#include <cstdint>
#include <memory>

struct SpDevice;

constexpr int kSpectralCapacity = 1001;  // values an SpectralArray holds
constexpr int kSpectrumBufferPoints = 1024;  // spectrum points one read-out takes at most
constexpr int kPixelBufferCount = 1024;      // pixel counts one read-out takes at most

// A sampled spectrum or a reference table: 1007 32-bit slots.
struct SpectralArray {
  int32_t count;    // number of values, 0..1001
  float startNm;    // wavelength of the first value, nm
  float endNm;      // wavelength of the last value, nm
  float scale;      // physical value = stored value * scale
  float values[kSpectralCapacity];  // evenly spaced from startNm to endNm
  float span;       // working slot: endNm - startNm, set before each evaluation
  float spacing;    // working slot: span / (count - 1); 0 for fewer than two values
};
static_assert(sizeof(SpectralArray) == 1007 * 4, "SpectralArray is 1007 slots of 32 bits");

// The record of one light-level reading.
struct SpectrumRecord {
  int32_t sourceType;           // reference source of the tristimulus sum; 1 = unit source
  float X, Y, Z;                // tristimulus values after calibration; Y is the illuminance, lx
  SpectralArray* spectralData;  // the measured spectrum (values in mW m^-2 nm^-1 x scale)
  float lux;                    // the reading; 0 when the evaluation finds no light
  float xGain, yGain, zGain;    // per-channel calibration gains, default 1
  float lGain;                  // spectral calibration factor, default 1
  double correction[3][3];      // colour correction matrix, row-major, default identity

  // Filled by the measurement, not read by the evaluation.
  uint32_t spectrumHeader[3];   // words at offsets 12, 8 and 4 of the spectrum block
  int32_t pixelCount;           // pixel counts received
  int32_t firstPixel;           // 0
  int32_t lastPixel;            // pixelCount - 1
  uint16_t pixels[kPixelBufferCount];
  int32_t measurementInfo[4];   // set to 0 by the measurement
  // Working copy of the measured spectrum, taken at evaluation.
  SpectralArray* workingData;
};

// A new record: every field 0, its arrays allocated and zeroed, gains 1, correction the
// identity. Null only when memory runs out.
SpectrumRecord* SpNewSpectrum();
// Releases the record and its arrays; null is ignored.
void SpFreeSpectrum(SpectrumRecord* record);

struct SpectrumRecordDeleter {
  void operator()(SpectrumRecord* record) const { SpFreeSpectrum(record); }
};
using SpectrumRecordPtr = std::unique_ptr<SpectrumRecord, SpectrumRecordDeleter>;
// SpNewSpectrum as an owning handle (null when memory runs out).
inline SpectrumRecordPtr SpMakeSpectrum() { return SpectrumRecordPtr(SpNewSpectrum()); }

// Takes one spectrum on the instrument and fills the record's spectrum and pixel counts, then
// copies the instrument's calibration (gains, correction matrix) into the record.
//
// False, with no read-out, when the entry is no longer listed, the entry's point or pixel
// count exceeds the read-out buffers (1024), its wavelength range is empty, or the start
// command was refused or its ready-wait failed. False, too, when a read failed. On every
// false path the record's spectrum is left as it was (zero for a new record); the
// calibration is copied on every path after the entry was found listed. The entry's busy
// count is raised for the duration. The caller keeps the entry alive (holds its SpDevicePtr).
bool SpMeasureSpectrum(SpDevice* device, SpectrumRecord* record, int mode, int integrationTime,
                       int thirdStartArgument);

// Computes X, Y, Z and lux from the record's spectrum and calibration, and leaves the
// spectrum normalised to its largest value (kept in `scale`). When the corrected sum
// |X + Y + Z| is below 1e-9, lux keeps its previous value (0 for a new record); values that
// are not finite (a spectrum or calibration that does not add up to a number) read the same
// way, with X, Y, Z set to 0.
void SpEvaluateSpectrum(SpectrumRecord* record);

// Value of the array at wavelength nm: 0 outside startNm..endNm; for a spacing of 1 nm or
// less the entry at trunc(nm - startNm) (clamped to the values), above 1 nm the linear
// interpolation of the two neighbouring entries. Reads the working slots span and spacing.
float SpLookup(const SpectralArray& array, double nm);
// Sets the working slots span and spacing of an array from its count and wavelengths.
void SpPrepareWorkingSlots(SpectralArray& array);

// The reference tables, prepared on first use (thread-safe) and read-only afterwards:
// the unit source (421 values of 1.0, 360..780 nm) and the CIE 1931 2-degree observer
// x-bar, y-bar, z-bar (471 values, 360..830 nm), every one with scale 1.
const SpectralArray& SpUnitSource();
const SpectralArray& SpObserver(int channel);  // 0 = x-bar, 1 = y-bar, 2 = z-bar

// Maximum luminous efficacy applied to spectral values per milliwatt: 683 lm/W / 1000.
constexpr double kLuminousEfficacy = 0.683;
