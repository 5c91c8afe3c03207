#include "analysis/assessment.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

#include "analysis/numfmt.h"
#include "analysis/spectrum.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr std::array<RuleInfo, 4> kRules = {{
    {AssessmentRule::kIeee1789, "ieee1789", "IEEE 1789-2015", "Mod%", true, kNaN, false, ""},
    {AssessmentRule::kEcodesignPstLm, "ecodesignPstLM", "EU Ecodesign 2019/2020", "PstLM", false, 1.0, true, ""},
    {AssessmentRule::kEcodesignSvm, "ecodesignSvm", "EU Ecodesign 2019/2020", "SVM", false, 0.4, true,
     "since September 2024; 0.9 before"},
    {AssessmentRule::kJa8, "ja8", "California JA8", "reduced flicker", true, 30.0, false, ""},
}};

// Band edges of the IEEE lines, Hz.
constexpr double kIeeeLowBandEnd = 90;       // below: the steeper low-frequency slopes
constexpr double kIeeeLowRiskEnd = 1250;     // last frequency with a low-risk limit
constexpr double kIeeeNoEffectEnd = 3000;    // last frequency with a no-observable-effect limit
constexpr double kSvmTopHz = 2000;           // highest line the SVM weighs
constexpr double kJa8LowestHz = 100;         // lowest line JA8 must resolve when the fundamental is higher
constexpr double kSvmNoLight = 0.00001;      // DC line (V) below which the SVM reads 0
constexpr double kWindowPeriods = 2;         // periods the FFT window must hold

// The window length in periods of f.
double PeriodsInWindow(const FlickerRecord& r, double f) {
  return static_cast<double>(r.spectrum->fftSize) / r.sampleFreq * f;
}

std::string Number(double value, const char* pattern, char sep) { return FormatPattern(value, pattern, sep); }

std::string TooShort(const FlickerRecord& r, double f) {
  const double seconds = static_cast<double>(r.spectrum->fftSize) / r.sampleFreq;
  return "capture too short: " + Number(seconds, "0.#####", '.') + " s holds fewer than two periods of " +
         Number(f, "0.#####", '.') + " Hz";
}

// The checks every rule shares; empty when the record can be assessed at all.
std::string MeasurementMissing(const FlickerRecord* r) {
  if (r == nullptr || !r->spectrum || r->spectrum->fftSize == 0 || r->sampleFreq == 0 || r->frequency == 0.0f)
    return "no measurement";
  return {};
}

Verdict NotAssessed(AssessmentRule rule, std::string reason) {
  Verdict v;
  v.rule = rule;
  v.state = VerdictState::kNotAssessed;
  v.reason = std::move(reason);
  if (rule != AssessmentRule::kIeee1789) v.limit = RuleOf(rule).limit;
  return v;
}

// A value against its rule's limit. A single-precision figure is compared with the limit in
// single precision, so that an SVM shown as 0.4000 is at the limit, not above it.
Verdict Limited(AssessmentRule rule, double value, bool singlePrecision = false) {
  const RuleInfo& info = RuleOf(rule);
  Verdict v;
  v.rule = rule;
  v.value = value;
  v.limit = info.limit;
  const double limit = singlePrecision ? static_cast<double>(static_cast<float>(info.limit)) : info.limit;
  const bool pass = info.limitInclusive ? value <= limit : value < limit;
  v.state = pass ? VerdictState::kPass : VerdictState::kFail;
  return v;
}

Verdict AssessIeee(const FlickerRecord* r) {
  const AssessmentRule rule = AssessmentRule::kIeee1789;
  if (std::string why = MeasurementMissing(r); !why.empty()) return NotAssessed(rule, why);
  const double f = r->frequency;
  if (!(f > 0)) return NotAssessed(rule, "no fundamental");
  if (!(static_cast<double>(r->maxVolts) + r->minVolts > 0)) return NotAssessed(rule, "no light");
  if (f >= r->sampleFreq / 2.0) return NotAssessed(rule, "sampled too slowly: the fundamental is not below the Nyquist frequency");
  if (PeriodsInWindow(*r, f) < kWindowPeriods) return NotAssessed(rule, TooShort(*r, f));
  Verdict v;
  v.rule = rule;
  v.frequency = f;
  v.value = static_cast<double>(r->percentFlicker) * 100.0;
  v.limit = Ieee1789LowRiskLimit(f);
  v.noEffectLimit = Ieee1789NoEffectLimit(f);
  v.state = Ieee1789State(v.value, f);
  return v;
}

Verdict AssessPst(const PstLmFigure& pst) {
  if (!pst.available) return NotAssessed(AssessmentRule::kEcodesignPstLm, pst.missing.empty() ? "no PstLM run" : pst.missing);
  if (!std::isfinite(pst.value)) return NotAssessed(AssessmentRule::kEcodesignPstLm, "no PstLM value");
  return Limited(AssessmentRule::kEcodesignPstLm, pst.value);
}

