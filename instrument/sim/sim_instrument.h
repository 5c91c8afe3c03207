// One simulated instrument: the device side of the request/reply protocol.
//
// It receives the host's writes (a request, or the data phase of a request that announced
// one in the host-to-instrument direction), carries out the command, and queues what the
// host then reads: the data phase first (as one transfer), then the 16-byte reply (as a
// second). A read never crosses from one transfer into the next, so a cut data phase shows
// as a short read. Each new request discards whatever the host left unread.
//
// Thread-safe: every operation takes the instrument's own lock once (never per sample).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "instrument/sim/light_model.h"
#include "instrument/sim/sim_config.h"
#include "instrument/usb_driver.h"

// Reply statuses besides 0x8000 (accepted).
constexpr uint16_t kSimStatusUnknownCommand = 0x0001;  // unknown code, or not in this instrument's protocol
constexpr uint16_t kSimStatusMalformed = 0x0002;       // bad magic, lengths that do not fit the command
constexpr uint16_t kSimStatusBadArgument = 0x0003;     // an argument out of range
constexpr uint16_t kSimStatusBusy = 0x0004;            // an operation is still running
constexpr uint16_t kSimStatusOutOfOrder = 0x0005;      // nothing to read yet (no capture, no file, no transfer)

// Limits of the commands' arguments.
constexpr uint32_t kSimMaxSampleFreq = 1000000;     // Hz
constexpr uint32_t kSimMaxCaptureSamples = 1u << 20;
constexpr uint32_t kSimMaxIntegrationTime = 60000;  // ms

// Busy times of the operations at timeScale 1 (a capture lasts sampleCount / sampleFreq,
// a measurement its integration time in ms).
constexpr double kSimDarkReferenceSeconds = 0.1;
constexpr double kSimPreparationSeconds = 0.1;
constexpr double kSimFileTransferStartSeconds = 0.005;
constexpr double kSimFileChunkSeconds = 0.001;

// Counters for tests.
struct SimCounters {
  std::map<uint16_t, uint64_t> requests;  // requests received per wire code (0 when unreadable)
  uint64_t totalRequests = 0;
  uint64_t refusals = 0;                   // replies with a status other than 0x8000
  uint16_t lastStatus = 0;                 // status of the last reply built
  std::vector<uint8_t> lastRequest;        // bytes of the last request (at most 256 kept)
  std::vector<uint8_t> lastWriteData;      // the last data phase the host wrote (at most 256 kept)
};

// What the desktop program's simulator window and tests see of an instrument.
struct SimInstrumentState {
  std::string serial;
  std::string identity;
  uint16_t modelCode = 0;
  std::string modelName;
  uint16_t protocolRevision = 0;
  SimLight light;
  double lux = 0;
  SimShutter shutter = SimShutter::kModel;
  bool hasShutter = false;   // SetShutter is accepted
  bool shutterOpen = true;   // the last SetShutter (open at start)
  bool lightSeen = true;     // the sensor sees the light (shutter open, or none, or stuck open)
  bool busy = false;
  std::size_t pendingFaults = 0;
  uint32_t openHandles = 0;  // filled in by the driver
};

class SimInstrument {
 public:
  explicit SimInstrument(const SimInstrumentConfig& config);
  SimInstrument(const SimInstrument&) = delete;
  SimInstrument& operator=(const SimInstrument&) = delete;

  // Fixed for the instrument's life.
  const std::string& Serial() const { return serial_; }
  const std::string& Identity() const { return identity_; }

  // Host writes `bytes` bytes. `*unplug` is set when an injected fault unplugs the
  // instrument in this transfer; the caller then unplugs it.
  UsbStatus Write(const uint8_t* data, uint32_t bytes, uint32_t* transferred, double timeScale, bool* unplug);
  // Host reads up to `bytes` bytes of the transfer at the head of the queue; waits up to
  // `wait` for something to read, then fails with kUsbTimeout.
  UsbStatus Read(uint8_t* data, uint32_t bytes, uint32_t* transferred, std::chrono::nanoseconds wait, bool* unplug);
  // After this every transfer fails with kUsbNoDevice; waiting reads return at once.
  void MarkUnplugged();

  void SetLight(const SimLight& light);
  void SetLux(double lux);
  void SetShutterModel(SimShutter shutter);
  void InjectFault(const SimFault& fault);
  void ClearFaults();
  SimInstrumentState State() const;
  SimCounters Counters() const;
  void ResetCounters();

 private:
  struct Request {
    bool headerValid = false;  // magic and lengths consistent
    uint32_t sequence = 0;
    uint32_t dataLength = 0;
    uint32_t requestLength = 0;
    uint32_t commandLength = 0;
    uint16_t code = 0;
    uint32_t args[9] = {};
  };
  // What the faults that fired on a request do to its answer.
  struct Effects {
    bool lostReply = false, wrongMagic = false, wrongSequence = false, stalledBusy = false;
    bool shortRead = false, unplug = false;
    bool refused = false;
    uint16_t refusalStatus = 0;
  };
  enum class Source { kOwned, kCapture, kZeros };
  struct Transfer {
    Source source = Source::kOwned;
    std::vector<uint8_t> bytes;  // kOwned
    uint32_t length = 0;
    uint32_t position = 0;
    uint32_t unplugAt = UINT32_MAX;  // the instrument is unplugged when the host reaches here
  };

  static Request ParseRequest(const uint8_t* data, uint32_t bytes);
  Effects TakeFaults(uint16_t code);
  void Answer(const Request& request, const Effects& effects, const std::vector<uint8_t>& written, double timeScale);
  uint16_t Execute(const Request& request, const Effects& effects, const std::vector<uint8_t>& written,
                   double timeScale, Transfer* data);
  bool Supported(uint16_t code) const;
  uint32_t ExpectedCommandLength(uint16_t code) const;
  bool Busy() const;
  void StartBusy(double seconds, double timeScale);
  bool HasShutter() const;
  bool LightSeen() const;
  void Measure(uint32_t integrationTime);
  const std::string* File() const;  // the selected file's contents, or null when it does not exist
  void Record(uint16_t status);

  const std::string serial_;
  const std::string identity_;

  mutable std::mutex mutex_;
  std::condition_variable readable_;
  SimInstrumentConfig config_;
  bool plugged_ = true;
  std::deque<Transfer> output_;
  // A request whose data phase the host is still writing.
  bool awaitingData_ = false;
  Request pending_;
  Effects pendingEffects_;
  uint32_t dataRemaining_ = 0;
  uint32_t dataReceived_ = 0;
  std::vector<uint8_t> written_;  // the first bytes of that data phase (at most 256)

  std::chrono::steady_clock::time_point busyUntil_{};
  bool shutterOpen_ = true;
  std::vector<SimFault> faults_;
  // Flicker capture.
  std::vector<uint8_t> capture_;  // 2 bytes per sample, little-endian
  uint32_t capturedCount_ = 0;
  double phase_ = 0.0;            // of the light, cycles; runs on from capture to capture
  SimNoise noise_;
  // Spectrum of the last measurement.
  SimSpectrum spectrum_;
  std::vector<uint16_t> pixels_;
  uint32_t integrationTime_ = 0;
  // File system.
  std::string selectedFile_;
  bool transferActive_ = false;
  uint32_t transferSize_ = 0;
  uint32_t transferPosition_ = 0;

  SimCounters counters_;
};
