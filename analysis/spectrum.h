// The radix-2 amplitude spectrum of a record and the search for its fundamental.
//
// The transform takes the first fftSize samples as they are: no window, no removal of the
// mean, no padding. Bin 0 therefore carries the DC level; bin i of a sine of amplitude A
// at i * binHz shows A.
#pragma once

#include <cstdint>
#include <memory>

#include "analysis/record.h"

// Twiddle constant of the tables (a double slightly below 2 pi).
inline constexpr double kSpectrumTwoPi = 6.2831852;

// Transform length for a requested sample count: the largest power of two not above it
// (1 for 0 and 1).
uint32_t SpectrumLength(uint32_t sampleCount) noexcept;

// Builds the engine for sampleCount samples (tables included); null when an allocation
// fails. The sampling frequency is 0 until SpectrumSetFrequency.
std::unique_ptr<SpectrumEngine> SpectrumCreate(uint32_t sampleCount) noexcept;

// Stores the sampling frequency (Hz), binHz = sampleFreq / N and the frequency axis.
void SpectrumSetFrequency(SpectrumEngine& spectrum, uint32_t sampleFreq) noexcept;

// Arithmetic of the butterflies. Each butterfly result is rounded to float as soon as it is
// computed; kDouble (the program's) evaluates the butterfly in double and runs vectorised,
// kExtended in long double one butterfly at a time, as the reference.
enum class TransformPrecision { kDouble, kExtended };

// Forward transform (kernel e^(-j 2 pi n k / N)) of x[0 .. N-1] into re/im and the
// single-sided amplitude spectrum: amplitude[0] = |X0| / N, amplitude[i] = 2 |Xi| / N below
// N/2, 0 from N/2 on.
void SpectrumTransform(SpectrumEngine& spectrum, const float* x,
                       TransformPrecision precision = TransformPrecision::kDouble) noexcept;

// Fundamental of the record's spectrum: frequency, peakBin (-1 when there is none),
// acDcRatio (kept when the DC line is 0), windowPeriods and windowPeriodSamples.
void SpectrumFindFundamental(FlickerRecord& record) noexcept;
