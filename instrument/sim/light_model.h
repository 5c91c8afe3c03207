// The physics of the simulated instrument: the light's waveform as the flicker sensor sees
// it at each gain range, the 16-bit conversion, and the spectrum of a white LED.
#pragma once

#include <cstdint>
#include <vector>

#include "instrument/sim/sim_config.h"

// Full scale of the flicker sensor's converter: 5 V over 65536 counts.
constexpr double kSimFullScaleVolts = 5.0;

// Counts of a sensor voltage: clamp(round(v / 5 * 65536), 0, 65535).
uint16_t SimVoltsToCounts(double volts);

// Value of the wave shape, -1..1, at a phase in cycles (0..1): sine sin(2 pi p); square +1 for
// the first half, -1 for the second; triangle rising from 0 through +1 at 1/4 and -1 at 3/4;
// pulse +1 for the first `duty` of the period, else -1; dc 0.
double SimWaveShape(SimWaveform waveform, double duty, double phase);
// Mean of the wave shape over one period (0 except for a pulse: 2 duty - 1).
double SimWaveShapeMean(SimWaveform waveform, double duty);

// Sensor voltage of the light at range 1 and a phase: A (1 + m w(p)), with A chosen so that
// the mean is `level` and (max - min) / (max + min) = m.
double SimLightVolts(const SimLight& light, double phase);

// Noise source: a small deterministic generator (splitmix64).
class SimNoise {
 public:
  explicit SimNoise(uint64_t seed = 1) : state_(seed) {}
  // Mean 0, standard deviation 1, nearly Gaussian: a sum of four uniforms, so bounded at
  // +-sqrt(12). Cheap enough for every sample of a long capture.
  double Normal();

 private:
  uint64_t Next();
  uint64_t state_;
};

// What a capture samples at one gain range.
struct SimSensorRange {
  double gain = 1.0;        // the range's gain relative to range 1
  double darkOffset = 0.0;  // volts added whatever the light
};

// Fills `count` little-endian u16 counts (2 * count bytes at `out`) sampled at `sampleFreq`
// Hz, starting at `*phase` (cycles, 0..1) and leaving there the phase after the last sample,
// so that the next capture continues the same waveform. With `lightSeen` false (shutter
// closed) every sample is the dark offset alone. No allocation.
void SimGenerateCounts(const SimLight& light, const SimSensorRange& range, bool lightSeen, double sampleFreq,
                       uint32_t count, double* phase, SimNoise* noise, uint8_t* out);

// Relative spectral shape of the white LED at a wavelength (nm): a blue peak at 450 nm and a
// phosphor band centred at 575 nm; its largest value is about 1.
double SimWhiteLedShape(double nm);

// The spectrum the instrument reports: `points` values for 1-nm steps from `startNm`,
// normalised to a largest value of 1, and the scale that makes
// 0.683 * sum over 360..780 nm of ybar * value * scale equal `lux` (the illuminance a host
// evaluates with default calibration). Only the first `usablePoints` values
// (end - start + 1) take part in that sum. With `lux` 0, light not seen, or no usable
// wavelength between 360 and 780 nm, every value is 0 and the scale 1.
struct SimSpectrum {
  std::vector<float> values;
  float scale = 1.0f;
};
SimSpectrum SimMakeSpectrum(int32_t startNm, int32_t points, int32_t usablePoints, double lux, bool lightSeen);

// The lux a host computes from a spectrum with default calibration:
// 0.683 * sum over the values whose wavelength lies in 360..780 nm of ybar * value * scale.
double SimSpectrumLux(const SimSpectrum& spectrum, int32_t startNm, int32_t usablePoints);
