// The simulated instrument as a back end of the USB driver interface.
//
// It lists the plugged simulated instruments in the order they were plugged; the identity
// string of each is its configured identity (its serial unless set otherwise). Handles are
// fresh for every Open and die with their instrument: once an instrument is unplugged, every
// Read and Write on its handles fails with kUsbNoDevice. A read that has nothing to deliver
// (a lost reply, a request not yet written) fails with kUsbTimeout after the calling
// thread's read time-out scaled by the time scale (at once at time scale 0).
//
// Every member function is thread-safe: the desktop program's simulator window and tests
// plug, unplug and change instruments while the host transfers.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/sim/sim_config.h"
#include "instrument/sim/sim_instrument.h"
#include "instrument/usb_driver.h"

class SimDriver : public UsbDriver {
 public:
  // No instruments, real time.
  SimDriver();
  // The configuration's instruments plugged in order, at its time scale. Instruments whose
  // serial repeats an earlier one are left out.
  explicit SimDriver(const SimConfig& config);
  ~SimDriver() override;

  // A driver from JSON text or a JSON file; null with a message naming the bad key.
  static std::shared_ptr<SimDriver> FromJson(std::string_view json, std::string* error);
  static std::shared_ptr<SimDriver> FromFile(const std::string& path, std::string* error);

  // The driver interface.
  UsbStatus GetDeviceCount(uint32_t* count) override;
  UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t option) override;
  UsbStatus Open(uint32_t index, uint32_t* handle) override;
  UsbStatus Close(uint32_t handle) override;
  UsbStatus Read(uint32_t handle, void* buffer, uint32_t bytes, uint32_t* transferred) override;
  UsbStatus Write(uint32_t handle, const void* buffer, uint32_t bytes, uint32_t* transferred) override;
  UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override;
  UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) override;

  // 1 = real time, 0 = every operation completes at once; busy times and read time-outs
  // are multiplied by it. Values outside 0..1000 are refused.
  double TimeScale() const;
  bool SetTimeScale(double scale);

  // Plugs an instrument; returns its serial, or "" with a message when the configuration
  // is out of range or an instrument with that serial is plugged already.
  std::string Plug(const SimInstrumentConfig& config, std::string* error = nullptr);
  // The same from the JSON of one instrument object; without "serial" it gets the first
  // free one of SIM00001, SIM00002, ...
  std::string PlugJson(std::string_view json, std::string* error = nullptr);
  // False when no plugged instrument has the serial.
  bool Unplug(std::string_view serial);

  // Changes of a plugged instrument, in effect from its next command; false when the
  // serial is not plugged or (with a message) a value is out of range.
  bool SetLight(std::string_view serial, const SimLight& light, std::string* error = nullptr);
  bool SetLux(std::string_view serial, double lux, std::string* error = nullptr);
  bool SetShutterModel(std::string_view serial, SimShutter shutter);
  bool InjectFault(std::string_view serial, const SimFault& fault);
  bool ClearFaults(std::string_view serial);

  // The plugged instruments in device-index order.
  std::vector<SimInstrumentState> List() const;
  // Counters of a plugged instrument; false when the serial is not plugged.
  bool Counters(std::string_view serial, SimCounters* counters) const;
  bool ResetCounters(std::string_view serial);

 private:
  std::shared_ptr<SimInstrument> Find(std::string_view serial) const;
  // The plugged instrument `serial` once `values` (a default configuration carrying the new
  // values) is in range; null with a message otherwise.
  std::shared_ptr<SimInstrument> Checked(std::string_view serial, const SimInstrumentConfig& values,
                                         std::string* error) const;
  std::shared_ptr<SimInstrument> ByHandle(uint32_t handle) const;
  void Remove(const std::shared_ptr<SimInstrument>& instrument);
  std::string FreeSerial() const;

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<SimInstrument>> instruments_;  // device-index order
  std::map<uint32_t, std::shared_ptr<SimInstrument>> handles_;
  uint32_t nextHandle_ = 1;
  std::atomic<double> timeScale_{1.0};
  ThreadTimeouts timeouts_;
};
