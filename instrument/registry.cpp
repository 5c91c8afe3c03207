#include "instrument/registry.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "instrument/capture.h"
#include "instrument/identification.h"
#include "instrument/protocol.h"
#include "instrument/usb.h"
#include "instrument/wire.h"

namespace {

struct Registry {
  std::mutex lock;  // the registry lock: list, channel table, flags, busy counts
  std::vector<SpDevicePtr> list;
  char channels[kChannelCount][32] = {};
  bool listChanged = false;
  uint64_t scans = 0;

  std::mutex lifecycle;  // SpInit / SpShutdown
  bool initialised = false;
  std::thread polling;
  std::mutex stopLock;
  std::condition_variable stopWake;
  bool stop = false;
  int period = 0;  // 0: no polling thread
};

// Never destroyed: a polling thread may still run while static objects are torn down.
Registry& Reg() {
  static Registry* registry = new Registry;
  return *registry;
}

// The following helpers expect the registry lock to be held.
SpDevicePtr FindLocked(const char* name) {
  if (!name) return nullptr;
  for (const SpDevicePtr& dev : Reg().list)
    if (std::strncmp(dev->name, name, sizeof dev->name) == 0) return dev;
  return nullptr;
}

SpDevicePtr FindSerialLocked(const char* serial) {
  if (!serial) return nullptr;
  for (const SpDevicePtr& dev : Reg().list)
    if (std::strncmp(dev->serial, serial, sizeof dev->serial) == 0) return dev;
  return nullptr;
}

int BindLocked(const SpDevicePtr& dev) {
  if (!dev) return -1;
  Registry& reg = Reg();
  for (int c = 0; c < kChannelCount; ++c)
    if (std::strncmp(reg.channels[c], dev->name, 32) == 0) return c;
  for (int c = 0; c < kChannelCount; ++c)
    if (reg.channels[c][0] == 0) {
      std::memcpy(reg.channels[c], dev->name, 32);
      reg.channels[c][31] = 0;
      return c;
    }
  return -1;
}

SpDevicePtr OnChannelLocked(int channel) {
  if (channel < 0 || channel >= kChannelCount) return nullptr;
  const char* name = Reg().channels[channel];
  return name[0] ? FindLocked(name) : nullptr;
}

void PollingLoop(int period) {
  Registry& reg = Reg();
  std::unique_lock<std::mutex> lock(reg.stopLock);
  while (!reg.stop) {
    lock.unlock();
    Rescan();
    lock.lock();
    reg.stopWake.wait_for(lock, std::chrono::milliseconds(period), [&] { return reg.stop; });
  }
}

// Identity strings of the attached devices. False when the count failed; *complete is
// false when a string could not be read.
bool AttachedNames(std::vector<std::string>* names, bool* complete) {
  const int count = UsbDeviceCount();
  if (count < 0) return false;
  *complete = true;
  for (int i = 0; i < count; ++i) {
    char name[kIdentitySize] = {};
    if (UsbDeviceString(uint32_t(i), name, kIdentitySize))
      names->emplace_back(name);
    else
      *complete = false;
  }
  return true;
}

void ReadFourAngleFile(SpDevice* dev) {
  const uint32_t size = InstrumentFileSize(dev, kFourAngleFileName);
  if (size == 0) {
    dev->fourAngleVersion = 0;
    dev->fourAngleId = 1;
    dev->fourAngleSerial = "00001";
    return;
  }
  if (size > kMaxFourAngleFileSize) return;
  std::vector<uint8_t> buffer(size);
  uint32_t got = 0;
  if (!ReadInstrumentFile(dev, kFourAngleFileName, buffer.data(), size, &got) || got != size) return;
  ParseFourAngleInfo(buffer.data(), got, dev);
}

SpDevicePtr Discard(const SpDevicePtr& dev) {
  dev->closed = true;
  UsbClose(&dev->usbHandle);
  return nullptr;
}

}  // namespace

bool SpInit(int startPolling, int pollingPeriodMs) {
  Registry& reg = Reg();
  std::lock_guard<std::mutex> life(reg.lifecycle);
  if (reg.initialised) return true;
  reg.initialised = true;
  UsbInit();
  {
    std::lock_guard<std::mutex> lock(reg.lock);
    reg.list.clear();
    std::memset(reg.channels, 0, sizeof reg.channels);
    reg.listChanged = false;
    reg.scans = 0;
  }
  reg.stop = false;
  reg.period = 0;
  if (startPolling != 0) {
    reg.period = std::clamp(pollingPeriodMs, kMinPollingPeriodMs, kMaxPollingPeriodMs);
    reg.polling = std::thread(PollingLoop, reg.period);
  }
  return true;
}

