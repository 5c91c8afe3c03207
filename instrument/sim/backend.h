// Choice of the driver back end from the --instrument option of the program and quivra-cli.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "instrument/usb_driver.h"

// "usb"          real instruments (libusb), every product id of the bridge chip's vendor;
// "usb:IDS"      the same, offering only the product ids listed ("0xEA60,0xEA61");
// "sim"          the built-in simulated instrument: one "TR7BQ" (serial "SIM00001") under a
//                100 Hz LED ripple, in real time;
// "sim:FILE"     the simulated instruments that the JSON file FILE configures;
// ""             real instruments when one is attached now, else the built-in simulator.
// Null with a message for any other option, a bad file, or libusb failing to start.
std::shared_ptr<UsbDriver> SelectUsbBackend(std::string_view option, std::string* error);
