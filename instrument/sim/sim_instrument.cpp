#include "instrument/sim/sim_instrument.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "instrument/wire.h"

using namespace wire;

namespace {

// Wire codes the instrument answers (Ping and GetProtocolRevision in every protocol; the
// others when the instrument's column of the command table has them).
constexpr uint16_t kReadDeviceInfo = 0x0002;
constexpr uint16_t kReadSpectrum = 0x0003;
constexpr uint16_t kReadConfig = 0x0005;
constexpr uint16_t kReadPixels = 0x0006;
constexpr uint16_t kStartMeasurementLegacy = 0x1001;
constexpr uint16_t kDarkReference = 0x1002;
constexpr uint16_t kGetStatus = 0x1003;
constexpr uint16_t kDarkReferenceAlt = 0x1004;
constexpr uint16_t kStartMeasurement = 0x1007;
constexpr uint16_t kFourAnglePrepare1 = 0x1008;
constexpr uint16_t kGetTransferChunk = 0x4000;
constexpr uint16_t kSelectFile = 0x4002;
constexpr uint16_t kGetFileInfo = 0x4010;
constexpr uint16_t kStartFileTransfer = 0x4011;
constexpr uint16_t kFileChunk = 0x4013;
constexpr uint16_t kEndFileTransfer = 0x4014;
constexpr uint16_t kSetShutter = 0x5010;
constexpr uint16_t kStartFlickerCapture = 0x6000;
constexpr uint16_t kReadFlickerSamples = 0x6001;
constexpr uint16_t kFourAnglePrepare2 = 0x6020;
constexpr uint16_t kReadGains = 0x0014;
constexpr uint16_t kReadMatrix = 0x0020;
constexpr uint16_t kGetMatrixIndex = 0x0022;
constexpr uint16_t kGetDarkVariant = 0x0024;

// Command length each command takes (the request is 24 bytes longer).
struct CommandShape {
  uint16_t code;
  uint32_t commandLength;
};
constexpr CommandShape kShapes[] = {
    {kCodePing, 2},          {kCodeGetProtocolRevision, 2}, {kReadDeviceInfo, 2},     {kReadSpectrum, 2},
    {kReadConfig, 2},        {kReadPixels, 2},              {kStartMeasurementLegacy, 16},
    {kDarkReference, 8},     {kGetStatus, 2},               {kDarkReferenceAlt, 8},   {kStartMeasurement, 40},
    {kFourAnglePrepare1, 16}, {kGetTransferChunk, 2},       {kSelectFile, 2},         {kGetFileInfo, 2},
    {kStartFileTransfer, 12}, {kFileChunk, 2},              {kEndFileTransfer, 2},    {kSetShutter, 24},
    {kStartFlickerCapture, 24}, {kReadFlickerSamples, 16},  {kFourAnglePrepare2, 16}, {kReadGains, 2},
    {kReadMatrix, 12},       {kGetMatrixIndex, 2},          {kGetDarkVariant, 2},
};

constexpr uint32_t kSelectFileBlock = 132;
constexpr std::size_t kKeptBytes = 256;
constexpr uint32_t kWrongMagic = kReplyMagic ^ 0xFF000000u;
constexpr uint16_t kDarkPixelCounts = 1000;

bool ValidCommandLength(uint32_t length) {
  return length == 2 || length == 8 || length == 12 || length == 16 || length == 24 || length == 32 || length == 40;
}

uint64_t SeedOf(const SimInstrumentConfig& config) {
  if (config.seed) return *config.seed;
  uint64_t hash = 14695981039346656037ull;  // FNV-1a of the serial
  for (unsigned char c : config.serial) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

void PutFloat(uint8_t* p, float v) { PutU32(p, std::bit_cast<uint32_t>(v)); }

}  // namespace

SimInstrument::SimInstrument(const SimInstrumentConfig& config)
    : serial_(config.serial),
      identity_(config.identity.empty() ? config.serial : config.identity),
      config_(config),
      noise_(SeedOf(config)) {
  if (config_.darkVariant < 0) config_.darkVariant = SimIsFourAngle(config_.modelCode) ? 1 : 0;
  if (config_.fourAngleFileAbsent)
    config_.fourAngleFile.reset();
  else if (!config_.fourAngleFile && SimIsFourAngle(config_.modelCode))
    config_.fourAngleFile = kSimFourAngleFileText;
  if (config_.spectrumPoints < 0) config_.spectrumPoints = config_.wavelengthEnd - config_.wavelengthStart + 1;
  spectrum_.values.assign(std::size_t(config_.spectrumPoints), 0.0f);
  pixels_.assign(config_.pixelCount, 0);
  faults_ = config_.faults;
}

// ---- transport ----

SimInstrument::Request SimInstrument::ParseRequest(const uint8_t* data, uint32_t bytes) {
  Request r;
  if (bytes >= 8) r.sequence = GetU32(data + kOffSequence);
  if (bytes < kRequestHeaderSize || GetU32(data + kOffMagic) != kRequestMagic) return r;
  r.dataLength = GetU32(data + kOffDataLength);
  r.requestLength = GetU32(data + kOffRequestLength);
  r.commandLength = GetU32(data + kOffCommandLength);
  if (bytes >= kRequestHeaderSize + 2) r.code = GetU16(data + kOffCode);
  for (uint32_t k = 0; k < 9; ++k) {
    const uint32_t at = uint32_t(kOffArgs) + 4 * k;
    if (at + 4 <= bytes) r.args[k] = GetU32(data + at);
  }
  r.headerValid = ValidCommandLength(r.commandLength) && r.requestLength == bytes &&
                  r.requestLength == kRequestHeaderSize + r.commandLength && bytes <= kMaxRequestSize;
  return r;
}

UsbStatus SimInstrument::Write(const uint8_t* data, uint32_t bytes, uint32_t* transferred, double timeScale,
                               bool* unplug) {
  *transferred = 0;
  *unplug = false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!plugged_) return kUsbNoDevice;
  if (bytes == 0) return kUsbOk;

