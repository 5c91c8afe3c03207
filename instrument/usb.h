// USB transport: the one place that calls the driver back end (usb_driver.h).
//
// Management calls (count, identity string, open, close) are serialised process-wide by
// usbMutex, waited for at most 3000 ms. Block transfers are not: the caller serialises them
// per instrument (the entry's transaction lock). Every block moves in chunks of 1024 bytes
// under the time-out pair of the calling thread, which is read, set for the direction and
// restored around each transfer.
#pragma once

#include <cstdint>

constexpr uint32_t kTransferTimeoutMs = 5000;  // time-out of every protocol block transfer
constexpr uint32_t kUsbMutexWaitMs = 3000;     // longest wait for usbMutex
constexpr uint32_t kIdentitySize = 32;         // identity string buffers: 31 characters + 0

// Sets the calling thread's time-out pair to 5000 ms / 5000 ms. True (usbMutex is a static
// object and cannot fail to exist).
bool UsbInit();

// Number of attached devices; -1 when usbMutex was not obtained, there is no back end, or
// the back end reported an error.
int UsbDeviceCount();

// Identity string of device `index` into out (size bytes, callers pass 32). False when the
// back end fails or the string does not fit (a string of size or more characters).
bool UsbDeviceString(uint32_t index, char* out, uint32_t size);

// Opens device `index` into *handle. Fails without opening when no device is attached.
bool UsbOpen(uint32_t* handle, uint32_t index);

// Closes *handle. Fails without calling the back end when no device is attached (the
// handle is then abandoned: the normal case after the last instrument was unplugged).
bool UsbClose(uint32_t* handle);

// Block transfers in chunks of at most 1024 bytes. *count (may be null) receives the bytes
// moved. A chunk fails on a non-zero status and also when the back end reports fewer bytes
// than the chunk asked for (a short transfer); the transfer then stops. True only when every
// chunk moved completely. A block of 0 bytes makes no transfer call and succeeds.
bool UsbWrite(uint32_t* handle, const void* buffer, uint32_t bytes, uint32_t* count,
              uint32_t timeoutMs);
bool UsbRead(uint32_t* handle, void* buffer, uint32_t bytes, uint32_t* count, uint32_t timeoutMs);
