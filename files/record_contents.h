// Copying and replacing the contents of flicker records for the measurement store.
#pragma once

#include "analysis/record.h"

// True when a and b have the same geometry: sample count, sampling frequency, buffer
// lengths, FFT length and spectrum arrays, FIR taps and cut-off. Copying between such
// records needs no resizing, and the copy can be analysed again like the original.
bool SameRecordSizes(const FlickerRecord& a, const FlickerRecord& b);

// A new record of r's geometry (sample count, frequency, FIR taps and cut-off, buffer
// length where the creation rules can reproduce it); null when it cannot be created.
FlickerRecordPtr MakeRecordLike(const FlickerRecord& r);

// Moves fresh's contents into kept, which stays at its address (pointers to it held
// elsewhere stay valid); kept's former contents are released with fresh.
void ReplaceRecordContents(FlickerRecord& kept, FlickerRecordPtr fresh);

// What the store keeps of an analysed record: sampleCount, sampleFreq, frequency and the
// result figures, the volts and firOut buffers and the spectrum's frequency and amplitude
// arrays. Buffers are copied up to the shorter of the two lengths.
void CopyKeptContents(const FlickerRecord& from, FlickerRecord* to);