Verdict AssessSvm(const FlickerRecord* r) {
  const AssessmentRule rule = AssessmentRule::kEcodesignSvm;
  if (std::string why = MeasurementMissing(r); !why.empty()) return NotAssessed(rule, why);
  const double f = r->frequency;
  if (!(f > 0)) return NotAssessed(rule, "no fundamental");
  if (!(r->spectrum->amplitude[0] >= kSvmNoLight)) return NotAssessed(rule, "no light");
  if (!(r->sampleFreq > 2 * kSvmTopHz)) return NotAssessed(rule, "sampled too slowly: the SVM needs sampling above 4000 Hz");
  if (PeriodsInWindow(*r, f) < kWindowPeriods) return NotAssessed(rule, TooShort(*r, f));
  return Limited(rule, r->svm, true);
}

Verdict AssessJa8(const FlickerRecord* r, SpectrumWorkspace& workspace) {
  const AssessmentRule rule = AssessmentRule::kJa8;
  if (std::string why = MeasurementMissing(r); !why.empty()) return NotAssessed(rule, why);
  const double f = r->frequency;
  if (!(f > 0)) return NotAssessed(rule, "no fundamental");
  if (!(r->sampleFreq > 2 * kJa8CutoffHz)) return NotAssessed(rule, "sampled too slowly: lines up to 200 Hz need sampling above 400 Hz");
  const double lowest = std::min(f, kJa8LowestHz);
  if (PeriodsInWindow(*r, lowest) < kWindowPeriods) return NotAssessed(rule, TooShort(*r, lowest));
  const double reduced = ReducedPercentFlicker(*r, kJa8CutoffHz, workspace);
  if (reduced < 0) return NotAssessed(rule, "no light");
  return Limited(rule, reduced * 100.0);
}

// The engine and the two sequences for the record's transform length and rate; false when
// they cannot be made.
bool PrepareWorkspace(const FlickerRecord& r, SpectrumWorkspace& w) {
  const uint32_t size = r.spectrum->fftSize;
  if (!w.engine || w.engine->fftSize != size) {
    w.engine = SpectrumCreate(size);
    if (!w.engine) return false;
  }
  if (w.engine->sampleFreq != r.sampleFreq) SpectrumSetFrequency(*w.engine, r.sampleFreq);
  try {
    w.even.resize(size);
    w.odd.resize(size);
  } catch (const std::bad_alloc&) {
    w.engine.reset();
    return false;
  }
  return true;
}

}  // namespace

std::span<const RuleInfo> AssessmentRules() noexcept { return kRules; }

const RuleInfo& RuleOf(AssessmentRule rule) noexcept { return kRules[static_cast<std::size_t>(rule)]; }

double Ieee1789LowRiskLimit(double f) noexcept {
  if (!(f > 0) || !std::isfinite(f)) return kNaN;
  if (f < kIeeeLowBandEnd) return 0.025 * f;
  if (f <= kIeeeLowRiskEnd) return 0.08 * f;
  return kNoLimit;
}

double Ieee1789NoEffectLimit(double f) noexcept {
  if (!(f > 0) || !std::isfinite(f)) return kNaN;
  if (f < kIeeeLowBandEnd) return 0.01 * f;
  if (f <= kIeeeNoEffectEnd) return 0.0333 * f;
  return kNoLimit;
}

VerdictState Ieee1789State(double modPercent, double f) noexcept {
  if (modPercent < Ieee1789NoEffectLimit(f)) return VerdictState::kNoObservableEffect;
  if (modPercent < Ieee1789LowRiskLimit(f)) return VerdictState::kLowRisk;
  return VerdictState::kAboveLowRisk;
}

std::array<LimitPoint, 4> Ieee1789LowRiskLine() noexcept {
  return {{{1, 0.025}, {kIeeeLowBandEnd, 0.025 * kIeeeLowBandEnd}, {kIeeeLowBandEnd, 0.08 * kIeeeLowBandEnd},
           {kIeeeLowRiskEnd, 0.08 * kIeeeLowRiskEnd}}};
}

std::array<LimitPoint, 4> Ieee1789NoEffectLine() noexcept {
  return {{{1, 0.01}, {kIeeeLowBandEnd, 0.01 * kIeeeLowBandEnd}, {kIeeeLowBandEnd, 0.0333 * kIeeeLowBandEnd},
           {kIeeeNoEffectEnd, 0.0333 * kIeeeNoEffectEnd}}};
}

