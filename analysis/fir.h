// Windowed-sinc low-pass FIR filter with a Hann window, computed in double precision.
#pragma once

#include <cstdint>
#include <memory>

#include "analysis/record.h"

// Filter with room for taps coefficients (both arrays hold taps rounded up to a multiple of
// 1024, at least 1024); type 0 (low-pass), window 4 (Hann); null when an allocation fails.
std::unique_ptr<FirFilter> FirCreate(uint32_t taps) noexcept;

// Hann window value of coefficient i (0 <= i < taps). The end points are not zero; an odd
// tap count has exactly 1 in the middle.
double FirHannWindow(uint32_t taps, uint32_t i) noexcept;

// Designs the coefficients from cutoffHz and sampleFreq: normalizedCutoff = cutoffHz /
// (sampleFreq / 2), h[i] = a sinc(a (i - M) pi) times the window, M = (taps - 1) / 2. The
// coefficients are not renormalised.
void FirDesign(FirFilter& fir) noexcept;

// Filters n samples of in into out, starting from a cleared delay line:
// out[k] = sum over j of h[j] * in[k - j] (in[k - j] = 0 before the start), summed in double
// in the order j = 0 .. taps-1 and stored as float. in and out must not overlap.
void FirApply(FirFilter& fir, const float* in, float* out, uint32_t n) noexcept;