  if (awaitingData_) {
    // The data phase of the pending request. An unplug fault lets half of it through.
    uint32_t take = std::min(bytes, dataRemaining_);
    if (pendingEffects_.unplug) {
      const uint32_t half = pending_.dataLength / 2;
      take = std::min(take, half > dataReceived_ ? half - dataReceived_ : 0);
    }
    for (uint32_t i = 0; i < take && written_.size() < kKeptBytes; ++i) written_.push_back(data[i]);
    dataRemaining_ -= take;
    dataReceived_ += take;
    *transferred = take;
    if (pendingEffects_.unplug && dataReceived_ >= pending_.dataLength / 2 && dataRemaining_ > 0) {
      awaitingData_ = false;
      *unplug = true;
      return kUsbNoDevice;
    }
    if (dataRemaining_ == 0) {
      awaitingData_ = false;
      counters_.lastWriteData = written_;
      Answer(pending_, pendingEffects_, written_, timeScale);
      lock.unlock();
      readable_.notify_all();
    }
    return kUsbOk;
  }

  // A new request: whatever the host left unread is stale now.
  output_.clear();
  *transferred = bytes;
  const Request request = ParseRequest(data, bytes);
  ++counters_.totalRequests;
  ++counters_.requests[request.code];
  counters_.lastRequest.assign(data, data + std::min<std::size_t>(bytes, kKeptBytes));
  const Effects effects = TakeFaults(request.code);

  if (request.code == kSelectFile && request.dataLength > 0 && request.requestLength >= kRequestHeaderSize) {
    awaitingData_ = true;
    pending_ = request;
    pendingEffects_ = effects;
    dataRemaining_ = request.dataLength;
    dataReceived_ = 0;
    written_.clear();
    return kUsbOk;
  }
  Answer(request, effects, {}, timeScale);
  lock.unlock();
  readable_.notify_all();
  return kUsbOk;
}

