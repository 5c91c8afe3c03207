#include "instrument/libusb_driver.h"

// The library header uses zero-sized arrays, which the pedantic warning set rejects.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#include <libusb.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace {

constexpr uint8_t kDescInterface = 4;
constexpr uint8_t kDescEndpoint = 5;
constexpr uint8_t kDescConfig = 2;
constexpr uint8_t kTransferBulk = 2;

UsbStatus MapError(int error) {
  switch (error) {
    case LIBUSB_SUCCESS: return kUsbOk;
    case LIBUSB_ERROR_TIMEOUT: return kUsbTimeout;
    case LIBUSB_ERROR_NO_DEVICE:
    case LIBUSB_ERROR_NOT_FOUND: return kUsbNoDevice;
    case LIBUSB_ERROR_INVALID_PARAM: return kUsbInvalidParameter;
    default: return kUsbIoError;
  }
}

std::vector<UsbInterfaceInfo> InterfacesOf(const libusb_config_descriptor* config) {
  std::vector<UsbInterfaceInfo> result;
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& iface = config->interface[i];
    for (int a = 0; a < iface.num_altsetting; ++a) {
      const libusb_interface_descriptor& alt = iface.altsetting[a];
      UsbInterfaceInfo info;
      info.number = alt.bInterfaceNumber;
      info.alternate = alt.bAlternateSetting;
      for (int e = 0; e < alt.bNumEndpoints; ++e)
        info.endpoints.push_back({alt.endpoint[e].bEndpointAddress, alt.endpoint[e].bmAttributes});
      result.push_back(std::move(info));
    }
  }
  return result;
}

class LibusbDriver final : public UsbDriver {
 public:
  LibusbDriver(libusb_context* context, std::vector<uint16_t> productIds)
      : context_(context), productIds_(std::move(productIds)) {}

  ~LibusbDriver() override {
    for (auto& [id, dev] : open_) {
      libusb_release_interface(dev.handle, dev.pair.interfaceNumber);
      libusb_close(dev.handle);
    }
    libusb_exit(context_);
  }

  UsbStatus GetDeviceCount(uint32_t* count) override {
    if (!count) return kUsbInvalidParameter;
    std::lock_guard<std::mutex> lock(lock_);
    Candidates list(*this);
    *count = uint32_t(list.items.size());
    return kUsbOk;
  }

  UsbStatus GetDeviceString(uint32_t index, char* buffer, uint32_t option) override {
    if (!buffer || option != 0) return kUsbInvalidParameter;
    std::lock_guard<std::mutex> lock(lock_);
    Candidates list(*this);
    if (index >= list.items.size()) return kUsbNoDevice;
    const Candidate& c = list.items[index];
    const std::string identity = IdentityOf(c);
    std::snprintf(buffer, kUsbDeviceStringSize, "%s", identity.c_str());
    return kUsbOk;
  }

  UsbStatus Open(uint32_t index, uint32_t* handle) override {
    if (!handle) return kUsbInvalidParameter;
    std::lock_guard<std::mutex> lock(lock_);
    Candidates list(*this);
    if (index >= list.items.size()) return kUsbNoDevice;
    const Candidate& c = list.items[index];
    libusb_device_handle* h = nullptr;
    if (int r = libusb_open(c.device, &h); r != 0) return MapError(r);
    libusb_set_auto_detach_kernel_driver(h, 1);
    if (int r = libusb_claim_interface(h, c.pair.interfaceNumber); r != 0) {
      libusb_close(h);
      return MapError(r);
    }
    if (c.pair.alternate != 0) {
      if (int r = libusb_set_interface_alt_setting(h, c.pair.interfaceNumber, c.pair.alternate); r != 0) {
        libusb_release_interface(h, c.pair.interfaceNumber);
        libusb_close(h);
        return MapError(r);
      }
    }
    const uint32_t id = nextHandle_++;
    open_[id] = {h, c.pair};
    *handle = id;
    return kUsbOk;
  }

  UsbStatus Close(uint32_t handle) override {
    std::lock_guard<std::mutex> lock(lock_);
    auto it = open_.find(handle);
    if (it == open_.end()) return kUsbNoDevice;
    libusb_release_interface(it->second.handle, it->second.pair.interfaceNumber);
    libusb_close(it->second.handle);
    open_.erase(it);
    return kUsbOk;
  }

  UsbStatus Read(uint32_t handle, void* buffer, uint32_t bytes, uint32_t* transferred) override {
    return Bulk(handle, true, static_cast<uint8_t*>(buffer), bytes, transferred, timeouts_.ReadMs());
  }

