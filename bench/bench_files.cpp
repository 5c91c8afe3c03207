// Save and load of the PstLM-sized measurement: 737280 samples at 4096 Hz and 368640
// spectrum rows, about 22 MB of text. Rates are MB/s of file text; the file benchmarks are
// timed on the wall clock, as they include the file system.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>

#include "analysis/record.h"
#include "files/flktank.h"
#include "files/load_save.h"
#include "files/measurement_text.h"

namespace {

FlickerRecordPtr PstRecord() {
  FlickerRecordPtr r = MakeFlickerRecord(737280, 4096, 100, 1000);
  for (uint32_t i = 0; i < r->sampleCount; ++i) {
    r->volts[i] = 1.0f + 0.2f * static_cast<float>(std::sin(2 * M_PI * 8.8 * i / 4096.0)) +
                  0.01f * static_cast<float>(std::sin(2 * M_PI * 100.0 * i / 4096.0));
  }
  FlickerRun(r.get(), 0, 0);
  return r;
}

const FlickerRecord& Record() {
  static FlickerRecordPtr r = PstRecord();
  return *r;
}

std::filesystem::path TempFile() {
  return std::filesystem::temp_directory_path() /
         ("quivra-bench-files-" + std::to_string(::getpid()) + ".xls");
}

void BM_Compose(benchmark::State& state) {
  std::string text;
  for (auto _ : state) {
    ComposeMeasurementText(Record(), {"TR7BQ", "SIM00001", "2020/07/31_14:05:09"}, &text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_Compose)->Unit(benchmark::kMillisecond);

// Compose and write the file with one write (what the Save button costs).
void BM_Save(benchmark::State& state) {
  const std::filesystem::path path = TempFile();
  for (auto _ : state) {
    if (!WriteMeasurementFile(Record(), "TR7BQ", "SIM00001", "2020/07/31_14:05:09", path)) {
      state.SkipWithError("cannot write");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
  std::filesystem::remove(path);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->UseRealTime();

// Read the file with one read, check the header and read the samples into a record.
void BM_Load(benchmark::State& state) {
  const std::filesystem::path path = TempFile();
  WriteMeasurementFile(Record(), "TR7BQ", "SIM00001", "2020/07/31_14:05:09", path);
  FlickerRecordPtr into = MakeFlickerRecord(737280, 4096, 100, 1000);
  std::string bytes;
  for (auto _ : state) {
    FileHeader header;
    if (!ReadMeasurementBuffer(path, &bytes) || !ParseHeader(bytes, &header) ||
        LoadSamplesInto(into.get(), bytes) != header.sampleCount) {
      state.SkipWithError("cannot load");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes.size()));
  std::filesystem::remove(path);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole Load button path: the above plus making the record and analysing it.
void BM_LoadAndAnalyse(benchmark::State& state) {
  const std::filesystem::path path = TempFile();
  WriteMeasurementFile(Record(), "TR7BQ", "SIM00001", "2020/07/31_14:05:09", path);
  TFlkTankMgr store;
  for (auto _ : state) {
    if (LoadMeasurementFile(store, path).status != LoadStatus::Loaded) {
      state.SkipWithError("cannot load");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(std::filesystem::file_size(path)));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadAndAnalyse)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
