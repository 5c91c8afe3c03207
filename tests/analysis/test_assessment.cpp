// The standards assessment: IEEE 1789 limit lines at their band edges, the Ecodesign and JA8
// limits on both sides, the JA8 reduction and every "not assessed" reason.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <string>

#include "allocation_probe.h"
#include "analysis/assessment.h"
#include "analysis/record.h"
#include "signals.h"

namespace {

// 4096 samples at 12800 Hz: lines 3.125 Hz apart, 100 Hz on line 32 with 128 samples per
// period, so a 100 Hz square has exactly 64 samples high and 64 low.
constexpr uint32_t kCount = 4096;
constexpr uint32_t kRate = 12800;

FlickerRecordPtr Analysed(uint32_t count, uint32_t rate, const std::function<void(FlickerRecord&)>& fill) {
  FlickerRecordPtr r = MakeFlickerRecord(count, rate, 100, 1000);
  fill(*r);
  FlickerRun(r.get(), 0, 0);
  return r;
}

FlickerRecordPtr Sine(double f, double amplitude, uint32_t count = kCount, uint32_t rate = kRate) {
  return Analysed(count, rate, [&](FlickerRecord& r) { FillSine(r, f, amplitude, 1.0); });
}

// A square of frequency f and modulation m = (max - min) / (max + min) around 1 V.
FlickerRecordPtr Square(double f, float m) {
  return Analysed(kCount, kRate, [&](FlickerRecord& r) { FillSquare(r, f, 1.0f - m, 1.0f + m, 0.0f, 1); });
}

Assessment Assess(const FlickerRecord* r, const PstLmFigure& pst = PstLmFigure::None()) {
  SpectrumWorkspace workspace;
  return AssessRecord(r, pst, workspace);
}

TEST(Ieee1789, LimitLinesAtTheirBandEdges) {
  const struct {
    double f, lowRisk, noEffect;
  } cases[] = {
      {1, 0.025, 0.01},
      {89.9, 0.025 * 89.9, 0.01 * 89.9},      // below 90 Hz: the steep lines
      {90, 7.2, 0.0333 * 90},                 // 90 Hz opens the upper band
      {1250, 100, 0.0333 * 1250},             // the last frequency with a low-risk limit
      {1250.1, kNoLimit, 0.0333 * 1250.1},
      {3000, kNoLimit, 0.0333 * 3000},        // the last with a no-observable-effect limit
      {3000.1, kNoLimit, kNoLimit},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.f);
    EXPECT_DOUBLE_EQ(Ieee1789LowRiskLimit(c.f), c.lowRisk);
    EXPECT_DOUBLE_EQ(Ieee1789NoEffectLimit(c.f), c.noEffect);
    // Both sides of each line; a modulation at a limit is beyond it.
    const double below = 0.999;
    if (c.noEffect != kNoLimit) {
      EXPECT_EQ(Ieee1789State(c.noEffect * below, c.f), VerdictState::kNoObservableEffect);
      EXPECT_EQ(Ieee1789State(c.noEffect, c.f), VerdictState::kLowRisk);
    } else {
      EXPECT_EQ(Ieee1789State(100, c.f), VerdictState::kNoObservableEffect);
    }
    if (c.lowRisk != kNoLimit) {
      EXPECT_EQ(Ieee1789State(c.lowRisk * below, c.f), VerdictState::kLowRisk);
      EXPECT_EQ(Ieee1789State(c.lowRisk, c.f), VerdictState::kAboveLowRisk);
    } else {
      EXPECT_NE(Ieee1789State(100, c.f), VerdictState::kAboveLowRisk);
    }
  }
  EXPECT_TRUE(std::isnan(Ieee1789LowRiskLimit(0)));
  EXPECT_TRUE(std::isnan(Ieee1789NoEffectLimit(-1)));
}

TEST(Ieee1789, ChartLinesFollowTheLimitFunctions) {
  const struct {
    std::array<LimitPoint, 4> line;
    double (*limit)(double) noexcept;
    double lowSlope, end;
  } lines[] = {{Ieee1789LowRiskLine(), Ieee1789LowRiskLimit, 0.025, 1250},
               {Ieee1789NoEffectLine(), Ieee1789NoEffectLimit, 0.01, 3000}};
  for (const auto& l : lines) {
    // From 1 Hz up the steep line to 90 Hz, a step there, the upper line to its end.
    EXPECT_EQ(l.line[0].frequency, 1);
    EXPECT_DOUBLE_EQ(l.line[0].mod, l.limit(1));
    EXPECT_EQ(l.line[1].frequency, 90);
    EXPECT_DOUBLE_EQ(l.line[1].mod, l.lowSlope * 90);
    EXPECT_EQ(l.line[2].frequency, 90);
    EXPECT_DOUBLE_EQ(l.line[2].mod, l.limit(90));
    EXPECT_EQ(l.line[3].frequency, l.end);
    EXPECT_DOUBLE_EQ(l.line[3].mod, l.limit(l.end));
  }
}

