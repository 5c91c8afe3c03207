// Back end for real instruments over libusb-1.0.
//
// Offers the devices of the instruments' USB bridge chip (vendor id 0x10C4). With product ids
// configured only those are offered; with none, every device of that vendor whose
// configuration has an interface with a bulk IN and a bulk OUT endpoint. The identity string
// is the device's serial-number string; transfers use the first bulk IN and bulk OUT
// endpoint of that interface, under the calling thread's time-out pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/usb_driver.h"

constexpr uint16_t kBridgeVendorId = 0x10C4;

// Endpoints of one interface setting, as read from a configuration descriptor.
struct UsbInterfaceInfo {
  int number = 0;
  int alternate = 0;
  struct Endpoint {
    uint8_t address = 0;     // bit 7 set: IN
    uint8_t attributes = 0;  // bits 0..1: transfer type, 2 = bulk
  };
  std::vector<Endpoint> endpoints;
};

// The interfaces of a raw configuration descriptor (as the device sends it). Malformed
// descriptors (lengths that do not add up) end the parse; what was read before is returned.
std::vector<UsbInterfaceInfo> ParseConfigDescriptor(const uint8_t* data, std::size_t size);

struct BulkPair {
  bool found = false;
  int interfaceNumber = -1;
  int alternate = 0;
  uint8_t in = 0;   // endpoint address of the bulk IN endpoint
  uint8_t out = 0;  // endpoint address of the bulk OUT endpoint
};

// The first interface setting with a bulk IN and a bulk OUT endpoint.
BulkPair ChooseBulkEndpoints(const std::vector<UsbInterfaceInfo>& interfaces);

// Product ids from a text of hexadecimal or decimal numbers separated by commas
// ("0xEA60,0xEA61"); false with a message for anything else.
bool ParseProductIds(std::string_view text, std::vector<uint16_t>* ids, std::string* error);

// The libusb back end; null with a message when libusb cannot be initialised.
std::shared_ptr<UsbDriver> CreateLibusbDriver(std::vector<uint16_t> productIds, std::string* error);
