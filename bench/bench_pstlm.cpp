// PstLmCompute on the standard capture (737280 samples at 4096 Hz, 180 s) against the
// plain step-by-step form of the same computation, with the working memory each takes.
//
// Memory: every allocation of the process goes through the counting operators below; a
// computation's working memory is the peak of the bytes it held at once beyond what was
// held when it started. Reported as bytes and as doubles per sample.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <vector>

#include "analysis/pstlm.h"
#include "tests/analysis/pstlm_reference.h"

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

// Each block carries its size in a 16-byte header in front of it.
constexpr size_t kHeader = 16;

void* CountedAlloc(size_t size) {
  void* raw = std::malloc(size + kHeader);
  if (!raw) return nullptr;
  std::memcpy(raw, &size, sizeof size);
  const size_t now = liveBytes.fetch_add(size) + size;
  size_t peak = peakBytes.load();
  while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(raw) + kHeader;
}

void CountedFree(void* p) {
  if (!p) return;
  void* raw = static_cast<char*>(p) - kHeader;
  size_t size;
  std::memcpy(&size, raw, sizeof size);
  liveBytes.fetch_sub(size);
  std::free(raw);
}

// Peak working memory of one call of f, bytes.
template <typename F>
size_t WorkingBytes(F&& f) {
  const size_t before = liveBytes.load();
  peakBytes.store(before);
  f();
  return peakBytes.load() - before;
}

constexpr uint32_t kFs = 4096;
constexpr uint32_t kCount = 737280;

// A lamp with 100 Hz ripple, a slow 8.8 Hz modulation and sensor noise, around 1.2 V.
const std::vector<float>& StandardCapture() {
  static const std::vector<float> light = [] {
    std::vector<float> v(kCount);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0, 0.001);
    for (uint32_t i = 0; i < kCount; ++i) {
      const double t = static_cast<double>(i) / kFs;
      v[i] = static_cast<float>(1.2 * (1 + 0.1 * std::sin(6.283185307179586 * 100 * t) +
                                       0.004 * std::sin(6.283185307179586 * 8.8 * t) +
                                       noise(rng)));
    }
    return v;
  }();
  return light;
}

void Report(benchmark::State& state, size_t bytes, const PstResult& r) {
  state.counters["workBytes"] = static_cast<double>(bytes);
  state.counters["doublesPerSample"] = static_cast<double>(bytes) / 8.0 / kCount;
  state.counters["pst"] = r.pst;
  state.counters["pinstMax"] = r.pinstMax;
}

void BM_PstLmCompute(benchmark::State& state) {
  const auto& light = StandardCapture();
  PstResult r;
  for (auto _ : state) {
    if (PstLmCompute(light.data(), kCount, kFs, &r) != 0) state.SkipWithError("failed");
    benchmark::DoNotOptimize(r);
  }
  const size_t bytes = WorkingBytes([&] { PstLmCompute(light.data(), kCount, kFs, &r); });
  Report(state, bytes, r);
}
BENCHMARK(BM_PstLmCompute)->Unit(benchmark::kMillisecond);

// The plain form with arrays for the record's length, and as first written: nine
// zero-filled arrays of 10,240,000 doubles whatever the record's length.
void BM_PstLmPlainForm(benchmark::State& state) {
  const auto& light = StandardCapture();
  const uint32_t arrayLength = static_cast<uint32_t>(state.range(0));
  PstResult r;
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = WorkingBytes([&] {
      if (pstlm_reference::Compute(light.data(), kCount, kFs, &r, arrayLength) != 0) {
        state.SkipWithError("failed");
      }
    });
    benchmark::DoNotOptimize(r);
  }
  PstResult shipped;
  PstLmCompute(light.data(), kCount, kFs, &shipped);
  state.counters["sameBits"] = std::memcmp(&r, &shipped, sizeof r) == 0 ? 1 : 0;
  Report(state, bytes, r);
}
BENCHMARK(BM_PstLmPlainForm)
    ->Arg(0)
    ->Arg(kPstMaxSamples)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

// The parts: the Pinst chain (four filters, one pass) and the statistics of the tail.
void BM_PstLmPinst(benchmark::State& state) {
  const auto& light = StandardCapture();
  std::vector<double> pinst(kCount);
  for (auto _ : state) {
    PstLmPinst(light.data(), kCount, kFs, pinst.data());
    benchmark::DoNotOptimize(pinst.data());
  }
}
BENCHMARK(BM_PstLmPinst)->Unit(benchmark::kMillisecond);

// The statistics of the Pinst values after settling, by the shipped one-pass classification
// or by the plain scan of all class edges.
template <int (*Statistics)(const double*, uint32_t, double*)>
void BM_Statistics(benchmark::State& state) {
  const auto& light = StandardCapture();
  std::vector<double> pinst(kCount);
  PstLmPinst(light.data(), kCount, kFs, pinst.data());
  const uint32_t settle = kPstSettlingSeconds * kFs;
  double pst = 0;
  for (auto _ : state) {
    Statistics(pinst.data() + settle, kCount - settle, &pst);
    benchmark::DoNotOptimize(pst);
  }
}
BENCHMARK(BM_Statistics<PstLmStatistics>)->Name("BM_PstLmStatistics")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Statistics<pstlm_reference::Statistics>)
    ->Name("BM_PstLmStatisticsPlainForm")
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

void* operator new(size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) {
  if (void* p = CountedAlloc(size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return CountedAlloc(size); }
void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }

BENCHMARK_MAIN();