// Sines of 100 Hz around 1 V: Mod% is the amplitude in percent and the SVM about
// amplitude / T(100) = amplitude / 0.2563.
TEST(AssessRecord, EveryRuleOnBothSidesOfItsLimit) {
  using S = VerdictState;
  const struct {
    double amplitude;
    VerdictState ieee, svm, ja8;
  } cases[] = {
      {0.02, S::kNoObservableEffect, S::kPass, S::kPass},  // 2 % < 3.33 %
      {0.05, S::kLowRisk, S::kPass, S::kPass},             // 3.33 % <= 5 % < 8 %
      {0.10, S::kAboveLowRisk, S::kPass, S::kPass},        // SVM 0.39
      {0.11, S::kAboveLowRisk, S::kFail, S::kPass},        // SVM 0.43
      {0.35, S::kAboveLowRisk, S::kFail, S::kFail},        // 35 % below 200 Hz
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.amplitude);
    FlickerRecordPtr r = Sine(100, c.amplitude);
    const Assessment a = Assess(r.get());
    const Verdict& ieee = a.Of(AssessmentRule::kIeee1789);
    EXPECT_EQ(ieee.state, c.ieee);
    EXPECT_DOUBLE_EQ(ieee.value, r->percentFlicker * 100.0);
    EXPECT_NEAR(ieee.value, c.amplitude * 100, 0.01);
    EXPECT_EQ(ieee.frequency, 100);
    EXPECT_DOUBLE_EQ(ieee.limit, 8);
    EXPECT_DOUBLE_EQ(ieee.noEffectLimit, 3.33);
    EXPECT_EQ(a.Of(AssessmentRule::kEcodesignSvm).state, c.svm);
    EXPECT_NEAR(a.Of(AssessmentRule::kEcodesignSvm).value, c.amplitude / 0.25627533, 0.002);
    EXPECT_EQ(a.Of(AssessmentRule::kJa8).state, c.ja8);
    EXPECT_NEAR(a.Of(AssessmentRule::kJa8).value, c.amplitude * 100, 0.01);
  }
}

TEST(AssessRecord, LimitsAreInclusiveOnlyWhereTheRuleSaysSo) {
  FlickerRecordPtr r = Sine(100, 0.1);
  // The SVM as the panel shows it, 0.4000, is at the limit: a pass.
  r->svm = 0.4f;
  EXPECT_EQ(Assess(r.get()).Of(AssessmentRule::kEcodesignSvm).state, VerdictState::kPass);
  r->svm = 0.40001f;
  EXPECT_EQ(Assess(r.get()).Of(AssessmentRule::kEcodesignSvm).state, VerdictState::kFail);

  const struct {
    PstLmFigure pst;
    VerdictState state;
    std::string reason;
  } cases[] = {
      {PstLmFigure::Of(0.42), VerdictState::kPass, ""},
      {PstLmFigure::Of(1.0), VerdictState::kPass, ""},
      {PstLmFigure::Of(1.0001), VerdictState::kFail, ""},
      {PstLmFigure::None(), VerdictState::kNotAssessed, "no PstLM run"},
      {PstLmFigure::None("PstLM could not be computed"), VerdictState::kNotAssessed, "PstLM could not be computed"},
  };
  for (const auto& c : cases) {
    const Verdict v = Assess(r.get(), c.pst).Of(AssessmentRule::kEcodesignPstLm);
    EXPECT_EQ(v.state, c.state) << c.pst.value;
    EXPECT_EQ(v.reason, c.reason);
    EXPECT_EQ(v.limit, 1.0);
  }
}