double ReducedPercentFlicker(const FlickerRecord& record, double cutoffHz, SpectrumWorkspace& workspace) noexcept {
  if (!record.spectrum || record.spectrum->fftSize < 2 || record.volts.size() < record.spectrum->fftSize) return -1;
  if (!PrepareWorkspace(record, workspace)) return -1;
  SpectrumEngine& s = *workspace.engine;
  const uint32_t n = s.fftSize;
  float* a = workspace.even.data();
  float* b = workspace.odd.data();
  SpectrumTransform(s, record.volts.data());
  // The kept lines: k below the first line at or above the cut-off, and their mirrors
  // n - k; everything between goes.
  uint32_t keep = 1;
  while (keep <= n / 2 && static_cast<double>(s.frequency[keep]) < cutoffHz) ++keep;
  // The inverse transform of the Hermitian spectrum X by forward transforms of real
  // sequences: with conj(X) = A + jB (A, B real), N x = DFT(conj X) = DFT(A) + j DFT(B), and
  // x being real, N x[i] = Re DFT(A)[i] - Im DFT(B)[i].
  for (uint32_t k = 0; k < n; ++k) {
    const bool kept = k < keep || k > n - keep;
    a[k] = kept ? s.re[k] : 0.0f;
    b[k] = kept ? -s.im[k] : 0.0f;
  }
  SpectrumTransform(s, a);
  std::copy(s.re.begin(), s.re.end(), a);
  SpectrumTransform(s, b);
  float lo = a[0] - s.im[0];
  float hi = lo;
  for (uint32_t i = 1; i < n; ++i) {
    const float v = a[i] - s.im[i];
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  const double scale = 1.0 / n;
  const double max = hi * scale;
  const double min = lo * scale;
  if (!(max + min > 0)) return -1;
  return (max - min) / (max + min);
}

Assessment AssessRecord(const FlickerRecord* record, const PstLmFigure& pst, SpectrumWorkspace& workspace) {
  Assessment a;
  a.verdicts[0] = AssessIeee(record);
  a.verdicts[1] = AssessPst(pst);
  a.verdicts[2] = AssessSvm(record);
  a.verdicts[3] = AssessJa8(record, workspace);
  return a;
}

std::string_view VerdictStateText(VerdictState state) noexcept {
  switch (state) {
    case VerdictState::kPass: return "pass";
    case VerdictState::kFail: return "fail";
    case VerdictState::kNoObservableEffect: return "no observable effect";
    case VerdictState::kLowRisk: return "low risk";
    case VerdictState::kAboveLowRisk: return "above low risk";
    case VerdictState::kNotAssessed: break;
  }
  return "not assessed";
}

bool VerdictAcceptable(VerdictState state) noexcept {
  return state == VerdictState::kPass || state == VerdictState::kNoObservableEffect || state == VerdictState::kLowRisk;
}

std::string VerdictValueText(const Verdict& v, char sep) {
  if (!std::isfinite(v.value)) return "-";
  const RuleInfo& info = RuleOf(v.rule);
  std::string text = info.percent ? FormatByMagnitude(static_cast<float>(v.value), sep) + " %"
                                  : Number(v.value, "0.0000", sep);
  if (v.rule == AssessmentRule::kIeee1789 && std::isfinite(v.frequency))
    text += " at " + Number(v.frequency, "0.#####", sep) + " Hz";
  return text;
}

std::string VerdictLimitText(const Verdict& v, char sep) {
  const RuleInfo& info = RuleOf(v.rule);
  const auto bound = [&](double limit, const char* op) {
    return std::string(op) + " " + Number(limit, "0.#####", sep) + (info.percent ? " %" : "");
  };
  if (v.rule == AssessmentRule::kIeee1789) {
    if (std::isnan(v.limit)) return "< 0.025 f (0.08 f from 90 Hz) low risk, < 0.01 f (0.0333 f) no observable effect";
    if (v.noEffectLimit == kNoLimit) return "no limits above 3000 Hz";
    const std::string noEffect = bound(v.noEffectLimit, "<") + " no observable effect";
    if (v.limit == kNoLimit) return "no low-risk limit, " + noEffect;
    return bound(v.limit, "<") + " low risk, " + noEffect;
  }
  std::string text = bound(info.limit, info.limitInclusive ? "<=" : "<");
  if (!info.note.empty()) text += " (" + std::string(info.note) + ")";
  return text;
}

std::string VerdictStateLine(const Verdict& v) {
  std::string text(VerdictStateText(v.state));
  if (v.state == VerdictState::kNotAssessed && !v.reason.empty()) text += " (" + v.reason + ")";
  return text;
}

std::string VerdictText(const Verdict& v, char sep) {
  const RuleInfo& info = RuleOf(v.rule);
  return std::string(info.name) + " " + std::string(info.quantity) + ": " + VerdictValueText(v, sep) + "; limit " +
         VerdictLimitText(v, sep) + ": " + VerdictStateLine(v);
}
