// The wire format of the simulator's replies: request parsing, data phase before reply,
// blocks, refusals, the command set of each protocol revision, the file system.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>

#include "sim_host.h"

namespace {

using namespace wire;

TEST(SimProtocol, GetStatusExchangeIsByteExact) {
  SimHost host(SimFromJson("[{}]"));
  ASSERT_TRUE(host.opened());
  const std::vector<uint8_t> request = SimRequest(0x1003, 2, {}, 12, 0x1234);
  const std::vector<uint8_t> expected = {0x22, 0x33, 0x44, 0x55, 0x34, 0x12, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x00, 0x1A, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x10};
  ASSERT_EQ(request, expected);
  uint32_t moved = 0;
  ASSERT_EQ(host.driver().Write(host.handle(), request.data(), 26, &moved), kUsbOk);
  EXPECT_EQ(moved, 26u);
  // The data phase comes first and is a transfer of its own: a read asking for more gets
  // the 12 bytes only.
  uint8_t buffer[64];
  ASSERT_EQ(host.driver().Read(host.handle(), buffer, sizeof buffer, &moved), kUsbOk);
  ASSERT_EQ(moved, 12u);
  EXPECT_EQ(GetU32(buffer + 4), 0u);  // ready
  ASSERT_EQ(host.driver().Read(host.handle(), buffer, sizeof buffer, &moved), kUsbOk);
  ASSERT_EQ(moved, 16u);
  const uint8_t replyStart[] = {0x11, 0x33, 0x44, 0x55, 0x34, 0x12, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(buffer, replyStart, 8), 0);
  EXPECT_EQ(buffer[12], 0x00);
  EXPECT_EQ(buffer[13], 0x80);
  // Nothing more to read.
  EXPECT_EQ(host.driver().Read(host.handle(), buffer, 16, &moved), kUsbTimeout);
  EXPECT_EQ(moved, 0u);

  SimCounters counters;
  ASSERT_TRUE(host.driver().Counters("SIM00001", &counters));
  EXPECT_EQ(counters.requests[0x1003], 1u);
  EXPECT_EQ(counters.lastRequest, expected);
}

TEST(SimProtocol, InformationAndConfigurationBlocks) {
  SimHost host(SimFromJson(R"([{"model": "TR7C", "serial": "TC0042", "firmware": [1, 2, 3, 4],
      "hardware": [7, 5, 0, 2], "wavelengthRange": [360, 830], "pixelCount": 2048, "sensorType": 3}])"));
  SimExchange info = host.Send(0x0002, 2, {}, 80);
  ASSERT_TRUE(info.Accepted());
  EXPECT_EQ(SimFloatAt(info.data, 4), 471.0f);
  EXPECT_EQ(SimFloatAt(info.data, 8), 360.0f);
  EXPECT_EQ(SimFloatAt(info.data, 12), 830.0f);
  EXPECT_EQ(GetU16(info.data.data() + 20), 0xA5);
  EXPECT_EQ(info.data[22], 5);  // second number
  EXPECT_EQ(info.data[23], 7);  // first number
  EXPECT_EQ(info.data[28], 4);  // build
  EXPECT_EQ(info.data[29], 3);  // patch
  EXPECT_EQ(info.data[30], 2);  // minor
  EXPECT_EQ(info.data[31], 1);  // major
  EXPECT_EQ(GetU16(info.data.data() + 36), 0);
  EXPECT_EQ(GetU16(info.data.data() + 38), 2);
  EXPECT_STREQ(reinterpret_cast<const char*>(info.data.data() + 40), "TC0042");

  SimExchange config = host.Send(0x0005, 2, {}, 44);
  ASSERT_TRUE(config.Accepted());
  EXPECT_EQ(config.Word(1), 3u);      // sensorType at 4
  EXPECT_EQ(config.Word(8), 2048u);   // pixelCount at 32

  SimExchange rev = host.Send(0x0102, 2, {}, 8);
  ASSERT_TRUE(rev.Accepted());
  EXPECT_EQ(rev.Word(1) & 0xFFFF, 0x107u);
  SimExchange ping = host.Send(0x0101, 2, {}, 8);
  ASSERT_TRUE(ping.Accepted());
  EXPECT_NE(ping.Word(1), 0u);
}