UsbStatus SimInstrument::Read(uint8_t* data, uint32_t bytes, uint32_t* transferred, std::chrono::nanoseconds wait,
                              bool* unplug) {
  *transferred = 0;
  *unplug = false;
  std::unique_lock<std::mutex> lock(mutex_);
  if (!plugged_) return kUsbNoDevice;
  if (bytes == 0) return kUsbOk;
  if (output_.empty() && wait > std::chrono::nanoseconds::zero())
    readable_.wait_for(lock, wait, [this] { return !output_.empty() || !plugged_; });
  if (!plugged_) return kUsbNoDevice;
  if (output_.empty()) return kUsbTimeout;

  Transfer& t = output_.front();
  const uint32_t end = std::min(t.length, t.unplugAt);
  const uint32_t n = std::min(bytes, end - t.position);
  // An empty transfer has no bytes to copy (and its vector may hold no storage at all).
  if (n > 0) {
    switch (t.source) {
      case Source::kOwned:
        std::memcpy(data, t.bytes.data() + t.position, n);
        break;
      case Source::kCapture:
        std::memcpy(data, capture_.data() + t.position, n);
        break;
      case Source::kZeros:
        std::memset(data, 0, n);
        break;
    }
  }
  t.position += n;
  *transferred = n;
  if (t.position == t.unplugAt) {
    output_.clear();
    *unplug = true;
    return kUsbNoDevice;
  }
  if (t.position >= t.length) output_.pop_front();
  return kUsbOk;
}

void SimInstrument::MarkUnplugged() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    plugged_ = false;
    output_.clear();
    awaitingData_ = false;
  }
  readable_.notify_all();
}

// ---- faults ----

SimInstrument::Effects SimInstrument::TakeFaults(uint16_t code) {
  Effects e;
  for (auto it = faults_.begin(); it != faults_.end();) {
    const bool applies = (it->code == 0 || it->code == code) &&
                         (it->kind != SimFaultKind::kStalledBusy || code == kGetStatus);
    if (!applies) {
      ++it;
      continue;
    }
    if (it->skip > 0) {
      --it->skip;
      ++it;
      continue;
    }
    switch (it->kind) {
      case SimFaultKind::kLostReply: e.lostReply = true; break;
      case SimFaultKind::kWrongMagic: e.wrongMagic = true; break;
      case SimFaultKind::kWrongSequence: e.wrongSequence = true; break;
      case SimFaultKind::kRefusedStatus:
        e.refused = true;
        e.refusalStatus = it->status;
        break;
      case SimFaultKind::kStalledBusy: e.stalledBusy = true; break;
      case SimFaultKind::kShortRead: e.shortRead = true; break;
      case SimFaultKind::kUnplug: e.unplug = true; break;
    }
    it = it->persistent ? it + 1 : faults_.erase(it);
  }
  return e;
}

// ---- answering ----

void SimInstrument::Answer(const Request& request, const Effects& effects, const std::vector<uint8_t>& written,
                           double timeScale) {
  // The data phase the header announces is honoured whatever the answer (zeros when the
  // command is refused), so that the host stays in step; only SelectFile writes.
  const bool readPhase = request.dataLength > 0 && request.code != kSelectFile;
  Transfer data;
  data.length = readPhase ? request.dataLength : 0;
  data.source = Source::kZeros;

  uint16_t status;
  if (effects.refused) {
    status = effects.refusalStatus;
  } else {
    Transfer produced;
    status = Execute(request, effects, written, timeScale, &produced);
    if (status == kStatusAccepted && readPhase) {
      produced.length = request.dataLength;
      data = std::move(produced);
    }
  }
  Record(status);

  Transfer reply;
  reply.bytes.assign(kReplySize, 0);
  PutU32(reply.bytes.data() + kOffMagic, effects.wrongMagic ? kWrongMagic : kReplyMagic);
  PutU32(reply.bytes.data() + kOffSequence, effects.wrongSequence ? request.sequence + 1 : request.sequence);
  PutU16(reply.bytes.data() + kOffReplyStatus, status);
  reply.length = uint32_t(kReplySize);

  if (readPhase) {
    if (effects.shortRead) data.length /= 2;
    if (effects.unplug) data.unplugAt = request.dataLength / 2;
  } else {
    if (effects.shortRead) reply.length = uint32_t(kReplySize / 2);
    if (effects.unplug) reply.unplugAt = 0;
  }
  if (readPhase) output_.push_back(std::move(data));
  if (!effects.lostReply) {
    output_.push_back(std::move(reply));
  } else if (!readPhase && effects.unplug) {
    Transfer marker;  // nothing to read but the unplug itself
    marker.unplugAt = 0;
    output_.push_back(std::move(marker));
  }
}

