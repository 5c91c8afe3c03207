// The workbench's redraw of one capture and its load while capturing continuously.
//
//   BM_Redraw/samples:N/painted:0  ShowCharts + ShowParams of an analysed N-sample record
//   BM_Redraw/samples:N/painted:1  the same followed by painting the three charts and the box
//   BM_Assessment/samples:N/painted:P  ShowAssessment of the same record (the three rules, the
//                        JA8 reduction's two transforms, the verdict texts and the chart point),
//                        with P = 1 the assessment page's chart and verdicts painted after it
//   BM_ContinuousCapture the frame capturing at the start options (16384 samples at
//                        32768 Hz) from the simulated instrument in real time for 10 s:
//                        counters cpu_percent (process CPU time / wall time), captures,
//                        ui_max_ms (longest pick-up tick on the UI thread: take the
//                        record, analyse, draw, keep)
// Run offscreen: QT_QPA_PLATFORM=offscreen bench_gui
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <chrono>
#include <cmath>
#include <ctime>

#include "instrument/registry.h"
#include "instrument/sim/sim_driver.h"
#include "instrument/usb_driver.h"
#include "ui/ui_services.h"
#include "workbench/flicker_frame.h"

namespace {

QApplication& App() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("QUIVRA_UPDATE_SERVER", "off");
    static int argc = 1;
    static char name[] = "bench_gui";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// An analysed record of n samples: a 100 Hz ripple of 30 % on 2 V with a little noise.
FlickerRecordPtr Record(uint32_t n) {
  const uint32_t fs = n > 65536 ? 4096 : 32768;
  FlickerRecordPtr r = MakeFlickerRecord(n, fs, 100, 1000, 1);
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < r->bufferLen; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const float noise = ((seed >> 8) / 16777216.0f - 0.5f) * 0.01f;
    r->volts[i] = 2.0f + 0.6f * std::sin(2.0f * 3.14159265f * 100.0f * i / fs) + noise;
  }
  FlickerRun(r.get(), 0, 0);
  return r;
}

TfFlicker& Frame() {
  static TfFlicker* frame = [] {
    App();
    auto* f = new TfFlicker("Quivra 1.0.3.3");
    f->resize(1024, 736);
    f->show();
    QCoreApplication::processEvents();
    return f;
  }();
  return *frame;
}

// Arguments: sample count, and 1 to paint the three charts and the box after each redraw.
void BM_Redraw(benchmark::State& state) {
  TfFlicker& frame = Frame();
  FlickerRecordPtr record = Record(static_cast<uint32_t>(state.range(0)));
  const bool paint = state.range(1) != 0;
  frame.edtHighFreq->setText(QString::number(record->sampleFreq / 2));
  frame.ClampHighFreq(*record);
  for (auto _ : state) {
    frame.ShowCharts(*record);
    frame.ShowParams(record.get());
    if (!paint) continue;
    frame.Chart1->viewport()->repaint();
    frame.Chart_normal->viewport()->repaint();
    frame.Chart_jeita->viewport()->repaint();
    frame.sgDataView->repaint();
  }
}
BENCHMARK(BM_Redraw)
    ->ArgNames({"samples", "painted"})
    ->ArgsProduct({{16384, 65536, 737280}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_Assessment(benchmark::State& state) {
  TfFlicker& frame = Frame();
  FlickerRecordPtr record = Record(static_cast<uint32_t>(state.range(0)));
  const bool paint = state.range(1) != 0;
  frame.sPageControl1->setCurrentWidget(frame.tsAssessment);
  frame.ShowAssessment(record.get());  // the workspace is made once for the size
  for (auto _ : state) {
    frame.ShowAssessment(record.get());
    if (!paint) continue;
    frame.tsAssessment->repaint();
  }
}
BENCHMARK(BM_Assessment)
    ->ArgNames({"samples", "painted"})
    ->ArgsProduct({{16384, 65536, 737280}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void BM_ContinuousCapture(benchmark::State& state) {
  App();
  std::string error;
  auto driver = SimDriver::FromJson(R"({"timeScale": 1, "instruments": [{"model": "TR7A", "serial": "SIM00001",
      "light": {"waveform": "sine", "frequency": 100, "modulation": 0.3, "level": 0.5, "noise": 0.002}}]})",
                                    &error);
  UsbSetDriver(driver);
  SpInit(1, 300);
  RecordingUi ui;
  ui.AnswerButton(UiServices::Button::No);
  SetUi(&ui);
  for (auto _ : state) {
    TfFlicker frame("Quivra 1.0.3.3");
    frame.resize(1024, 736);
    frame.show();
    QDeadlineTimer listed(5000);
    while (SpDeviceCount() < 1 && !listed.hasExpired()) QThread::msleep(10);
    SpDevicePtr dev = SpFirstDevice();
    frame.SetDevice(dev, SpChannelOf(dev->name));
    frame.Timer1->stop();  // ticks are driven below so that each one can be timed
    frame.tmrPickup->stop();
    frame.sbtnCaptureClick();
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    double longest = 0;
    QDeadlineTimer run(10000);
    QDeadlineTimer tick(frame.tmrPickup->interval());
    while (!run.hasExpired()) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (tick.hasExpired()) {
        const auto t0 = std::chrono::steady_clock::now();
        frame.Timer1Timer();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        tick.setRemainingTime(frame.tmrPickup->interval());
      }
      QThread::msleep(5);
    }
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    state.counters["captures"] = static_cast<double>(frame.capturesShown);
    state.counters["ui_max_ms"] = longest;
    frame.sbtnCaptureClick();
  }
  SetUi(nullptr);
  SpShutdown();
  UsbSetDriver(nullptr);
}
BENCHMARK(BM_ContinuousCapture)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