TEST(SimProtocol, CalibrationBlocks) {
  SimHost host(SimFromJson(R"([{"gains": [1.5, 2, 0.25, 0.5], "matrix": [1, 0.5, 0, 0, 0, 1, -0.125, 0, 3],
      "matrixIndex": 7, "matrixName": "Factory", "darkVariant": 1}])"));
  SimExchange gains = host.Send(0x0014, 2, {}, 52);
  ASSERT_TRUE(gains.Accepted());
  EXPECT_EQ(SimFloatAt(gains.data, 4), 1.5f);
  EXPECT_EQ(SimFloatAt(gains.data, 8), 2.0f);
  EXPECT_EQ(SimFloatAt(gains.data, 12), 0.25f);
  EXPECT_EQ(SimFloatAt(gains.data, 16), 0.5f);

  SimExchange index = host.Send(0x0022, 2, {}, 8);
  ASSERT_TRUE(index.Accepted());
  EXPECT_EQ(index.Word(1), 7u);
  SimExchange matrix = host.Send(0x0020, 12, {7}, 168);
  ASSERT_TRUE(matrix.Accepted());
  EXPECT_STREQ(reinterpret_cast<const char*>(matrix.data.data() + 8), "Factory");
  const double expected[9] = {1, 0.5, 0, 0, 0, 1, -0.125, 0, 3};
  for (int k = 0; k < 9; ++k) {
    const uint64_t bits = uint64_t(GetU32(matrix.data.data() + 40 + 8 * k)) << 32 | GetU32(matrix.data.data() + 44 + 8 * k);
    EXPECT_EQ(std::bit_cast<double>(bits), expected[k]) << k;
  }
  EXPECT_EQ(host.Send(0x0020, 12, {6}, 168).Status(), kSimStatusBadArgument);
  SimExchange variant = host.Send(0x0024, 2, {}, 8);
  ASSERT_TRUE(variant.Accepted());
  EXPECT_EQ(variant.Word(1), 1u);
}

// Requests the instrument refuses: the announced data phase is still delivered (as zeros),
// then a reply with the request's sequence and the refusal status.
TEST(SimProtocol, RefusalsKeepTheHostInStep) {
  struct Case {
    const char* what;
    const char* instrument;
    std::vector<uint8_t> request;
    uint32_t dataLength;
    uint16_t status;
  };
  std::vector<uint8_t> badMagic = SimRequest(0x1003, 2, {}, 12);
  badMagic[0] ^= 1;
  std::vector<uint8_t> badLength = SimRequest(0x1003, 2, {}, 12);
  PutU32(badLength.data() + kOffRequestLength, 27);
  const Case cases[] = {
      {"unknown code", "{}", SimRequest(0x7777, 2, {}, 8), 8, kSimStatusUnknownCommand},
      {"row the protocol lacks", R"({"protocolRevision": 260})", SimRequest(0x0014, 2, {}, 52), 52,
       kSimStatusUnknownCommand},
      {"row never answered", "{}", SimRequest(0x2001, 2, {}, 0), 0, kSimStatusUnknownCommand},
      {"bad magic", "{}", badMagic, 0, kSimStatusMalformed},
      {"request length", "{}", badLength, 12, kSimStatusMalformed},
      {"command length of another command", "{}", SimRequest(0x1003, 8, {}, 12), 12, kSimStatusMalformed},
      {"command length 3", "{}", SimRequest(0x1003, 3, {}, 12), 12, kSimStatusMalformed},
      {"data length too short", "{}", SimRequest(0x0002, 2, {}, 40), 40, kSimStatusMalformed},
      {"data length too long", "{}", SimRequest(0x0003, 2, {}, 4 * 401 + 20), 4 * 401 + 20, kSimStatusMalformed},
      {"range 4", "{}", SimRequest(0x6000, 24, {32768, 1024, 4}, 0), 0, kSimStatusBadArgument},
      {"no samples", "{}", SimRequest(0x6000, 24, {32768, 0, 0}, 0), 0, kSimStatusBadArgument},
      {"sampling at 0 Hz", "{}", SimRequest(0x6000, 24, {0, 1024, 0}, 0), 0, kSimStatusBadArgument},
      {"samples before a capture", "{}", SimRequest(0x6001, 16, {512}, 1024), 1024, kSimStatusOutOfOrder},
      {"shutter value 2", "{}", SimRequest(0x5010, 24, {2}, 0), 0, kSimStatusBadArgument},
      {"shutter of a model without", R"({"model": "TR7A"})", SimRequest(0x5010, 24, {1}, 0), 0,
       kSimStatusUnknownCommand},
      {"current start on TR7C 1.1.6", R"({"model": "TR7C", "firmware": [1, 1, 6, 0]})",
       SimRequest(0x1007, 40, {100, 1, 1, 0, 0, 0, 0, 0}, 0), 0, kSimStatusUnknownCommand},
      {"integration time 0", "{}", SimRequest(0x1001, 16, {0, 0, 1}, 0), 0, kSimStatusBadArgument},
      {"file chunk without transfer", "{}", SimRequest(0x4013, 2, {}, 16), 16, kSimStatusOutOfOrder},
      {"transfer of no file", "{}", SimRequest(0x4011, 12, {1, 10}, 0), 0, kSimStatusOutOfOrder},
  };
  for (const Case& c : cases) {
    SimHost host(SimFromJson(std::string("[") + c.instrument + "]"));
    const SimExchange x = host.SendRaw(c.request, c.dataLength);
    ASSERT_EQ(x.dataStatus, kUsbOk) << c.what;
    EXPECT_EQ(x.dataMoved, c.dataLength) << c.what;
    EXPECT_TRUE(std::all_of(x.data.begin(), x.data.end(), [](uint8_t b) { return b == 0; })) << c.what;
    ASSERT_EQ(x.replyStatus, kUsbOk) << c.what;
    EXPECT_EQ(x.Magic(), kReplyMagic) << c.what;
    EXPECT_EQ(x.Sequence(), GetU32(c.request.data() + 4)) << c.what;
    EXPECT_EQ(x.Status(), c.status) << c.what;
  }
  // Accepted counterparts of two of them.
  SimHost tr7c(SimFromJson(R"([{"model": "TR7C", "firmware": [1, 1, 7, 0]}])"));
  EXPECT_TRUE(tr7c.Send(0x1007, 40, {100, 1, 1, 0, 0, 0, 0, 0}).Accepted());
  EXPECT_TRUE(tr7c.Send(0x1001, 16, {100, 0, 1}).Accepted());
}

