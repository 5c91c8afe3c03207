#include "instrument/sim/backend.h"

#include <vector>

#include "instrument/libusb_driver.h"
#include "instrument/sim/sim_driver.h"

namespace {

std::shared_ptr<UsbDriver> Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return nullptr;
}

}  // namespace

std::shared_ptr<UsbDriver> SelectUsbBackend(std::string_view option, std::string* error) {
  if (option.empty()) {
    // Real instruments when one is attached at start; the simulator otherwise (also when
    // libusb cannot start, as on a machine without USB access).
    std::string ignored;
    if (std::shared_ptr<UsbDriver> usb = CreateLibusbDriver({}, &ignored)) {
      uint32_t count = 0;
      if (usb->GetDeviceCount(&count) == kUsbOk && count > 0) return usb;
    }
    return std::make_shared<SimDriver>(DefaultSimConfig());
  }
  if (option == "usb") {
    std::string why;
    std::shared_ptr<UsbDriver> usb = CreateLibusbDriver({}, &why);
    return usb ? usb : Fail(error, "--instrument=usb: " + why);
  }
  if (option.starts_with("usb:")) {
    std::vector<uint16_t> ids;
    std::string why;
    if (!ParseProductIds(option.substr(4), &ids, &why))
      return Fail(error, "--instrument=" + std::string(option) + ": " + why);
    std::shared_ptr<UsbDriver> usb = CreateLibusbDriver(std::move(ids), &why);
    return usb ? usb : Fail(error, "--instrument=" + std::string(option) + ": " + why);
  }
  if (option == "sim") return std::make_shared<SimDriver>(DefaultSimConfig());
  if (option.starts_with("sim:")) {
    const std::string path(option.substr(4));
    if (path.empty()) return Fail(error, "--instrument=sim: needs a file name after \"sim:\"");
    std::string why;
    std::shared_ptr<UsbDriver> sim = SimDriver::FromFile(path, &why);
    return sim ? sim : Fail(error, "simulated instrument: " + why);
  }
  return Fail(error, "unknown --instrument value \"" + std::string(option) +
                         "\" (use usb, usb:PRODUCT_IDS, sim or sim:FILE.json)");
}
