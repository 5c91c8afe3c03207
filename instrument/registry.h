// The device registry: one entry per attached instrument that could be opened, a polling
// thread that opens new instruments and closes vanished ones, and a table of 16 channels that
// bind an instrument's identity string for the capture and calibration commands.
//
// Entries are shared (SpDevicePtr): the registry holds one reference while an instrument is
// listed, and every lookup hands out its own. A vanished instrument leaves the list at once
// and is marked closed, so every command on it fails without traffic; its USB handle is
// released once no operation runs on it any more.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "instrument/device.h"

constexpr int kChannelCount = 16;
constexpr int kMinPollingPeriodMs = 300;
constexpr int kMaxPollingPeriodMs = 2000;

// Creates the registry, calls UsbInit and, when startPolling is not 0, starts the polling
// thread with the period clamped to 300..2000 ms. Always true; a second call without
// SpShutdown changes nothing.
bool SpInit(int startPolling, int pollingPeriodMs);
// Stops the polling thread, closes every entry and empties the registry.
void SpShutdown();

// The list-changed flag (raised by every removal and every open attempt), read and cleared.
bool SpListChanged();

int SpDeviceCount();
// The listed entries in order of opening.
std::vector<SpDevicePtr> SpDevices();
SpDevicePtr SpFirstDevice();
// The entry listed after `entry`; null at the end or when `entry` is no longer listed.
SpDevicePtr SpNextDevice(const SpDevice* entry);
// First entry whose name differs from `name` ("orv_at001n" gives the only instrument).
SpDevicePtr SpFindOtherThan(const char* name);
SpDevicePtr SpFindByName(const char* name);
SpDevicePtr SpFindBySerial(const char* serial);
// Whether the entry is still in the list (a cheap check for holders of an entry).
bool SpIsListed(const SpDevice* entry);

// Channel of the entry with that name or serial, binding a free channel when needed;
// -1 when no entry matches or all 16 channels are taken.
int SpChannelOf(const char* name);
int SpChannelOfSerial(const char* serial);
// Clears a channel's binding; false for a channel outside 0..15.
bool SpReleaseChannel(int channel);
// Entry bound to the channel, or null (empty slot, channel outside 0..15, entry gone).
SpDevicePtr SpDeviceOnChannel(int channel);

// Operation bookkeeping. An operation on an instrument (capture, calibration, spectrum
// reading) counts itself in the entry's busy under the registry lock; the registry releases
// the entry's USB handle only when no operation runs.
// The entry on the channel with its busy count raised, or null.
SpDevicePtr SpBeginOperationOnChannel(int channel);
// Raises the busy count when the entry is still listed; false otherwise.
bool SpBeginOperation(SpDevice* entry);
void SpEndOperation(SpDevice* entry);

// Scoped operation: counts itself on construction when the entry is listed.
class SpOperation {
 public:
  explicit SpOperation(SpDevicePtr entry) : entry_(std::move(entry)) {
    if (entry_ && !SpBeginOperation(entry_.get())) entry_.reset();
  }
  // The entry on a channel.
  explicit SpOperation(int channel) : entry_(SpBeginOperationOnChannel(channel)) {}
  ~SpOperation() {
    if (entry_) SpEndOperation(entry_.get());
  }
  SpOperation(const SpOperation&) = delete;
  SpOperation& operator=(const SpOperation&) = delete;
  SpDevice* get() const { return entry_.get(); }
  explicit operator bool() const { return entry_ != nullptr; }

 private:
  SpDevicePtr entry_;
};

// --- the registry's own steps, public for tests and tools ---------------------------------
// One polling step: the removal pass, then the arrival pass. When the device count fails or
// an identity string cannot be read, the scan is skipped: nothing is closed.
void Rescan();
// Opens, identifies and lists the device at `index`; null when it could not be opened.
SpDevicePtr OpenDevice(uint32_t index);
// Takes the entry out of the list, marks it closed, waits until no operation runs on it,
// clears its channel and closes its USB handle.
void CloseDevice(const char* name);
// The polling period in force (ms), 0 when no polling thread runs.
int SpPollingPeriod();
// Number of completed scans since SpInit: a caller that saw it advance knows that every
// device attached before has been looked at.
uint64_t SpScanCount();
