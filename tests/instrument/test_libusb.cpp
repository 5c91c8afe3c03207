// The libusb back end without hardware: no device attached, per-thread time-outs, the
// product-id option, and endpoint choice from recorded configuration descriptors.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "instrument/libusb_driver.h"

namespace {

std::vector<uint8_t> Fixture(const char* name) {
  std::ifstream in(std::string(QUIVRA_SOURCE_DIR) + "/tests/fixtures/instrument/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Libusb, NoDeviceAttached) {
  std::string error;
  std::shared_ptr<UsbDriver> driver = CreateLibusbDriver({}, &error);
  ASSERT_TRUE(driver) << error;
  uint32_t count = 99;
  ASSERT_EQ(driver->GetDeviceCount(&count), kUsbOk);
  EXPECT_EQ(count, 0u);
  char name[kUsbDeviceStringSize];
  EXPECT_NE(driver->GetDeviceString(0, name, 0), kUsbOk);
  uint32_t handle = 0;
  EXPECT_NE(driver->Open(0, &handle), kUsbOk);
  uint8_t buffer[16];
  uint32_t moved = 5;
  EXPECT_EQ(driver->Read(1, buffer, sizeof buffer, &moved), kUsbNoDevice);
  EXPECT_EQ(moved, 0u);
  EXPECT_EQ(driver->Write(1, buffer, sizeof buffer, &moved), kUsbNoDevice);
  EXPECT_NE(driver->Close(1), kUsbOk);
}

TEST(Libusb, TimeoutsArePerThread) {
  std::string error;
  std::shared_ptr<UsbDriver> driver = CreateLibusbDriver({0xEA60}, &error);
  ASSERT_TRUE(driver) << error;
  uint32_t r = 0, w = 0;
  driver->GetTimeouts(&r, &w);
  EXPECT_EQ(r, 5000u);
  EXPECT_EQ(w, 5000u);
  driver->SetTimeouts(100, 0);
  std::thread other([&] {
    uint32_t rr = 0, ww = 0;
    driver->GetTimeouts(&rr, &ww);
    EXPECT_EQ(rr, 5000u);
    driver->SetTimeouts(7, 8);
  });
  other.join();
  driver->GetTimeouts(&r, &w);
  EXPECT_EQ(r, 100u);
  EXPECT_EQ(w, 0u);
}

TEST(Libusb, ProductIds) {
  std::vector<uint16_t> ids;
  std::string error;
  ASSERT_TRUE(ParseProductIds("0xEA60,0XEA61,33000", &ids, &error));
  EXPECT_EQ(ids, (std::vector<uint16_t>{0xEA60, 0xEA61, 33000}));
  ASSERT_TRUE(ParseProductIds("", &ids, &error));
  EXPECT_TRUE(ids.empty());
  for (const char* bad : {"0x10000", "ea60", "1,,2", "0x", "-1", "12 "}) {
    EXPECT_FALSE(ParseProductIds(bad, &ids, &error)) << bad;
    EXPECT_NE(error.find("not a USB product id"), std::string::npos);
  }
}

TEST(Libusb, EndpointsFromRecordedDescriptors) {
  const struct {
    const char* file;
    bool found;
    int interfaceNumber;
    uint8_t in, out;
  } cases[] = {
      {"bridge_config.bin", true, 0, 0x81, 0x01},
      {"composite_config.bin", true, 1, 0x83, 0x02},
      {"truncated_config.bin", false, -1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<uint8_t> raw = Fixture(c.file);
    ASSERT_FALSE(raw.empty());
    const BulkPair pair = ChooseBulkEndpoints(ParseConfigDescriptor(raw.data(), raw.size()));
    EXPECT_EQ(pair.found, c.found);
    EXPECT_EQ(pair.interfaceNumber, c.interfaceNumber);
    EXPECT_EQ(pair.in, c.in);
    EXPECT_EQ(pair.out, c.out);
  }
  const std::vector<uint8_t> composite = Fixture("composite_config.bin");
  const auto interfaces = ParseConfigDescriptor(composite.data(), composite.size());
  ASSERT_EQ(interfaces.size(), 2u);
  EXPECT_EQ(interfaces[0].endpoints.size(), 1u);
  EXPECT_EQ(interfaces[1].endpoints.size(), 3u);
  // Every cut of a descriptor parses without reading past it.
  for (std::size_t n = 0; n <= composite.size(); ++n) ParseConfigDescriptor(composite.data(), n);
}

}  // namespace