void SimInstrument::Record(uint16_t status) {
  counters_.lastStatus = status;
  if (status != kStatusAccepted) ++counters_.refusals;
}

bool SimInstrument::Supported(uint16_t code) const {
  if (code == kCodePing || code == kCodeGetProtocolRevision) return true;
  if (code == kNoCode || ExpectedCommandLength(code) == 0) return false;
  const int column = ProtocolColumn(config_.protocolRevision);
  for (int row = 0; row < kCommandRows; ++row)
    if (CommandCode(row, column) == code) return true;
  return false;
}

uint32_t SimInstrument::ExpectedCommandLength(uint16_t code) const {
  for (const CommandShape& s : kShapes)
    if (s.code == code) return s.commandLength;
  return 0;
}

bool SimInstrument::Busy() const { return std::chrono::steady_clock::now() < busyUntil_; }

void SimInstrument::StartBusy(double seconds, double timeScale) {
  const double scaled = seconds * timeScale;
  if (!(scaled > 0)) {
    busyUntil_ = {};
    return;
  }
  busyUntil_ = std::chrono::steady_clock::now() +
               std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(scaled));
}

bool SimInstrument::HasShutter() const {
  switch (config_.shutter) {
    case SimShutter::kModel: return SimModelOf(config_.modelCode).hasShutter;
    case SimShutter::kAbsent: return false;
    default: return true;
  }
}

bool SimInstrument::LightSeen() const {
  switch (config_.shutter) {
    case SimShutter::kModel:
    case SimShutter::kPresent: return !HasShutter() || shutterOpen_;
    case SimShutter::kAbsent:
    case SimShutter::kStuckOpen: return true;
    case SimShutter::kStuckClosed: return false;
  }
  return true;
}

const std::string* SimInstrument::File() const {
  if (config_.fourAngleFile && selectedFile_ == kSimFourAngleFileName) return &*config_.fourAngleFile;
  return nullptr;
}

void SimInstrument::Measure(uint32_t integrationTime) {
  integrationTime_ = integrationTime;
  const bool seen = LightSeen();
  const int32_t usable = config_.wavelengthEnd - config_.wavelengthStart + 1;
  spectrum_ = SimMakeSpectrum(config_.wavelengthStart, config_.spectrumPoints, usable, config_.lux, seen);
  // Raw pixel counts: a dark level plus the LED's shape over the sensor, growing with the
  // illuminance and the integration time until the pixels saturate.
  const uint32_t count = config_.pixelCount;
  pixels_.assign(count, kDarkPixelCounts);
  if (!seen || !(config_.lux > 0)) return;
  const double exposure = std::min(1.0, config_.lux * integrationTime / 200000.0);
  const double span = double(config_.wavelengthEnd - config_.wavelengthStart);
  for (uint32_t p = 0; p < count; ++p) {
    const double nm = config_.wavelengthStart + (count > 1 ? span * p / double(count - 1) : 0.0);
    const double c = kDarkPixelCounts + 60000.0 * exposure * SimWhiteLedShape(nm);
    pixels_[p] = uint16_t(std::clamp(c, 0.0, 65535.0));
  }
}

