#include "instrument/sim/sim_driver.h"

#include <chrono>
#include <cmath>
#include <cstring>

SimDriver::SimDriver() = default;

SimDriver::SimDriver(const SimConfig& config) {
  SetTimeScale(config.timeScale);
  for (const SimInstrumentConfig& instrument : config.instruments) Plug(instrument);
}

SimDriver::~SimDriver() {
  // Wake any read still waiting on an instrument.
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& instrument : instruments_) instrument->MarkUnplugged();
}

std::shared_ptr<SimDriver> SimDriver::FromJson(std::string_view json, std::string* error) {
  SimConfig config;
  if (!ParseSimConfig(json, &config, error)) return nullptr;
  return std::make_shared<SimDriver>(config);
}

std::shared_ptr<SimDriver> SimDriver::FromFile(const std::string& path, std::string* error) {
  SimConfig config;
  if (!LoadSimConfigFile(path, &config, error)) return nullptr;
  return std::make_shared<SimDriver>(config);
}

// ---- driver interface ----

UsbStatus SimDriver::GetDeviceCount(uint32_t* count) {
  if (!count) return kUsbInvalidParameter;
  std::lock_guard<std::mutex> lock(mutex_);
  *count = uint32_t(instruments_.size());
  return kUsbOk;
}

UsbStatus SimDriver::GetDeviceString(uint32_t index, char* buffer, uint32_t option) {
  if (!buffer || option != 0) return kUsbInvalidParameter;
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= instruments_.size()) return kUsbNoDevice;
  const std::string& identity = instruments_[index]->Identity();
  const std::size_t n = std::min<std::size_t>(identity.size(), kUsbDeviceStringSize - 1);
  std::memcpy(buffer, identity.data(), n);
  buffer[n] = 0;
  return kUsbOk;
}

UsbStatus SimDriver::Open(uint32_t index, uint32_t* handle) {
  if (!handle) return kUsbInvalidParameter;
  std::lock_guard<std::mutex> lock(mutex_);
  if (index >= instruments_.size()) return kUsbNoDevice;
  if (nextHandle_ == 0) nextHandle_ = 1;  // 0 is never a handle
  *handle = nextHandle_++;
  handles_[*handle] = instruments_[index];
  return kUsbOk;
}

UsbStatus SimDriver::Close(uint32_t handle) {
  std::lock_guard<std::mutex> lock(mutex_);
  return handles_.erase(handle) ? kUsbOk : kUsbNoDevice;
}

UsbStatus SimDriver::Read(uint32_t handle, void* buffer, uint32_t bytes, uint32_t* transferred) {
  uint32_t moved = 0;
  if (transferred) *transferred = 0;
  if (!buffer && bytes > 0) return kUsbInvalidParameter;
  const std::shared_ptr<SimInstrument> instrument = ByHandle(handle);
  if (!instrument) return kUsbNoDevice;
  const double waitMs = double(timeouts_.ReadMs()) * TimeScale();
  const auto wait = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double, std::milli>(waitMs));
  bool unplug = false;
  const UsbStatus status = instrument->Read(static_cast<uint8_t*>(buffer), bytes, &moved, wait, &unplug);
  if (unplug) Remove(instrument);
  if (transferred) *transferred = moved;
  return status;
}

UsbStatus SimDriver::Write(uint32_t handle, const void* buffer, uint32_t bytes, uint32_t* transferred) {
  uint32_t moved = 0;
  if (transferred) *transferred = 0;
  if (!buffer && bytes > 0) return kUsbInvalidParameter;
  const std::shared_ptr<SimInstrument> instrument = ByHandle(handle);
  if (!instrument) return kUsbNoDevice;
  bool unplug = false;
  const UsbStatus status = instrument->Write(static_cast<const uint8_t*>(buffer), bytes, &moved, TimeScale(), &unplug);
  if (unplug) Remove(instrument);
  if (transferred) *transferred = moved;
  return status;
}

UsbStatus SimDriver::SetTimeouts(uint32_t readMs, uint32_t writeMs) {
  timeouts_.Set(readMs, writeMs);
  return kUsbOk;
}

UsbStatus SimDriver::GetTimeouts(uint32_t* readMs, uint32_t* writeMs) {
  if (!readMs || !writeMs) return kUsbInvalidParameter;
  timeouts_.Get(readMs, writeMs);
  return kUsbOk;
}