void SpShutdown() {
  Registry& reg = Reg();
  std::lock_guard<std::mutex> life(reg.lifecycle);
  if (!reg.initialised) return;
  {
    std::lock_guard<std::mutex> lock(reg.stopLock);
    reg.stop = true;
  }
  reg.stopWake.notify_all();
  if (reg.polling.joinable()) reg.polling.join();
  reg.period = 0;
  while (SpDevicePtr dev = SpFirstDevice()) CloseDevice(dev->name);
  std::lock_guard<std::mutex> lock(reg.lock);
  std::memset(reg.channels, 0, sizeof reg.channels);
  reg.listChanged = false;
  reg.initialised = false;
}

bool SpListChanged() {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return std::exchange(Reg().listChanged, false);
}

int SpDeviceCount() {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return int(Reg().list.size());
}

std::vector<SpDevicePtr> SpDevices() {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return Reg().list;
}

SpDevicePtr SpFirstDevice() {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return Reg().list.empty() ? nullptr : Reg().list.front();
}

SpDevicePtr SpNextDevice(const SpDevice* entry) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  const auto& list = Reg().list;
  auto it = std::find_if(list.begin(), list.end(), [&](const SpDevicePtr& d) { return d.get() == entry; });
  if (it == list.end() || ++it == list.end()) return nullptr;
  return *it;
}

SpDevicePtr SpFindOtherThan(const char* name) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  for (const SpDevicePtr& dev : Reg().list)
    if (!name || std::strncmp(dev->name, name, sizeof dev->name) != 0) return dev;
  return nullptr;
}

SpDevicePtr SpFindByName(const char* name) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return FindLocked(name);
}

SpDevicePtr SpFindBySerial(const char* serial) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return FindSerialLocked(serial);
}

bool SpIsListed(const SpDevice* entry) {
  if (!entry) return false;
  std::lock_guard<std::mutex> lock(Reg().lock);
  for (const SpDevicePtr& dev : Reg().list)
    if (dev.get() == entry) return true;
  return false;
}

int SpChannelOf(const char* name) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return BindLocked(FindLocked(name));
}

int SpChannelOfSerial(const char* serial) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return BindLocked(FindSerialLocked(serial));
}

bool SpReleaseChannel(int channel) {
  if (channel < 0 || channel >= kChannelCount) return false;
  std::lock_guard<std::mutex> lock(Reg().lock);
  std::memset(Reg().channels[channel], 0, 32);
  return true;
}

SpDevicePtr SpDeviceOnChannel(int channel) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return OnChannelLocked(channel);
}

SpDevicePtr SpBeginOperationOnChannel(int channel) {
  std::lock_guard<std::mutex> lock(Reg().lock);
  SpDevicePtr dev = OnChannelLocked(channel);
  if (dev) ++dev->busy;
  return dev;
}

bool SpBeginOperation(SpDevice* entry) {
  if (!entry) return false;
  std::lock_guard<std::mutex> lock(Reg().lock);
  for (const SpDevicePtr& dev : Reg().list)
    if (dev.get() == entry) {
      ++dev->busy;
      return true;
    }
  return false;
}

void SpEndOperation(SpDevice* entry) {
  if (!entry) return;
  std::lock_guard<std::mutex> lock(Reg().lock);
  if (entry->busy > 0) --entry->busy;
}

void Rescan() {
  Registry& reg = Reg();
  std::vector<std::string> names;
  bool complete = false;
  // A failed count, or an identity string that cannot be read, would make present
  // instruments look gone: the removal pass runs only on a complete picture.
  if (AttachedNames(&names, &complete)) {
    if (complete) {
      for (const SpDevicePtr& dev : SpDevices()) {
        if (std::find(names.begin(), names.end(), dev->name) != names.end()) continue;
        CloseDevice(dev->name);
        std::lock_guard<std::mutex> lock(reg.lock);
        reg.listChanged = true;
      }
    }
    // Arrival pass.
    const int count = UsbDeviceCount();
    for (int i = 0; i < count; ++i) {
      char name[kIdentitySize] = {};
      if (!UsbDeviceString(uint32_t(i), name, kIdentitySize)) continue;  // skip unreadable indexes
      if (SpFindByName(name)) continue;
      OpenDevice(uint32_t(i));
      std::lock_guard<std::mutex> lock(reg.lock);
      reg.listChanged = true;
    }
  }
  std::lock_guard<std::mutex> lock(reg.lock);
  ++reg.scans;
}

