#include "files/record_contents.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace {

template <typename T>
void CopyPrefix(const std::vector<T>& from, std::vector<T>& to) {
  std::copy_n(from.begin(), std::min(from.size(), to.size()), to.begin());
}

}  // namespace

bool SameRecordSizes(const FlickerRecord& a, const FlickerRecord& b) {
  if (a.sampleCount != b.sampleCount || a.sampleFreq != b.sampleFreq ||
      a.bufferLen != b.bufferLen || a.volts.size() != b.volts.size() ||
      a.firOut.size() != b.firOut.size()) {
    return false;
  }
  if (!a.spectrum != !b.spectrum || !a.fir != !b.fir) return false;
  if (a.spectrum && (a.spectrum->fftSize != b.spectrum->fftSize ||
                     a.spectrum->frequency.size() != b.spectrum->frequency.size() ||
                     a.spectrum->amplitude.size() != b.spectrum->amplitude.size())) {
    return false;
  }
  return !a.fir || (a.fir->taps == b.fir->taps && a.fir->cutoffHz == b.fir->cutoffHz);
}

FlickerRecordPtr MakeRecordLike(const FlickerRecord& r) {
  const uint32_t taps = r.fir ? r.fir->taps : 100;
  double cutoff = r.fir ? std::round(r.fir->cutoffHz) : 1000.0;
  cutoff = std::clamp(cutoff, 0.0, 4294967295.0);
  FlickerRecordPtr made =
      MakeFlickerRecord(r.sampleCount, r.sampleFreq, taps, static_cast<uint32_t>(cutoff), 1);
  if (made && made->bufferLen != r.bufferLen) {
    FlickerRecordPtr exact =
        MakeFlickerRecord(r.sampleCount, r.sampleFreq, taps, static_cast<uint32_t>(cutoff), 0);
    if (exact && exact->bufferLen == r.bufferLen) made = std::move(exact);
  }
  return made;
}

void ReplaceRecordContents(FlickerRecord& kept, FlickerRecordPtr fresh) {
  if (!fresh || fresh.get() == &kept) return;
  std::swap(kept, *fresh);
}

void CopyKeptContents(const FlickerRecord& from, FlickerRecord* to) {
  if (!to || to == &from) return;
  to->sampleCount = from.sampleCount;
  to->sampleFreq = from.sampleFreq;
  to->frequency = from.frequency;
  to->rmsRatio = from.rmsRatio;
  to->rmsDb = from.rmsDb;
  to->jeitaRatio = from.jeitaRatio;
  to->jeitaDb = from.jeitaDb;
  to->vesaDb = from.vesaDb;
  to->fma = from.fma;
  to->vesaRatio = from.vesaRatio;
  to->contrast = from.contrast;
  to->contrastDb = from.contrastDb;
  to->minVolts = from.minVolts;
  to->maxVolts = from.maxVolts;
  to->percentFlicker = from.percentFlicker;
  to->flickerIndex = from.flickerIndex;
  to->average = from.average;
  to->svm = from.svm;
  to->acDcRatio = from.acDcRatio;
  CopyPrefix(from.volts, to->volts);
  CopyPrefix(from.firOut, to->firOut);
  if (from.spectrum && to->spectrum) {
    CopyPrefix(from.spectrum->frequency, to->spectrum->frequency);
    CopyPrefix(from.spectrum->amplitude, to->spectrum->amplitude);
  }
}
