// The PstLM flickermeter: short-term flicker severity of a light signal.
//
// The chain: normalisation to the mean, a 0.05 Hz high-pass, a 0.1 s fade-in, a 35 Hz
// sixth-order Butterworth low-pass, the eye-brain weighting filter, squaring, a 0.3 s
// first-order smoothing and scaling give the instantaneous flicker sensation Pinst. After
// 20 s of settling, Pinst is classified into 10000 classes and the short-term severity is
// formed from smoothed percentiles of that distribution.
//
// Plain functions over plain arrays: no exceptions, no logging, no state between calls.
// The filters run in double precision with extended-precision (long double) accumulation.
#pragma once

#include <cstdint>

struct PstResult {
  double pst = 0;       // short-term flicker severity PstLM
  double pinstMax = 0;  // largest Pinst after the settling time
};

// Settling time: Pinst values of the first 20 s are not classified.
inline constexpr uint32_t kPstSettlingSeconds = 20;
// Number of classes of the Pinst statistics (plus one extra class for the maximum).
inline constexpr int kPstClassCount = 10000;
// Lowest sampling frequency the flickermeter accepts, Hz.
inline constexpr uint32_t kPstMinSampleFreq = 2000;
// Largest record the flickermeter accepts, samples.
inline constexpr uint32_t kPstMaxSamples = 10240000;
// Factor from the smoothed squared weighted signal to Pinst.
inline constexpr double kPinstScale = 1101603.155420234;
// The rates the filter coefficients are defined for, Hz, ascending.
inline constexpr uint32_t kPstSampleFreqs[11] = {2048,  4096,  8192,  10240, 16384, 20480,
                                                 32768, 40960, 65536, 81920, 102400};

// The four filters of the chain.
enum class PstFilterKind {
  HighPass,   // first-order high-pass, 0.05 Hz
  LowPass,    // sixth-order Butterworth low-pass, 35 Hz, gain 1 at 0 Hz
  Smoothing,  // first-order low-pass, time constant 0.3 s
  Weighting,  // fourth-order eye-brain weighting filter (tabulated)
};

// Coefficients of one filter: m values each in b and a; a[0] is 1.
struct PstCoefficients {
  int m = 0;
  double b[7] = {};
  double a[7] = {};
};

// Highest rate the flickermeter computes at, Hz. The 35 Hz low-pass and the weighting filter
// have poles close to z = 1, and in the direct form over doubles the rounding of their
// coefficients moves Pinst by about 1.5 % at 32768 Hz and 2 % at 40960 Hz (within the usual
// calibration tolerance of a flickermeter), while at 65536 Hz and above the low-pass becomes
// unstable. Those higher rates are refused rather than answered with a wrong figure (the
// workbench measures at 4096 Hz).
inline constexpr uint32_t kPstMaxSampleFreq = 40960;

// True when the flickermeter computes at sampleFreq: one of kPstSampleFreqs, at most
// kPstMaxSampleFreq.
bool PstLmRateSupported(uint32_t sampleFreq);

// True when a record of sampleCount samples at sampleFreq Hz can be given to PstLmCompute:
// a rate PstLmRateSupported accepts, more than 20 s of samples (something is left after
// settling) and at most kPstMaxSamples samples.
bool PstLmApplicable(uint32_t sampleCount, uint32_t sampleFreq);

// Fills out with the coefficients of filter kind at sampleFreq: 0, or -1 (out untouched)
// for a rate outside kPstSampleFreqs or a null out. High-pass, low-pass and smoothing are
// computed from their bilinear-transform formulas with K = tan(pi * fc / fs); the weighting
// filter comes from a table per rate.
int PstLmCoefficients(PstFilterKind kind, uint32_t sampleFreq, PstCoefficients* out);

// Direct-form IIR filter with zero initial state over n samples:
//   out[i] = sum_{j=0}^{min(i,m-1)} b[j] in[i-j] - sum_{j=1}^{min(i,m-1)} a[j] out[i-j],
// each product and the running sum in long double, the sum rounded to double once.
// a[0] is taken to be 1 and not read. in and out must not overlap.
void IirFilter(const double* b, const double* a, uint32_t n, double* out, const double* in,
               int m);

// Length of the fade-in ramp applied after the high-pass: trunc(fs * 0.1 + 0.5) samples
// (410 at 4096 Hz), or the whole record when it is shorter.
uint32_t PstFadeInLength(uint32_t sampleCount, uint32_t sampleFreq);

// Weight of sample i (0 .. length-1) of the fade-in ramp: i / (length - 1), the step
// formed once as a reciprocal, and exactly 1 at the last point.
inline double PstFadeInWeight(uint32_t i, uint32_t length) {
  return i + 1 == length ? 1.0 : i * (1.0 / (length - 1));
}

// The instantaneous flicker sensation of every sample: the whole chain up to and including
// the scaling, written to pinst[0 .. sampleCount-1]. 0, or -1 with pinst untouched when
// samples or pinst is null, sampleCount is 0 or above kPstMaxSamples, the rate is not
// accepted by PstLmRateSupported or the mean of the samples is not a positive finite
// number. Allocates nothing.
int PstLmPinst(const float* samples, uint32_t sampleCount, uint32_t sampleFreq, double* pinst);

// The short-term severity of a Pinst series (the values after settling): classification
// into kPstClassCount classes between the smallest and the largest value, exceedance
// percentages, the percentiles as class centres without interpolation, the smoothed
// percentiles and the severity formula. 0 with *pst written, or -1 with *pst untouched when
// pinst or pst is null, count is 0, a value or the severity is not finite, or the
// classifier block (about 200 kB) cannot be allocated.
int PstLmStatistics(const double* pinst, uint32_t count, double* pst);

// The flickermeter on sampleCount volts sampled at sampleFreq Hz. 0 on success with
// *result written; -1 with *result untouched when samples or result is null, the rate is
// below 2000 Hz or not accepted by PstLmRateSupported, sampleCount exceeds kPstMaxSamples or is
// not above 20 s of samples, the mean of the samples is not a positive finite number, Pinst
// or the severity is not finite (samples far beyond any sensor range, e.g. large values of
// both signs around a mean near 0), or the working storage (one double per sample after
// settling and a classifier block of about 200 kB) cannot be allocated.
int PstLmCompute(const float* samples, uint32_t sampleCount, uint32_t sampleFreq,
                 PstResult* result);
