// Assessment of a measurement against three flicker rules: whether the lamp passes, not only
// what its figures are.
//
//   IEEE 1789-2015 recommended practice: the modulation Mod% = 100 (max - min) / (max + min)
//     (the record's percentFlicker x 100) at the fundamental frequency f against two limit
//     lines. Low risk: Mod% < 0.025 f below 90 Hz, Mod% < 0.08 f from 90 to 1250 Hz, no limit
//     above 1250 Hz. No observable effect: Mod% < 0.01 f below 90 Hz, Mod% < 0.0333 f from 90
//     to 3000 Hz, no limit above 3000 Hz. 90 Hz belongs to the upper band; 1250 and 3000 Hz
//     are the last frequencies of their bands. Verdict: no observable effect, low risk, or
//     above low risk.
//   EU Ecodesign 2019/2020 for LED and OLED mains light sources: PstLM <= 1.0, and
//     SVM <= 0.4 (the limit in force since September 2024; 0.9 before). Pass or fail.
//   California JA8 reduced flicker operation: the waveform reduced to its spectrum lines
//     below 200 Hz (lines at and above 200 Hz set to zero, transformed back) has a percent
//     flicker below 30 %. Pass or fail.
//
// A rule that the measurement cannot decide says "not assessed" with the reason. The
// reasons, checked in this order:
//   "no measurement"        no record, or a record that was never analysed (frequency 0);
//   "no fundamental"        the last analysis found no fundamental (frequency -1); IEEE and
//                           JA8 (whose window check needs it) and the SVM;
//   "no light"              IEEE: max + min not above 0 V; SVM: the DC line below 0.00001 V
//                           (where the SVM itself reads 0); JA8: max + min of the reduced
//                           waveform not above 0 V;
//   "sampled too slowly"    IEEE: a fundamental not below the Nyquist frequency; SVM: a
//                           sampling frequency not above 4000 Hz (the SVM weighs lines up to
//                           2000 Hz); JA8: not above 400 Hz (lines up to 200 Hz);
//   "capture too short"     the FFT window (fftSize / sampleFreq seconds) holds fewer than two
//                           periods of the lowest frequency the rule must resolve: the
//                           fundamental for IEEE and the SVM; for JA8 the lower of the
//                           fundamental and 100 Hz (the ripple of 50 Hz mains, the lowest
//                           line a mains lamp shows below 200 Hz);
//   "no PstLM run"          PstLM without a finished PstLM run on display (or the caller's
//                           own reason, e.g. a failed computation).
//
// Plain functions over a record; no exceptions, no logging. The JA8 reduction transforms the
// record's first fftSize volts again in a workspace of the caller's (the record keeps the
// analysis of its own run untouched): the workspace is allocated on first use and whenever
// the transform length changes, and reused otherwise, so repeated assessments of records of
// one size allocate nothing but the texts of the verdicts.
#pragma once

#include <array>
#include <limits>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/record.h"

enum class AssessmentRule {
  kIeee1789,        // IEEE 1789-2015, Mod% against the two limit lines
  kEcodesignPstLm,  // EU Ecodesign 2019/2020, PstLM <= 1.0
  kEcodesignSvm,    // EU Ecodesign 2019/2020, SVM <= 0.4
  kJa8,             // California JA8, reduced percent flicker < 30 %
};

enum class VerdictState {
  kPass,
  kFail,
  kNoObservableEffect,  // IEEE 1789 only
  kLowRisk,             // IEEE 1789 only
  kAboveLowRisk,        // IEEE 1789 only
  kNotAssessed,
};

// One rule as data.
struct RuleInfo {
  AssessmentRule rule;
  std::string_view id;        // key in the command line's JSON: "ieee1789", "ecodesignPstLM", ...
  std::string_view name;      // "IEEE 1789-2015", "EU Ecodesign 2019/2020", "California JA8"
  std::string_view quantity;  // "Mod%", "PstLM", "SVM", "reduced flicker" (percent flicker below 200 Hz)
  bool percent;               // value and limit are percentages
  double limit;               // the pass limit (IEEE: none, NaN; the lines are functions)
  bool limitInclusive;        // pass at the limit itself (<=) rather than below it (<)
  std::string_view note;      // shown after the limit; empty when none
};

// The four criteria, in AssessmentRule order.
std::span<const RuleInfo> AssessmentRules() noexcept;
const RuleInfo& RuleOf(AssessmentRule rule) noexcept;

inline constexpr double kNoLimit = std::numeric_limits<double>::infinity();
inline constexpr double kJa8CutoffHz = 200;  // lines at and above are removed