uint16_t SimInstrument::Execute(const Request& r, const Effects& effects, const std::vector<uint8_t>& written,
                                double timeScale, Transfer* out) {
  if (!r.headerValid) return kSimStatusMalformed;
  if (!Supported(r.code)) return kSimStatusUnknownCommand;
  // Firmware of a "TR7C" below 1.1.7 does not know the current start command.
  const auto& fw = config_.firmware;
  if (r.code == kStartMeasurement && config_.modelCode == 0xA5 && fw[0] * 10000 + fw[1] * 100 + fw[2] < 10107)
    return kSimStatusUnknownCommand;
  if (r.code == kSetShutter && !HasShutter()) return kSimStatusUnknownCommand;
  if (r.commandLength != ExpectedCommandLength(r.code)) return kSimStatusMalformed;

  // The data phase each command has; FileChunk's is the host's choice of chunk.
  uint64_t expected = 0;
  switch (r.code) {
    case kCodePing:
    case kCodeGetProtocolRevision:
    case kGetTransferChunk:
    case kGetMatrixIndex:
    case kGetDarkVariant: expected = 8; break;
    case kReadDeviceInfo: expected = 80; break;
    case kReadConfig: expected = 44; break;
    case kGetStatus:
    case kGetFileInfo: expected = 12; break;
    case kReadGains: expected = 52; break;
    case kReadMatrix: expected = 168; break;
    case kSelectFile: expected = kSelectFileBlock; break;
    case kReadSpectrum: expected = 4 * uint64_t(config_.spectrumPoints) + 16; break;
    case kReadPixels: expected = 2 * uint64_t(config_.pixelCount) + 4; break;
    case kReadFlickerSamples: expected = 2 * uint64_t(r.args[0]); break;
    case kFileChunk: expected = r.dataLength == 0 ? 1 : r.dataLength; break;
    default: expected = 0; break;
  }
  if (r.dataLength != expected) return kSimStatusMalformed;

  const auto block = [out](uint32_t size) {
    out->source = Source::kOwned;
    out->bytes.assign(size, 0);
    return out->bytes.data();
  };
  const uint32_t a1 = r.args[0], a2 = r.args[1], a3 = r.args[2];

  switch (r.code) {
    case kCodePing: {
      PutU32(block(8) + 4, 1);
      return kStatusAccepted;
    }
    case kCodeGetProtocolRevision: {
      PutU32(block(8) + 4, config_.protocolRevision);
      return kStatusAccepted;
    }
    case kReadDeviceInfo: {
      uint8_t* b = block(80);
      PutFloat(b + 4, float(config_.spectrumPoints));
      PutFloat(b + 8, float(config_.wavelengthStart));
      PutFloat(b + 12, float(config_.wavelengthEnd));
      PutU16(b + 20, config_.modelCode);
      b[22] = config_.hwSecond;
      b[23] = config_.hwFirst;
      b[28] = fw[3];
      b[29] = fw[2];
      b[30] = fw[1];
      b[31] = fw[0];
      PutU16(b + 36, config_.hwLetter1);
      PutU16(b + 38, config_.hwLetter2);
      std::memcpy(b + 40, config_.serial.data(), std::min<std::size_t>(config_.serial.size(), 19));
      return kStatusAccepted;
    }
    case kReadConfig: {
      uint8_t* b = block(44);
      PutU32(b + 4, config_.sensorType);
      PutU32(b + 32, config_.pixelCount);
      return kStatusAccepted;
    }
    case kGetStatus: {
      PutU32(block(12) + 4, effects.stalledBusy || Busy() ? 1 : 0);
      return kStatusAccepted;
    }
    case kReadGains: {
      uint8_t* b = block(52);
      for (int k = 0; k < 4; ++k) PutFloat(b + 4 + 4 * k, config_.gains[std::size_t(k)]);
      return kStatusAccepted;
    }
    case kGetMatrixIndex: {
      PutU32(block(8) + 4, config_.matrixIndex);
      return kStatusAccepted;
    }
    case kReadMatrix: {
      if (a1 != config_.matrixIndex) return kSimStatusBadArgument;
      uint8_t* b = block(168);
      std::memcpy(b + 8, config_.matrixName.data(), std::min<std::size_t>(config_.matrixName.size(), 31));
      for (int k = 0; k < 9; ++k) {
        const uint64_t bits = std::bit_cast<uint64_t>(config_.matrix[std::size_t(k)]);
        PutU32(b + 40 + 8 * k, uint32_t(bits >> 32));
        PutU32(b + 44 + 8 * k, uint32_t(bits));
      }
      return kStatusAccepted;
    }
    case kGetDarkVariant: {
      PutU32(block(8) + 4, uint32_t(config_.darkVariant));
      return kStatusAccepted;
    }
    case kSetShutter: {
      if (a1 > 1) return kSimStatusBadArgument;
      shutterOpen_ = a1 == 1;
      return kStatusAccepted;
    }
    case kDarkReference:
    case kDarkReferenceAlt: {
      if (a1 > 1) return kSimStatusBadArgument;
      if (Busy()) return kSimStatusBusy;
      StartBusy(kSimDarkReferenceSeconds, timeScale);
      return kStatusAccepted;
    }
    case kFourAnglePrepare1:
    case kFourAnglePrepare2: {
      if (Busy()) return kSimStatusBusy;
      StartBusy(kSimPreparationSeconds, timeScale);
      return kStatusAccepted;
    }
    case kStartFlickerCapture: {
      const uint32_t freq = a1, count = a2, range = a3;
      if (freq == 0 || freq > kSimMaxSampleFreq || count == 0 || count > kSimMaxCaptureSamples || range > 3)
        return kSimStatusBadArgument;
      if (Busy()) return kSimStatusBusy;
      if (capture_.size() < 2 * std::size_t(count)) capture_.resize(2 * std::size_t(count));
      const SimSensorRange sensor{config_.rangeGains[range], config_.darkOffsets[range]};
      SimGenerateCounts(config_.light, sensor, LightSeen(), double(freq), count, &phase_, &noise_, capture_.data());
      capturedCount_ = count;
      StartBusy(double(count) / double(freq), timeScale);
      return kStatusAccepted;
    }
    case kReadFlickerSamples: {
      if (Busy()) return kSimStatusBusy;
      if (capturedCount_ == 0) return kSimStatusOutOfOrder;
      if (a1 == 0 || a1 > capturedCount_) return kSimStatusBadArgument;
      out->source = Source::kCapture;
      return kStatusAccepted;
    }
    case kStartMeasurementLegacy:
    case kStartMeasurement: {
      if (a1 == 0 || a1 > kSimMaxIntegrationTime) return kSimStatusBadArgument;
      if (Busy()) return kSimStatusBusy;
      Measure(a1);
      // The legacy start answers when the spectrum is taken; the current one runs on.
      if (r.code == kStartMeasurement) StartBusy(a1 / 1000.0, timeScale);
      return kStatusAccepted;
    }
    case kReadSpectrum: {
      if (Busy()) return kSimStatusBusy;
      uint8_t* b = block(uint32_t(expected));
      PutU32(b + 4, integrationTime_);
      PutFloat(b + 8, spectrum_.scale);
      PutU32(b + 12, uint32_t(config_.spectrumPoints));
      for (std::size_t k = 0; k < spectrum_.values.size(); ++k) PutFloat(b + 16 + 4 * k, spectrum_.values[k]);
      return kStatusAccepted;
    }
    case kReadPixels: {
      if (Busy()) return kSimStatusBusy;
      uint8_t* b = block(uint32_t(expected));
      PutU32(b, config_.pixelCount);
      for (std::size_t p = 0; p < pixels_.size(); ++p) PutU16(b + 4 + 2 * p, pixels_[p]);
      return kStatusAccepted;
    }
    case kGetTransferChunk: {
      PutU32(block(8) + 4, config_.fileChunk);
      return kStatusAccepted;
    }
    case kSelectFile: {
      if (written.size() < 4 || GetU16(written.data()) != kSelectFile) return kSimStatusMalformed;
      // UTF-16 name from offset 4, terminated by 0 inside the block.
      std::string name;
      bool terminated = false, narrow = true;
      for (std::size_t at = 4; at + 1 < written.size() && at + 1 < kSelectFileBlock; at += 2) {
        const uint16_t unit = GetU16(written.data() + at);
        if (unit == 0) {
          terminated = true;
          break;
        }
        if (unit >= 0x80) narrow = false;
        name.push_back(char(unit & 0x7F));
      }
      if (!terminated) return kSimStatusBadArgument;
      selectedFile_ = narrow ? name : std::string();
      transferActive_ = false;
      return kStatusAccepted;
    }
    case kGetFileInfo: {
      uint8_t* b = block(12);
      if (const std::string* file = File()) {
        PutU32(b + 4, 1);
        PutU32(b + 8, uint32_t(file->size()));
      }
      return kStatusAccepted;
    }
    case kStartFileTransfer: {
      if (Busy()) return kSimStatusBusy;
      const std::string* file = File();
      if (!file) return kSimStatusOutOfOrder;
      if (a1 != 1 || a2 != file->size()) return kSimStatusBadArgument;
      transferActive_ = true;
      transferSize_ = a2;
      transferPosition_ = 0;
      StartBusy(kSimFileTransferStartSeconds, timeScale);
      return kStatusAccepted;
    }
    case kFileChunk: {
      if (Busy()) return kSimStatusBusy;
      const std::string* file = File();
      if (!transferActive_ || !file) return kSimStatusOutOfOrder;
      const uint32_t n = r.dataLength;
      if (n > transferSize_ - transferPosition_ || (config_.fileChunk > 0 && n > config_.fileChunk))
        return kSimStatusBadArgument;
      uint8_t* b = block(n);
      std::memcpy(b, file->data() + transferPosition_, n);
      transferPosition_ += n;
      StartBusy(kSimFileChunkSeconds, timeScale);
      return kStatusAccepted;
    }
    case kEndFileTransfer: {
      transferActive_ = false;
      return kStatusAccepted;
    }
    default:
      return kSimStatusUnknownCommand;
  }
}