  UsbStatus Write(uint32_t handle, const void* buffer, uint32_t bytes, uint32_t* transferred) override {
    // libusb takes a non-const buffer for both directions; an OUT transfer only reads it.
    return Bulk(handle, false, static_cast<uint8_t*>(const_cast<void*>(buffer)), bytes, transferred,
                timeouts_.WriteMs());
  }

  UsbStatus SetTimeouts(uint32_t readMs, uint32_t writeMs) override {
    timeouts_.Set(readMs, writeMs);
    return kUsbOk;
  }

  UsbStatus GetTimeouts(uint32_t* readMs, uint32_t* writeMs) override {
    if (!readMs || !writeMs) return kUsbInvalidParameter;
    timeouts_.Get(readMs, writeMs);
    return kUsbOk;
  }

 private:
  struct Candidate {
    libusb_device* device = nullptr;
    BulkPair pair;
    uint8_t bus = 0, address = 0, serialIndex = 0;
  };

  // The offered devices in the library's order, referenced for the lifetime of the object.
  struct Candidates {
    explicit Candidates(LibusbDriver& driver) {
      libusb_device** devices = nullptr;
      const ssize_t n = libusb_get_device_list(driver.context_, &devices);
      for (ssize_t i = 0; i < n; ++i) {
        libusb_device_descriptor desc{};
        if (libusb_get_device_descriptor(devices[i], &desc) != 0 || desc.idVendor != kBridgeVendorId) continue;
        if (!driver.productIds_.empty() &&
            std::find(driver.productIds_.begin(), driver.productIds_.end(), desc.idProduct) ==
                driver.productIds_.end())
          continue;
        libusb_config_descriptor* config = nullptr;
        if (libusb_get_active_config_descriptor(devices[i], &config) != 0 &&
            libusb_get_config_descriptor(devices[i], 0, &config) != 0)
          continue;
        const BulkPair pair = ChooseBulkEndpoints(InterfacesOf(config));
        libusb_free_config_descriptor(config);
        if (!pair.found) continue;
        items.push_back({libusb_ref_device(devices[i]), pair, libusb_get_bus_number(devices[i]),
                         libusb_get_device_address(devices[i]), desc.iSerialNumber});
      }
      if (n >= 0) libusb_free_device_list(devices, 1);
    }
    ~Candidates() {
      for (Candidate& c : items) libusb_unref_device(c.device);
    }
    Candidates(const Candidates&) = delete;
    Candidates& operator=(const Candidates&) = delete;
    std::vector<Candidate> items;
  };

  // The serial-number string, read once per plugged device (bus and address change on every
  // plug) and kept, so that a later failed read cannot make a present instrument look new.
  // A device without a readable serial gets an identity from its bus position.
  std::string IdentityOf(const Candidate& c) {
    const auto key = std::make_pair(c.bus, c.address);
    if (auto it = serials_.find(key); it != serials_.end()) return it->second;
    char text[kUsbDeviceStringSize] = {};
    int length = -1;
    if (c.serialIndex != 0) {
      libusb_device_handle* h = HandleOf(c.device);
      const bool temporary = h == nullptr;
      if (temporary && libusb_open(c.device, &h) != 0) h = nullptr;
      if (h) {
        length = libusb_get_string_descriptor_ascii(h, c.serialIndex, reinterpret_cast<unsigned char*>(text),
                                                    sizeof text - 1);
        if (temporary) libusb_close(h);
      }
    }
    if (length > 0) {
      text[length] = 0;
      serials_[key] = text;
      return text;
    }
    std::snprintf(text, sizeof text, "usb-%03u-%03u", unsigned(c.bus), unsigned(c.address));
    return text;
  }

  libusb_device_handle* HandleOf(libusb_device* device) const {
    for (const auto& [id, dev] : open_)
      if (libusb_get_device(dev.handle) == device) return dev.handle;
    return nullptr;
  }