// Each protocol revision answers exactly the commands its column of the command table has.
TEST(SimProtocol, RevisionDecidesTheCommandSet) {
  struct Command {
    uint16_t code;
    uint32_t commandLength;
    std::vector<uint32_t> args;
    uint32_t dataLength;
  };
  const std::vector<Command> commands = {
      {0x0002, 2, {}, 80},           {0x0003, 2, {}, 4 * 401 + 16},  {0x0005, 2, {}, 44},
      {0x0006, 2, {}, 2 * 1024 + 4}, {0x1001, 16, {100, 0, 1}, 0},   {0x1002, 8, {1}, 0},
      {0x1003, 2, {}, 12},           {0x1004, 8, {1}, 0},            {0x4000, 2, {}, 8},
      {0x4010, 2, {}, 12},           {0x4014, 2, {}, 0},             {0x1007, 40, {100, 1, 1, 0, 0, 1, 0, 0}, 0},
      {0x6000, 24, {32768, 1024, 0}, 0}, {0x6001, 16, {1024}, 2048}, {0x5010, 24, {1}, 0},
      {0x0014, 2, {}, 52},           {0x0022, 2, {}, 8},             {0x0020, 12, {0}, 168},
      {0x0024, 2, {}, 8},            {0x1008, 16, {60, 1}, 0},       {0x6020, 16, {60, 1}, 0},
  };
  for (int revision : {0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0x107, 0x110}) {
    SimHost host(SimFromJson("[{\"protocolRevision\": " + std::to_string(revision) + "}]"));
    const int column = ProtocolColumn(uint16_t(revision));
    for (const Command& c : commands) {
      std::vector<uint8_t> request = SimRequest(c.code, c.commandLength, {}, c.dataLength);
      for (std::size_t k = 0; k < c.args.size(); ++k) PutU32(request.data() + kOffArgs + 4 * k, c.args[k]);
      const SimExchange x = host.SendRaw(request, c.dataLength);
      ASSERT_EQ(x.replyStatus, kUsbOk);
      // Row 55 of the later columns carries the code of the first four-angle preparation.
      bool inColumn = false;
      for (int row = 0; row < kCommandRows; ++row) inColumn = inColumn || CommandCode(row, column) == c.code;
      EXPECT_EQ(x.Status() == kStatusAccepted, inColumn)
          << "revision 0x" << std::hex << revision << " code 0x" << c.code << " status 0x" << x.Status();
    }
  }
}

