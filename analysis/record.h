// The flicker record: one measurement with its sample buffers, its three analysis
// objects (spectrum, FIR filter, JEITA spectrum) and every figure the analysis produces.
//
// The analysis library is plain C++ over plain records: create and destroy functions,
// results written into the record, no exceptions, no logging, no messages. A record is
// used by one thread at a time; the callers guarantee it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Radix-2 FFT state and the single-sided amplitude spectrum of the last analysed waveform.
struct SpectrumEngine {
  uint32_t fftSize = 0;      // transform length N: largest power of two not above sampleCount
  uint32_t sampleCount = 0;  // sample count requested at creation
  uint32_t sampleFreq = 0;   // Hz
  float binHz = 0;           // sampleFreq / N, single precision
  uint32_t log2Size = 0;     // log2 N
  std::vector<uint32_t> bitReverse;  // bit-reversal permutation of 0 .. N-1
  std::vector<uint32_t> scratch;     // work array used while building bitReverse
  std::vector<float> sinTable;       // sin(6.2831852 * i / N)
  std::vector<float> cosTable;       // cos(6.2831852 * i / N)
  std::vector<float> frequency;      // Hz of bin i: i * binHz in single precision
  std::vector<float> amplitude;      // amplitude of bin i for i < N/2; 0 at and above N/2
  std::vector<float> re;             // real parts of the transform
  std::vector<float> im;             // imaginary parts of the transform
};

// Windowed-sinc low-pass (Hann window), designed once per record.
struct FirFilter {
  int32_t type = 0;    // always 0: low-pass
  int32_t window = 4;  // always 4: Hann
  double cutoffHz = 0;
  double sampleFreq = 0;
  double normalizedCutoff = 0;       // cutoffHz / (sampleFreq * 0.5)
  std::vector<double> coefficients;  // h[0 .. taps-1]; capacity taps rounded up to 1024
  std::vector<double> history;       // delay line; same capacity
  uint32_t taps = 0;
};

// A tabulated curve y(x): the SVM visibility threshold. Same layout as 8193 32-bit slots:
// slot 0 the point count, then 4096 x values, then 4096 y values.
struct WeightCurve {
  int32_t count = 0;  // number of points P used
  float x[4096] = {};
  float y[4096] = {};
};

// JEITA-weighted level of every spectral line from 0 to 60 Hz.
struct JeitaSpectrum {
  uint32_t binCount = 0;           // trunc(60 / binHz + 1), at most the N/2 lines, at least 1
  std::vector<float> levelDb;      // weighted level in dB of line i (i >= 1); entry 0 is 0
  std::vector<float> levelDbVesa;  // levelDb + 3.01029995
  uint32_t peakBin = 0;            // line with the highest level in the last run
};

struct FlickerRecord {
  uint32_t sampleCount = 0;  // samples requested for the measurement
  uint32_t sampleFreq = 0;   // Hz
  uint32_t bufferLen = 0;    // elements of the four buffers; >= sampleCount + 2 * FIR taps
  int32_t gainIndex = 0;     // 0-based gain range of the samples; never read by the analysis
  std::vector<uint16_t> rawCounts;  // ADC counts as delivered
  std::vector<float> volts;         // working signal, V (0..5); the filtered signal when FIR is on
  std::vector<float> scaled;        // volts * scaleFactors[scaleIndex]
  std::vector<float> firOut;        // raw FIR output
  uint32_t firEnabled = 0;          // FIR switch of the last FlickerRun
  uint32_t windowPeriods = 0;       // whole fundamental periods in the FFT window; 5 at creation
  float frequency = 0;              // fundamental, Hz; -1 = none found by the last run
  float peakBin = 0;                // FFT bin of the fundamental; -1 = none
  uint32_t windowPeriodSamples = 0; // samples in windowPeriods periods; 0 = no fundamental yet
  std::unique_ptr<SpectrumEngine> spectrum;
  std::unique_ptr<FirFilter> fir;
  std::unique_ptr<WeightCurve> svmCurve;
  float contrast = 0;        // (max - min) / average
  float contrastDb = 0;      // 10 log10(contrast)
  float rmsRatio = 0;        // RMS deviation / average
  float rmsDb = 0;           // 10 log10(rmsRatio)
  float jeitaDb = 0;         // highest JEITA-weighted level, dB
  float jeitaRatio = 0;      // weighted RMS ratio of that line
  float vesaDb = 0;          // jeitaDb + 3.01029995
  float vesaRatio = 0;       // jeitaRatio * 1.41421356
  float minVolts = 0;
  float maxVolts = 0;
  float average = 0;
  float percentFlicker = 0;  // (max - min) / (max + min)
  float flickerIndex = 0;    // IES flicker index
  float svm = 0;             // stroboscopic visibility measure
  float fma = 0;             // (max - min) / ((max + min) * 0.5)
  float acDcRatio = 0;       // amplitude of the fundamental / amplitude at 0 Hz
  std::unique_ptr<JeitaSpectrum> jeitaSpectrum;
  int32_t scaleIndex = 1;    // which scaleFactors entry multiplies volts
  int32_t scaleCount = 4;
  float scaleFactors[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};

// Length of the four sample buffers: sampleCount + 2 * firTaps; with roundBuffer raised to
// the next multiple of 1024 below 2048, else of 2048 (a length on such a boundary stays).
// In 64 bits, so a caller can see a length that does not fit the record's 32-bit field.
uint64_t FlickerBufferLength(uint32_t sampleCount, uint32_t firTaps, uint32_t roundBuffer) noexcept;

// Creates a record with its buffers and analysis objects; null when a buffer length would
// overflow 32 bits, the sample count is 0, or an allocation fails (nothing is leaked).
// roundBuffer: raise sampleCount + 2 * firTaps to the next multiple of 1024 below 2048,
// else of 2048.
FlickerRecord* FlickerCreate(uint32_t sampleCount, uint32_t sampleFreq, uint32_t firTaps,
                             uint32_t firCutoffHz, uint32_t roundBuffer);
// Releases a record and everything it owns; null is ignored.
void FlickerDestroy(FlickerRecord* record);
// One complete analysis of volts, in place. Allocates nothing; always returns 0.
int FlickerRun(FlickerRecord* record, uint32_t testSignal, uint32_t firEnabled);
// The count strongest lines among bins 0 .. N/2-1, weakest first: out[count-1] is the
// strongest; empty slots hold -1 and sit at the front.
void FlickerPeaks(const FlickerRecord* record, int count, int32_t* out);
// Time-domain figures over the first n samples of volts; n = 0 leaves them unchanged, an n
// above bufferLen is taken as bufferLen.
void FlickerStats(FlickerRecord* record, uint32_t n);

// Owning handle for callers above the analysis layer: nobody frees a record by hand.
struct FlickerRecordDeleter {
  void operator()(FlickerRecord* record) const { FlickerDestroy(record); }
};
using FlickerRecordPtr = std::unique_ptr<FlickerRecord, FlickerRecordDeleter>;

inline FlickerRecordPtr MakeFlickerRecord(uint32_t sampleCount, uint32_t sampleFreq,
                                          uint32_t firTaps, uint32_t firCutoffHz,
                                          uint32_t roundBuffer = 1) {
  return FlickerRecordPtr(FlickerCreate(sampleCount, sampleFreq, firTaps, firCutoffHz, roundBuffer));
}