  UsbStatus Bulk(uint32_t handle, bool in, uint8_t* buffer, uint32_t bytes, uint32_t* transferred,
                 uint32_t timeoutMs) {
    if (transferred) *transferred = 0;
    if (!buffer && bytes > 0) return kUsbInvalidParameter;
    libusb_device_handle* h = nullptr;
    uint8_t endpoint = 0;
    {
      std::lock_guard<std::mutex> lock(lock_);
      auto it = open_.find(handle);
      if (it == open_.end()) return kUsbNoDevice;
      h = it->second.handle;
      endpoint = in ? it->second.pair.in : it->second.pair.out;
    }
    // The block may arrive in several transfers (a short packet ends one); go on until it is
    // complete or the time-out has passed. A time-out of 0 waits without limit.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    uint32_t done = 0;
    while (done < bytes) {
      unsigned int wait = 0;
      if (timeoutMs != 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
          if (transferred) *transferred = done;
          return kUsbTimeout;
        }
        wait = unsigned(left);
      }
      int moved = 0;
      const int r = libusb_bulk_transfer(h, endpoint, buffer + done, int(std::min<uint32_t>(bytes - done, 1u << 30)),
                                         &moved, wait);
      done += uint32_t(std::max(moved, 0));
      if (r != 0) {
        if (transferred) *transferred = done;
        return MapError(r);
      }
      if (moved == 0) break;  // a zero-length packet ends the block early
    }
    if (transferred) *transferred = done;
    return kUsbOk;
  }

  struct OpenDevice {
    libusb_device_handle* handle = nullptr;
    BulkPair pair;
  };

  libusb_context* context_;
  std::vector<uint16_t> productIds_;
  ThreadTimeouts timeouts_;
  std::mutex lock_;  // device list, open handles, serial cache
  std::map<uint32_t, OpenDevice> open_;
  uint32_t nextHandle_ = 1;
  std::map<std::pair<uint8_t, uint8_t>, std::string> serials_;
};

}  // namespace

std::vector<UsbInterfaceInfo> ParseConfigDescriptor(const uint8_t* data, std::size_t size) {
  std::vector<UsbInterfaceInfo> result;
  if (!data || size < 9 || data[1] != kDescConfig || data[0] < 9) return result;
  const std::size_t total = std::min<std::size_t>(size, std::size_t(data[2] | data[3] << 8));
  std::size_t pos = data[0];
  while (pos + 2 <= total) {
    const std::size_t length = data[pos];
    const uint8_t type = data[pos + 1];
    if (length < 2 || pos + length > total) break;
    if (type == kDescInterface) {
      if (length < 9) break;
      UsbInterfaceInfo info;
      info.number = data[pos + 2];
      info.alternate = data[pos + 3];
      result.push_back(std::move(info));
    } else if (type == kDescEndpoint) {
      if (length < 7) break;
      if (!result.empty()) result.back().endpoints.push_back({data[pos + 2], data[pos + 3]});
    }
    pos += length;
  }
  return result;
}

BulkPair ChooseBulkEndpoints(const std::vector<UsbInterfaceInfo>& interfaces) {
  for (const UsbInterfaceInfo& iface : interfaces) {
    BulkPair pair;
    bool haveIn = false, haveOut = false;
    for (const UsbInterfaceInfo::Endpoint& ep : iface.endpoints) {
      if ((ep.attributes & 3) != kTransferBulk) continue;
      if ((ep.address & 0x80) != 0) {
        if (!haveIn) pair.in = ep.address;
        haveIn = true;
      } else {
        if (!haveOut) pair.out = ep.address;
        haveOut = true;
      }
    }
    if (haveIn && haveOut) {
      pair.found = true;
      pair.interfaceNumber = iface.number;
      pair.alternate = iface.alternate;
      return pair;
    }
  }
  return {};
}

bool ParseProductIds(std::string_view text, std::vector<uint16_t>* ids, std::string* error) {
  ids->clear();
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    const std::string original(item);
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
    int base = 10;
    if (item.size() > 2 && item[0] == '0' && (item[1] == 'x' || item[1] == 'X')) {
      item.remove_prefix(2);
      base = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), value, base);
    if (item.empty() || ec != std::errc() || end != item.data() + item.size() || value > 0xFFFF) {
      if (error) *error = "not a USB product id: \"" + original + "\"";
      return false;
    }
    ids->push_back(uint16_t(value));
  }
  return true;
}

std::shared_ptr<UsbDriver> CreateLibusbDriver(std::vector<uint16_t> productIds, std::string* error) {
  libusb_context* context = nullptr;
  if (int r = libusb_init(&context); r != 0) {
    if (error) *error = std::string("cannot initialise libusb: ") + libusb_strerror(r);
    return nullptr;
  }
  libusb_set_option(context, LIBUSB_OPTION_LOG_LEVEL, LIBUSB_LOG_LEVEL_NONE);
  return std::make_shared<LibusbDriver>(context, std::move(productIds));
}