// ---- runtime control ----

double SimDriver::TimeScale() const { return timeScale_.load(); }

bool SimDriver::SetTimeScale(double scale) {
  if (!std::isfinite(scale) || scale < 0 || scale > 1000) return false;
  timeScale_.store(scale);
  return true;
}

std::string SimDriver::FreeSerial() const {
  for (int n = 1;; ++n) {
    const std::string serial = SimSerialNumber(n);
    bool used = false;
    for (const auto& instrument : instruments_) used = used || instrument->Serial() == serial;
    if (!used) return serial;
  }
}

std::string SimDriver::Plug(const SimInstrumentConfig& config, std::string* error) {
  std::string why;
  if (!ValidateSimInstrument(config, "instrument", &why)) {
    if (error) *error = why;
    return {};
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& instrument : instruments_)
    if (instrument->Serial() == config.serial) {
      if (error) *error = "an instrument with serial \"" + config.serial + "\" is plugged already";
      return {};
    }
  instruments_.push_back(std::make_shared<SimInstrument>(config));
  return config.serial;
}

std::string SimDriver::PlugJson(std::string_view json, std::string* error) {
  std::string serial;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    serial = FreeSerial();
  }
  SimInstrumentConfig config;
  if (!ParseSimInstrument(json, serial, &config, error)) return {};
  return Plug(config, error);
}

bool SimDriver::Unplug(std::string_view serial) {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (!instrument) return false;
  Remove(instrument);
  return true;
}

void SimDriver::Remove(const std::shared_ptr<SimInstrument>& instrument) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase(instruments_, instrument);
    std::erase_if(handles_, [&](const auto& entry) { return entry.second == instrument; });
  }
  instrument->MarkUnplugged();
}

std::shared_ptr<SimInstrument> SimDriver::Checked(std::string_view serial, const SimInstrumentConfig& values,
                                                  std::string* error) const {
  if (!ValidateSimInstrument(values, "", error)) return nullptr;
  std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (!instrument && error) *error = "no instrument with serial \"" + std::string(serial) + "\"";
  return instrument;
}

bool SimDriver::SetLight(std::string_view serial, const SimLight& light, std::string* error) {
  SimInstrumentConfig values;
  values.light = light;
  const std::shared_ptr<SimInstrument> instrument = Checked(serial, values, error);
  if (instrument) instrument->SetLight(light);
  return instrument != nullptr;
}

bool SimDriver::SetLux(std::string_view serial, double lux, std::string* error) {
  SimInstrumentConfig values;
  values.lux = lux;
  const std::shared_ptr<SimInstrument> instrument = Checked(serial, values, error);
  if (instrument) instrument->SetLux(lux);
  return instrument != nullptr;
}

bool SimDriver::SetShutterModel(std::string_view serial, SimShutter shutter) {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (instrument) instrument->SetShutterModel(shutter);
  return instrument != nullptr;
}

bool SimDriver::InjectFault(std::string_view serial, const SimFault& fault) {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (instrument) instrument->InjectFault(fault);
  return instrument != nullptr;
}

bool SimDriver::ClearFaults(std::string_view serial) {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (instrument) instrument->ClearFaults();
  return instrument != nullptr;
}

std::vector<SimInstrumentState> SimDriver::List() const {
  std::vector<std::shared_ptr<SimInstrument>> instruments;
  std::map<const SimInstrument*, uint32_t> open;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    instruments = instruments_;
    for (const auto& entry : handles_) ++open[entry.second.get()];
  }
  std::vector<SimInstrumentState> states;
  for (const auto& instrument : instruments) {
    states.push_back(instrument->State());
    states.back().openHandles = open[instrument.get()];
  }
  return states;
}

bool SimDriver::Counters(std::string_view serial, SimCounters* counters) const {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (!instrument || !counters) return false;
  *counters = instrument->Counters();
  return true;
}

bool SimDriver::ResetCounters(std::string_view serial) {
  const std::shared_ptr<SimInstrument> instrument = Find(serial);
  if (!instrument) return false;
  instrument->ResetCounters();
  return true;
}

std::shared_ptr<SimInstrument> SimDriver::Find(std::string_view serial) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& instrument : instruments_)
    if (instrument->Serial() == serial) return instrument;
  return nullptr;
}

std::shared_ptr<SimInstrument> SimDriver::ByHandle(uint32_t handle) const {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : it->second;
}