TEST(AssessRecord, NotAssessedWhereTheMeasurementCannotDecide) {
  FlickerRecordPtr fresh = MakeFlickerRecord(kCount, kRate, 100, 1000);
  FlickerRecordPtr nyquist = Sine(100, 0.1);
  nyquist->frequency = kRate / 2.0f;
  const struct {
    const char* name;
    FlickerRecordPtr record;
    const char *ieee, *svm, *ja8;  // reason the rule gives; "" = assessed
  } cases[] = {
      {"no record", nullptr, "no measurement", "no measurement", "no measurement"},
      {"never analysed", std::move(fresh), "no measurement", "no measurement", "no measurement"},
      {"two samples", Analysed(2, kRate, [](FlickerRecord& r) { FillSine(r, 100, 0.1, 1); }), "no fundamental",
       "no fundamental", "no fundamental"},
      {"dark", Analysed(kCount, kRate, [](FlickerRecord&) {}), "no light", "no light", "no light"},
      {"4000 Hz", Sine(100, 0.1, 4096, 4000), "", "sampled too slowly", ""},
      {"400 Hz", Sine(50, 0.1, 1024, 400), "", "sampled too slowly", "sampled too slowly"},
      {"fundamental at Nyquist", std::move(nyquist), "sampled too slowly", "", ""},
      // 10 ms: ten periods of 1000 Hz, one of the 100 Hz JA8 must resolve.
      {"10 ms", Sine(1000, 0.1, 1024, 102400), "", "", "capture too short: 0.01 s holds fewer than two periods of 100 Hz"},
      // 31 ms of 20 Hz: the fundamental lands on the first line, one period of the window.
      {"31 ms", Sine(20, 0.1, 1024, 32768), "capture too short", "capture too short", "capture too short"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Assessment a = Assess(c.record.get());
    const std::pair<AssessmentRule, const char*> expected[] = {
        {AssessmentRule::kIeee1789, c.ieee}, {AssessmentRule::kEcodesignSvm, c.svm}, {AssessmentRule::kJa8, c.ja8}};
    for (const auto& [rule, reason] : expected) {
      const Verdict& v = a.Of(rule);
      SCOPED_TRACE(std::string(RuleOf(rule).quantity));
      if (*reason == 0) {
        EXPECT_NE(v.state, VerdictState::kNotAssessed) << v.reason;
        EXPECT_TRUE(std::isfinite(v.value));
      } else {
        EXPECT_EQ(v.state, VerdictState::kNotAssessed);
        EXPECT_EQ(v.reason.rfind(reason, 0), 0u) << v.reason;
        EXPECT_TRUE(std::isnan(v.value));
      }
    }
  }
}

// The harmonics of a 100 Hz square lie at 300 Hz and up: the reduced waveform is the
// fundamental alone, of amplitude 4/pi times the square's, so its percent flicker is 4/pi m.
// The sampled square (128 samples a period) has a fundamental (pi/128) / sin(pi/128) =
// 1.0001 times that of the continuous one: the tolerance is 5e-4 of the value.
TEST(Ja8, SquareWaveReducesToItsFundamental) {
  for (const float m : {0.2f, 0.25f}) {
    SCOPED_TRACE(m);
    FlickerRecordPtr r = Square(100, m);
    EXPECT_FLOAT_EQ(r->percentFlicker, m);
    SpectrumWorkspace workspace;
    const double expected = 4 / M_PI * m;
    EXPECT_NEAR(ReducedPercentFlicker(*r, kJa8CutoffHz, workspace), expected, 5e-4 * expected);
    const Verdict v = Assess(r.get()).Of(AssessmentRule::kJa8);
    EXPECT_NEAR(v.value, expected * 100, 0.05 * expected);
    EXPECT_EQ(v.state, expected < 0.3 ? VerdictState::kPass : VerdictState::kFail);  // 25.5 % and 31.8 %
  }
}

TEST(Ja8, LinesAtAndAbove200HzAreRemovedInBothHalves) {
  const struct {
    double f, reduced;
  } cases[] = {
      {196.875, 0.5},  // line 63: kept
      {200, 0},        // line 64: the first one removed
      {500, 0},
  };
  SpectrumWorkspace workspace;
  for (const auto& c : cases) {
    FlickerRecordPtr r = Sine(c.f, 0.5);
    EXPECT_NEAR(ReducedPercentFlicker(*r, kJa8CutoffHz, workspace), c.reduced, 1e-4) << c.f;
  }
  // Nothing removed: the inverse gives the window back, with its percent flicker.
  FlickerRecordPtr noisy = Analysed(kCount, kRate, [](FlickerRecord& r) { FillSquare(r, 130, 0.6f, 1.3f, 0.05f, 7); });
  EXPECT_NEAR(ReducedPercentFlicker(*noisy, 1e9, workspace), noisy->percentFlicker, 5e-6);
}

TEST(Ja8, ReusedWorkspaceAllocatesNothing) {
  FlickerRecordPtr r = Square(100, 0.2f);
  SpectrumWorkspace workspace;
  const double first = ReducedPercentFlicker(*r, kJa8CutoffHz, workspace);
  AllocationProbe probe;
  EXPECT_EQ(ReducedPercentFlicker(*r, kJa8CutoffHz, workspace), first);
  EXPECT_EQ(probe.allocations(), 0);
}

TEST(VerdictText, NamesRuleValueLimitAndState) {
  FlickerRecordPtr r = Sine(100, 0.3);
  const Assessment a = Assess(r.get(), PstLmFigure::Of(0.42134));
  EXPECT_EQ(VerdictText(a.Of(AssessmentRule::kIeee1789)),
            "IEEE 1789-2015 Mod%: 30.00 % at 100 Hz; limit < 8 % low risk, < 3.33 % no observable effect: above low risk");
  EXPECT_EQ(VerdictText(a.Of(AssessmentRule::kEcodesignPstLm), ','),
            "EU Ecodesign 2019/2020 PstLM: 0,4213; limit <= 1: pass");
  EXPECT_EQ(VerdictLimitText(a.Of(AssessmentRule::kEcodesignSvm)), "<= 0.4 (since September 2024; 0.9 before)");
  EXPECT_EQ(VerdictLimitText(a.Of(AssessmentRule::kJa8)), "< 30 %");
  const Assessment none = Assess(nullptr);
  EXPECT_EQ(VerdictText(none.Of(AssessmentRule::kJa8)),
            "California JA8 reduced flicker: -; limit < 30 %: not assessed (no measurement)");
  FlickerRecordPtr high = Sine(2000, 0.3);
  EXPECT_EQ(VerdictLimitText(Assess(high.get()).Of(AssessmentRule::kIeee1789)),
            "no low-risk limit, < 66.6 % no observable effect");
}

}  // namespace
