// Speed of the analysis engine. Figures are quoted, never asserted.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analysis/fir.h"
#include "analysis/numfmt.h"
#include "analysis/record.h"
#include "analysis/spectrum.h"
#include "analysis/svm.h"

namespace {

// With --benchmark_repetitions the fastest repetition is reported too: on a shared machine
// it is the figure least disturbed by other work.
double Fastest(const std::vector<double>& times) { return *std::min_element(times.begin(), times.end()); }

// A lamp flickering at 8.8 Hz and 100 Hz on 2 V, with sensor noise, over the whole buffer.
FlickerRecordPtr MakeLamp(uint32_t sampleCount, uint32_t sampleFreq) {
  FlickerRecordPtr r = MakeFlickerRecord(sampleCount, sampleFreq, 100, 1000);
  std::mt19937 generator(42);
  std::normal_distribution<float> noise(0.0f, 0.005f);
  for (uint32_t i = 0; i < r->bufferLen; ++i) {
    const double t = static_cast<double>(i) / sampleFreq;
    r->volts[i] = static_cast<float>(2.0 + 0.3 * std::sin(2 * M_PI * 8.8 * t) +
                                     0.1 * std::sin(2 * M_PI * 100 * t)) + noise(generator);
  }
  return r;
}

// FlickerRun on the record sizes the program analyses. Arguments: sample count, sampling
// frequency, FIR switch. The samples are restored before every run (outside the timing)
// because a run with the filter on replaces them.
void BM_FlickerRun(benchmark::State& state) {
  const auto count = static_cast<uint32_t>(state.range(0));
  const auto rate = static_cast<uint32_t>(state.range(1));
  const auto fir = static_cast<uint32_t>(state.range(2));
  FlickerRecordPtr r = MakeLamp(count, rate);
  const std::vector<float> captured = r->volts;
  for (auto _ : state) {
    state.PauseTiming();
    r->volts = captured;
    state.ResumeTiming();
    FlickerRun(r.get(), 0, fir);
    benchmark::DoNotOptimize(r->svm);
  }
  state.SetLabel(std::to_string(count) + " @ " + std::to_string(rate) + " Hz, FIR " + (fir ? "on" : "off"));
}
BENCHMARK(BM_FlickerRun)
    ->ComputeStatistics("min", Fastest)
    ->Args({16384, 32768, 0})
    ->Args({16384, 32768, 1})
    ->Args({65536, 102400, 0})
    ->Args({65536, 102400, 1})
    ->Args({737280, 4096, 1})
    ->Unit(benchmark::kMillisecond);

// The transform alone (bit reversal, butterflies, amplitudes). Argument: sample count.
void BM_Transform(benchmark::State& state) {
  FlickerRecordPtr r = MakeLamp(static_cast<uint32_t>(state.range(0)), 4096);
  for (auto _ : state) {
    SpectrumTransform(*r->spectrum, r->volts.data());
    benchmark::DoNotOptimize(r->spectrum->amplitude.data());
  }
}
BENCHMARK(BM_Transform)
    ->ComputeStatistics("min", Fastest)
    ->Arg(16384)
    ->Arg(65536)
    ->Arg(524288)
    ->Unit(benchmark::kMicrosecond);

// The same butterflies one at a time in long double: the reference arithmetic.
void BM_TransformExtended(benchmark::State& state) {
  FlickerRecordPtr r = MakeLamp(static_cast<uint32_t>(state.range(0)), 4096);
  for (auto _ : state) {
    SpectrumTransform(*r->spectrum, r->volts.data(), TransformPrecision::kExtended);
    benchmark::DoNotOptimize(r->spectrum->amplitude.data());
  }
}
BENCHMARK(BM_TransformExtended)
    ->ComputeStatistics("min", Fastest)
    ->Arg(16384)
    ->Arg(65536)
    ->Arg(524288)
    ->Unit(benchmark::kMicrosecond);

// FFTW's single-precision plans of the same length: the complex plan (the transform computed
// here is complex, with a zero imaginary input) and, for comparison, the real-input plan.
// Arguments: length, 1 for the real-input plan.
void BM_Fftw(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const bool realInput = state.range(1) != 0;
  float* in = fftwf_alloc_real(2 * static_cast<std::size_t>(n));
  fftwf_complex* out = fftwf_alloc_complex(n);
  fftwf_plan plan = realInput
                        ? fftwf_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE)
                        : fftwf_plan_dft_1d(n, reinterpret_cast<fftwf_complex*>(in), out, FFTW_FORWARD,
                                            FFTW_MEASURE);
  for (int i = 0; i < n; ++i) {
    const auto value = static_cast<float>(2.0 + 0.3 * std::sin(i * 0.01));
    if (realInput) {
      in[i] = value;
    } else {
      in[2 * i] = value;
      in[2 * i + 1] = 0.0f;
    }
  }
  for (auto _ : state) {
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(in);
  fftwf_free(out);
  state.SetLabel(realInput ? "real input" : "complex");
}
BENCHMARK(BM_Fftw)
    ->ComputeStatistics("min", Fastest)
    ->ArgsProduct({{16384, 65536, 524288}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// The SVM step on the PstLM record (524288-point spectrum, 256000 lines from 1 to 2000 Hz):
// the program's search, where each line starts from the previous line's index, against the
// plain scan from the first point of the curve for every line. Both must give the same
// measure to the bit, or the benchmark reports an error.
void SvmStep(benchmark::State& state, CurveSearch search) {
  static FlickerRecordPtr r = [] {
    FlickerRecordPtr record = MakeLamp(737280, 4096);
    FlickerRun(record.get(), 0, 1);
    return record;
  }();
  const float program = SvmOfSpectrum(*r->spectrum, *r->svmCurve, CurveSearch::kFast);
  const float linear = SvmOfSpectrum(*r->spectrum, *r->svmCurve, CurveSearch::kLinear);
  if (std::memcmp(&program, &linear, sizeof program) != 0) {
    state.SkipWithError("the two searches give different measures");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(SvmOfSpectrum(*r->spectrum, *r->svmCurve, search));
  state.SetLabel("svm " + std::to_string(program));
}
void BM_SvmStep(benchmark::State& state) { SvmStep(state, CurveSearch::kFast); }
void BM_SvmStepLinearScan(benchmark::State& state) { SvmStep(state, CurveSearch::kLinear); }
BENCHMARK(BM_SvmStep)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SvmStepLinearScan)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

// The curve searches alone over the same 256000 line frequencies, which the step does
// between its power functions.
std::vector<float> SvmLineFrequencies() {
  auto spectrum = SpectrumCreate(737280);
  SpectrumSetFrequency(*spectrum, 4096);
  std::vector<float> lines;
  for (uint32_t i = 0; i < spectrum->fftSize / 2; ++i) {
    const float f = spectrum->frequency[i];
    if (f >= 1.0f && f <= 2000.0f) lines.push_back(f);
  }
  return lines;
}

void BM_SvmSearch(benchmark::State& state) {
  const std::vector<float> lines = SvmLineFrequencies();
  const WeightCurve& curve = SvmThresholdCurve();
  for (auto _ : state) {
    int k = 0;
    int64_t sum = 0;
    for (float f : lines) {
      k = CurveLookup(curve, f, k);
      sum += k;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}
void BM_SvmSearchLinearScan(benchmark::State& state) {
  const std::vector<float> lines = SvmLineFrequencies();
  const WeightCurve& curve = SvmThresholdCurve();
  for (auto _ : state) {
    int64_t sum = 0;
    for (float f : lines) sum += CurveLookupLinear(curve, f, 0);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(lines.size()));
}
BENCHMARK(BM_SvmSearch)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SvmSearchLinearScan)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

// The FIR filter over the PstLM buffer (739328 samples, 100 taps).
void BM_FirApply(benchmark::State& state) {
  FlickerRecordPtr r = MakeLamp(737280, 4096);
  for (auto _ : state) {
    FirApply(*r->fir, r->volts.data(), r->firOut.data(), r->bufferLen);
    benchmark::DoNotOptimize(r->firOut.data());
  }
  state.SetItemsProcessed(state.iterations() * r->bufferLen);
}
BENCHMARK(BM_FirApply)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

// "0.000000" text of the 1.5 million values of a PstLM measurement file: the bulk writer,
// the general pattern formatter and the C library's "%.6f" (which rounds exact halves to
// even, so it is not a drop-in replacement).
std::vector<float> FileValues() {
  FlickerRecordPtr r = MakeLamp(737280, 4096);
  std::vector<float> values(r->volts.begin(), r->volts.begin() + 737280);
  values.insert(values.end(), values.begin(), values.end());
  return values;
}

void BM_FormatFixed6(benchmark::State& state) {
  const std::vector<float> values = FileValues();
  char text[64];
  for (auto _ : state) {
    std::size_t total = 0;
    for (float v : values) total += FormatFixed6(v, text);
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
void BM_FormatPatternFixed6(benchmark::State& state) {
  const std::vector<float> values = FileValues();
  for (auto _ : state) {
    std::size_t total = 0;
    for (float v : values) total += FormatPattern(v, "0.000000").size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
void BM_SnprintfFixed6(benchmark::State& state) {
  const std::vector<float> values = FileValues();
  char text[64];
  for (auto _ : state) {
    std::size_t total = 0;
    for (float v : values) total += static_cast<std::size_t>(std::snprintf(text, sizeof text, "%.6f", v));
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(values.size()));
}
BENCHMARK(BM_FormatFixed6)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatPatternFixed6)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnprintfFixed6)
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