// ---- runtime control ----

void SimInstrument::SetLight(const SimLight& light) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.light = light;
}

void SimInstrument::SetLux(double lux) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.lux = lux;
}

void SimInstrument::SetShutterModel(SimShutter shutter) {
  std::lock_guard<std::mutex> lock(mutex_);
  config_.shutter = shutter;
}

void SimInstrument::InjectFault(const SimFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(fault);
}

void SimInstrument::ClearFaults() {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.clear();
}

SimInstrumentState SimInstrument::State() const {
  std::lock_guard<std::mutex> lock(mutex_);
  SimInstrumentState s;
  s.serial = serial_;
  s.identity = identity_;
  s.modelCode = config_.modelCode;
  s.modelName = SimModelOf(config_.modelCode).name;
  s.protocolRevision = config_.protocolRevision;
  s.light = config_.light;
  s.lux = config_.lux;
  s.shutter = config_.shutter;
  s.hasShutter = HasShutter();
  s.shutterOpen = shutterOpen_;
  s.lightSeen = LightSeen();
  s.busy = Busy();
  s.pendingFaults = faults_.size();
  return s;
}

SimCounters SimInstrument::Counters() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return counters_;
}

void SimInstrument::ResetCounters() {
  std::lock_guard<std::mutex> lock(mutex_);
  counters_ = SimCounters{};
}