// IEEE 1789 limit lines: the Mod% (in %) a lamp flickering at f Hz must stay below. kNoLimit
// where the line ends (low risk above 1250 Hz, no observable effect above 3000 Hz); NaN for
// f not above 0 or not finite.
double Ieee1789LowRiskLimit(double f) noexcept;
double Ieee1789NoEffectLimit(double f) noexcept;
// The IEEE verdict of a modulation (in %) at f Hz (no check of f; see Ieee1789 limits).
VerdictState Ieee1789State(double modPercent, double f) noexcept;

// Corner points (Hz, Mod%) of a limit line for a log-log chart: straight between
// consecutive points, a vertical step at 90 Hz, from 1 Hz to the end of the line.
struct LimitPoint {
  double frequency;
  double mod;
};
std::array<LimitPoint, 4> Ieee1789LowRiskLine() noexcept;
std::array<LimitPoint, 4> Ieee1789NoEffectLine() noexcept;

// The transform state of the JA8 reduction, kept between calls by its owner: an engine of
// the record's transform length and two real sequences of that length.
struct SpectrumWorkspace {
  std::unique_ptr<SpectrumEngine> engine;
  std::vector<float> even, odd;
};

// Percent flicker (a ratio, (max - min) / (max + min)) of the record's first fftSize volts
// reduced to the spectrum lines below cutoffHz: the forward transform, every line at and
// above cutoffHz zeroed in both halves of the complex spectrum, the inverse transform over
// fftSize samples. -1 when the record has no spectrum, the workspace cannot be made, or the
// reduced waveform has max + min not above 0.
double ReducedPercentFlicker(const FlickerRecord& record, double cutoffHz, SpectrumWorkspace& workspace) noexcept;

// PstLM as the caller knows it: a value of a finished run, or why there is none.
struct PstLmFigure {
  bool available = false;
  double value = 0;
  std::string missing = "no PstLM run";  // reason shown when not available

  static PstLmFigure Of(double value) { return {true, value, {}}; }
  static PstLmFigure None(std::string reason = "no PstLM run") { return {false, 0, std::move(reason)}; }
};

struct Verdict {
  AssessmentRule rule = AssessmentRule::kIeee1789;
  VerdictState state = VerdictState::kNotAssessed;
  double value = std::numeric_limits<double>::quiet_NaN();  // measured; NaN when not measured
  // The limit that decides pass / fail; for IEEE the low-risk limit at the fundamental.
  // kNoLimit where the line ends, NaN when not assessed (IEEE).
  double limit = std::numeric_limits<double>::quiet_NaN();
  // IEEE only: the no-observable-effect limit at the fundamental (kNoLimit above 3000 Hz).
  double noEffectLimit = std::numeric_limits<double>::quiet_NaN();
  double frequency = std::numeric_limits<double>::quiet_NaN();  // IEEE: the fundamental, Hz
  std::string reason;  // why not assessed; empty otherwise
};

struct Assessment {
  std::array<Verdict, 4> verdicts;  // in AssessmentRule order
  const Verdict& Of(AssessmentRule rule) const { return verdicts[static_cast<std::size_t>(rule)]; }
};

// Every rule on the record (null: all "no measurement"). pst: the PstLM of a finished run on
// display.
Assessment AssessRecord(const FlickerRecord* record, const PstLmFigure& pst, SpectrumWorkspace& workspace);

// "pass", "fail", "no observable effect", "low risk", "above low risk", "not assessed".
std::string_view VerdictStateText(VerdictState state) noexcept;
// True for the states a lamp may have: pass, no observable effect, low risk.
bool VerdictAcceptable(VerdictState state) noexcept;

// Short texts of a verdict; numbers with decimalSep. Value: "30.0000 % at 100 Hz" (IEEE),
// "0.4213" (PstLM), "25.46 %" (JA8); "-" when not measured. Limit: "< 8 % low risk, < 3.33 %
// no observable effect" (IEEE; "no limit" where a line ends), "<= 0.4 (since September 2024;
// 0.9 before)", "< 30 %".
std::string VerdictValueText(const Verdict& verdict, char decimalSep = '.');
std::string VerdictLimitText(const Verdict& verdict, char decimalSep = '.');
// The state, with the reason when not assessed: "not assessed (no PstLM run)".
std::string VerdictStateLine(const Verdict& verdict);
// One line: "<rule> <quantity>: <value>; limit <limit>: <state>".
std::string VerdictText(const Verdict& verdict, char decimalSep = '.');
