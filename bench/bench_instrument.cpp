// Host time of captures through the simulated instrument at time scale 0 (the instrument
// answers at once, so what is measured is the host's protocol work and the simulator's
// sample generation): the PstLM capture of 737280 samples and a continuous-capture record.
#include <benchmark/benchmark.h>

#include <string>

#include "analysis/acquisition.h"
#include "analysis/record.h"
#include "instrument/capture.h"
#include "instrument/protocol.h"
#include "instrument/registry.h"
#include "instrument/sim/sim_driver.h"

namespace {

// Opens one simulated instrument; returns its channel, or -1.
int OpenSim(std::shared_ptr<SimDriver>* sim) {
  std::string error;
  *sim = SimDriver::FromJson(R"({"timeScale": 0, "instruments": [{"model": "TR7A",
      "light": {"waveform": "sine", "frequency": 100, "modulation": 0.3, "level": 0.5}}]})", &error);
  if (!*sim) return -1;
  UsbSetDriver(*sim);
  SpInit(0, 0);
  Rescan();
  SpDevicePtr dev = SpFirstDevice();
  return dev ? SpChannelOf(dev->name) : -1;
}

void Close(int channel, FlickerRecord* record) {
  if (SpDevicePtr dev = SpDeviceOnChannel(channel)) FlickerAcqDetach(&dev->flickerAcq, record);
  SpShutdown();
  UsbSetDriver(nullptr);
}

void Capture(benchmark::State& state, uint32_t count, uint32_t freq, uint16_t autoRange) {
  std::shared_ptr<SimDriver> sim;
  const int channel = OpenSim(&sim);
  FlickerRecordPtr record = MakeFlickerRecord(count, freq, 100, 1000);
  if (channel < 0 || !record) {
    state.SkipWithError("no simulated instrument");
    return;
  }
  for (auto _ : state) {
    if (!SpCaptureFlicker(channel, autoRange, 0, record.get())) state.SkipWithError("capture failed");
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * 2 * record->bufferLen);
  state.counters["samples"] = double(record->bufferLen);
  Close(channel, record.get());
}

void BM_CapturePstLM(benchmark::State& state) { Capture(state, 737280, 4096, 0); }
void BM_CapturePstLMAutoRange(benchmark::State& state) { Capture(state, 737280, 4096, 1); }
void BM_CaptureContinuous(benchmark::State& state) { Capture(state, 16384, 32768, 1); }

}  // namespace

BENCHMARK(BM_CapturePstLM)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CapturePstLMAutoRange)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CaptureContinuous)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