TEST(SimProtocol, FourAngleFileTransfer) {
  const std::string text = "Version:3\r\nID:9\r\nSN:00777\r\n";
  SimHost host(SimFromJson(R"([{"model": "TR9G", "fileChunk": 8, "fourAngleFile": "Version:3\r\nID:9\r\nSN:00777\r\n"}])"));
  SimExchange chunk = host.Send(0x4000, 2, {}, 8);
  ASSERT_TRUE(chunk.Accepted());
  EXPECT_EQ(chunk.Word(1), 8u);
  ASSERT_TRUE(host.SelectFile("/SYS1/YT2290_Info.CFG").Accepted());
  SimCounters counters;
  ASSERT_TRUE(host.driver().Counters("SIM00001", &counters));
  ASSERT_EQ(counters.lastWriteData.size(), 132u);
  EXPECT_EQ(GetU16(counters.lastWriteData.data()), 0x4002);
  SimExchange info = host.Send(0x4010, 2, {}, 12);
  ASSERT_TRUE(info.Accepted());
  EXPECT_EQ(info.Word(1), 1u);
  ASSERT_EQ(info.Word(2), text.size());
  EXPECT_EQ(host.Send(0x4011, 12, {1, uint32_t(text.size()) + 1}).Status(), kSimStatusBadArgument);
  ASSERT_TRUE(host.Send(0x4011, 12, {1, uint32_t(text.size())}).Accepted());
  EXPECT_EQ(host.Send(0x4013, 2, {}, 9).Status(), kSimStatusBadArgument);  // above the chunk size
  std::string received;
  while (received.size() < text.size()) {
    const uint32_t n = uint32_t(std::min<std::size_t>(8, text.size() - received.size()));
    SimExchange part = host.Send(0x4013, 2, {}, n);
    ASSERT_TRUE(part.Accepted());
    received.append(part.data.begin(), part.data.end());
  }
  EXPECT_EQ(received, text);
  EXPECT_EQ(host.Send(0x4013, 2, {}, 1).Status(), kSimStatusBadArgument);  // past the end
  EXPECT_TRUE(host.Send(0x4014, 2).Accepted());

  // Another name, a four-angle unit without its file, and another model: no such file.
  ASSERT_TRUE(host.SelectFile("/SYS1/Other.CFG").Accepted());
  EXPECT_EQ(host.Send(0x4010, 2, {}, 12).Word(1), 0u);
  for (const char* instrument : {R"({"model": "VD2A", "fourAngleFile": null})", R"({"model": "TR7BQ"})"}) {
    SimHost other(SimFromJson(std::string("[") + instrument + "]"));
    ASSERT_TRUE(other.SelectFile("/SYS1/YT2290_Info.CFG").Accepted());
    SimExchange none = other.Send(0x4010, 2, {}, 12);
    ASSERT_TRUE(none.Accepted());
    EXPECT_EQ(none.Word(1), 0u) << instrument;
  }
  // The default file of a four-angle unit.
  SimHost vd2a(SimFromJson(R"([{"model": 197}])"));
  ASSERT_TRUE(vd2a.SelectFile("/SYS1/YT2290_Info.CFG").Accepted());
  EXPECT_EQ(vd2a.Send(0x4010, 2, {}, 12).Word(2), std::strlen(kSimFourAngleFileText));
  EXPECT_EQ(vd2a.Send(0x0024, 2, {}, 8).Word(1), 1u);  // dark variant of four-angle units
}

TEST(SimProtocol, SelectFileNeedsItsBlock) {
  SimHost host(SimFromJson(R"([{"model": "TR9G"}])"));
  // A name that fills all 64 UTF-16 units leaves no room for the terminator.
  std::vector<uint8_t> block(132, 0);
  PutU16(block.data(), 0x4002);
  for (std::size_t at = 4; at < 132; at += 2) PutU16(block.data() + at, 'A');
  EXPECT_EQ(host.SendRaw(SimRequest(0x4002, 2, {}, 132), 132, false, block).Status(), kSimStatusBadArgument);
  // A block whose first word is not the command code.
  std::vector<uint8_t> wrong(132, 0);
  EXPECT_EQ(host.SendRaw(SimRequest(0x4002, 2, {}, 132), 132, false, wrong).Status(), kSimStatusMalformed);
  // A block of another length is taken whole, then refused.
  std::vector<uint8_t> small(64, 0);
  PutU16(small.data(), 0x4002);
  const SimExchange x = host.SendRaw(SimRequest(0x4002, 2, {}, 64), 64, false, small);
  EXPECT_EQ(x.dataMoved, 64u);
  EXPECT_EQ(x.Status(), kSimStatusMalformed);
}

}  // namespace
