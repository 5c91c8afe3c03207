// JEITA eye-response weighting and the weighted level spectrum from 0 to 60 Hz, with the
// JEITA and VESA figures of a record.
#pragma once

#include <cstdint>
#include <memory>

#include "analysis/record.h"

inline constexpr float kJeitaUnset = -1.0e20f;        // start of the search for the highest level
inline constexpr double kJeitaRmsFactor = 0.70710678;  // amplitude to RMS
inline constexpr double kVesaDbOffset = 3.01029995;   // VESA level = JEITA level + this (dB)
inline constexpr double kVesaRatioFactor = 1.41421356;  // VESA ratio = JEITA ratio * this

// Eye-response weight of a flicker frequency f (Hz): 1 up to 20 Hz, linear between the
// points 20, 30, 40, 50, 60 Hz (1, 0.708, 0.501, 0.251, 0.01), 0 above 60 Hz.
float JeitaWeight(float f) noexcept;

// Lines covered for a spectrum: trunc(60 / binHz + 1), limited to the lines the spectrum
// has (N/2) and at least 1.
uint32_t JeitaBinCount(const SpectrumEngine& spectrum) noexcept;

// Level spectrum for the given engine; both arrays start at 0 dB. Null when an allocation
// fails.
std::unique_ptr<JeitaSpectrum> JeitaCreate(const SpectrumEngine& spectrum) noexcept;

// Weighted levels of lines 1 .. binCount-1 and the record's jeitaDb, jeitaRatio, vesaDb,
// vesaRatio from the line with the highest positive level (the first of equal lines).
// A line without a positive level copies the level before it for the chart and never
// counts as the highest. A zero DC line leaves the levels, peakBin and the figures as they
// were; when no line has a positive level, peakBin is 0, both ratios are 0 and the dB
// figures are the flat level of the chart.
void JeitaStep(FlickerRecord& record) noexcept;