SpDevicePtr OpenDevice(uint32_t index) {
  auto dev = std::make_shared<SpDevice>();
  SpDevice* d = dev.get();
  if (!UsbDeviceString(index, d->name, sizeof d->name)) return nullptr;
  if (!UsbOpen(&d->usbHandle, index)) return nullptr;

  bool answered = false;
  for (int attempt = 1; attempt <= 5 && !answered; ++attempt) {
    uint32_t ready = 0;
    answered = Ping(d, &ready) && ready != 0;
    if (!answered && attempt < 5) std::this_thread::sleep_for(InstrumentPause(std::chrono::milliseconds(100)));
  }
  if (!answered) return Discard(dev);
  if (!GetProtocolRevision(d, &d->protocolRev)) return Discard(dev);
  d->protocolColumn = wire::ProtocolColumn(d->protocolRev);
  if (!ReadConfig(d, d->configBlock)) return Discard(dev);
  if (!ReadDeviceInfo(d, d->infoBlock)) return Discard(dev);
  ApplyInfoBlocks(d);
  d->darkVariant = 0;

  const bool fourAngle = IsFourAngleModel(d->modelCode);
  if (NeedsFourAnglePreparation(d->modelCode)) {
    ReadFourAngleFile(d);
    d->darkVariant = 1;
    if (FourAnglePrepare1(d, 60, 1)) WaitReady(d, 100000);
    if (FourAnglePrepare2(d, 60, 1)) WaitReady(d, 100000);
  }

  FlickerAcq& acq = d->flickerAcq;
  acq.rangeCount = 4;
  acq.range = 0;
  std::fill(std::begin(acq.offset), std::end(acq.offset), 0.0f);
  acq.offsetsValid = 0;
  acq.subtractOffset = 1;
  acq.controlMode = d->hasShutter;
  acq.device = d;
  acq.readSamples = FlickerReadSamples;
  acq.control = FlickerControl;

  d->xGain = d->yGain = d->zGain = d->lGain = 1.0f;
  for (int i = 0; i < 9; ++i) d->colourMatrix[i] = (i % 4 == 0) ? 1.0 : 0.0;
  if (d->protocolRev > 0x105 || fourAngle) {
    float x, y, z, l;
    if (ReadGains(d, &x, &y, &z, &l)) {
      d->xGain = x;
      d->yGain = y;
      d->zGain = z;
      d->lGain = l;
    }
  }
  if (d->protocolRev > 0x106 || fourAngle) {
    uint32_t matrixIndex = 0;
    double matrix[9];
    if (GetMatrixIndex(d, &matrixIndex) && ReadMatrix(d, matrixIndex, matrix))
      std::copy(std::begin(matrix), std::end(matrix), d->colourMatrix);
    uint32_t variant = 0;
    if (GetDarkVariant(d, &variant)) d->darkVariant = variant;
  }

  // Listed only now that it is complete; a second device reporting the same identity
  // string is never listed.
  {
    std::lock_guard<std::mutex> lock(Reg().lock);
    if (!FindLocked(d->name)) {
      Reg().list.push_back(dev);
      return dev;
    }
  }
  return Discard(dev);
}

void CloseDevice(const char* name) {
  Registry& reg = Reg();
  SpDevicePtr dev;
  {
    std::lock_guard<std::mutex> lock(reg.lock);
    dev = FindLocked(name);
    if (!dev) return;
    reg.list.erase(std::find(reg.list.begin(), reg.list.end(), dev));
    dev->closed = true;
    for (auto& slot : reg.channels)
      if (std::strncmp(slot, dev->name, 32) == 0) {
        std::memset(slot, 0, 32);
        break;
      }
  }
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(reg.lock);
      if (dev->busy == 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  // No transfer is in flight once the transaction lock is ours, and none starts on a
  // closed entry.
  std::lock_guard<std::mutex> transaction(dev->transactionLock);
  UsbClose(&dev->usbHandle);
}

uint64_t SpScanCount() {
  std::lock_guard<std::mutex> lock(Reg().lock);
  return Reg().scans;
}

int SpPollingPeriod() {
  std::lock_guard<std::mutex> life(Reg().lifecycle);
  return Reg().period;
}
