// Request/reply protocol over a scripted back end: exact request bytes, error codes, rows a
// protocol column lacks, the ready-wait and the file procedure.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <chrono>

#include "fake_driver.h"
#include "instrument/protocol.h"
#include "instrument/usb.h"

namespace {

using test::Bytes;
using test::Request;
using test::Responder;
using test::ScriptedDriver;
using test::Words;

class Protocol : public ::testing::Test {
 protected:
  void SetUp() override {
    driver = std::make_shared<ScriptedDriver>();
    UsbSetDriver(driver);
    UsbInit();
    dev.usbHandle = 5;
    dev.protocolRev = 0x107;
    dev.protocolColumn = 6;
    dev.sensorType = 4;  // shortest ready-wait pause
  }
  void TearDown() override { UsbSetDriver(nullptr); }
  std::shared_ptr<ScriptedDriver> driver;
  SpDevice dev;
};

TEST_F(Protocol, GetStatusRequestAndReplyBytes) {
  BuildRequest(dev.request, 0x1003, 2, 12);
  wire::PutU32(dev.request + 4, 0x1234);
  driver->QueueIn(Words({0, 0, 0}));
  driver->QueueReply();
  uint8_t data[12];
  {
    std::lock_guard<std::mutex> lock(dev.transactionLock);
    ASSERT_TRUE(Transact(&dev, dev.request, dev.reply, data, true));
  }
  const Bytes expected = {0x22, 0x33, 0x44, 0x55, 0x34, 0x12, 0, 0, 0x0C, 0, 0, 0, 0, 0, 0, 0,
                          0x1A, 0,    0,    0,    0x02, 0,    0, 0, 0x03, 0x10};
  ASSERT_EQ(driver->log().writes.size(), 1u);
  EXPECT_EQ(driver->log().writes[0], expected);
  EXPECT_EQ(driver->log().readSizes, (std::vector<uint32_t>{12, 16}));
  EXPECT_EQ(Bytes(dev.reply, dev.reply + 8), (Bytes{0x11, 0x33, 0x44, 0x55, 0x34, 0x12, 0, 0}));
  EXPECT_EQ(dev.reply[12], 0x00);
  EXPECT_EQ(dev.reply[13], 0x80);
  EXPECT_EQ(dev.transactionCount, 1u);

  // The wrapper sends the same bytes apart from the sequence, a fresh one below 32768.
  driver->ClearLog();
  driver->QueueIn(Words({0, 2, 0}));
  driver->QueueReply();
  uint32_t state = 0;
  ASSERT_TRUE(GetStatus(&dev, &state));
  EXPECT_EQ(state, 2u);
  Bytes sent = driver->log().writes.at(0);
  EXPECT_LT(wire::GetU32(sent.data() + 4), 32768u);
  wire::PutU32(sent.data() + 4, 0x1234);
  EXPECT_EQ(sent, expected);
}

TEST_F(Protocol, EachFailureLeavesItsErrorCode) {
  const struct {
    const char* what;
    std::function<void(ScriptedDriver&)> script;
    uint32_t error;
  } cases[] = {
      {"request write fails", [](ScriptedDriver& d) { d.FailWrite(0); }, 0x5001},
      {"request write short", [](ScriptedDriver& d) { d.ShortWrite(0, 10); }, 0x5001},
      {"data phase fails", [](ScriptedDriver& d) { d.QueueReadFailure(); }, 0x5002},
      {"data phase truncated", [](ScriptedDriver& d) { d.QueueIn(Bytes(5)); d.QueueReply(); }, 0x5002},
      {"status refused", [](ScriptedDriver& d) { d.QueueIn(Bytes(12)); d.QueueReply(0x0000); }, 0x5003},
      {"wrong magic", [](ScriptedDriver& d) { d.QueueIn(Bytes(12)); d.QueueReply(0x8000, 0x55443322); }, 0x5004},
      {"wrong sequence", [](ScriptedDriver& d) { d.QueueIn(Bytes(12)); d.QueueReply(0x8000, wire::kReplyMagic, 1); }, 0x5005},
      {"no reply", [](ScriptedDriver& d) { d.QueueIn(Bytes(12)); }, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    driver = std::make_shared<ScriptedDriver>();
    UsbSetDriver(driver);
    dev.transactionCount = 0;
    c.script(*driver);
    uint32_t state = 77;
    EXPECT_FALSE(GetStatus(&dev, &state));
    EXPECT_EQ(state, 77u);
    EXPECT_EQ(dev.lastError, c.error);
    EXPECT_EQ(dev.failedCommand, 0x1003u);
    EXPECT_EQ(dev.transactionCount, 0u);
  }
}

TEST_F(Protocol, CommandsTheColumnLacksOrOnAClosedEntrySendNothing) {
  dev.protocolRev = 0x104;
  dev.protocolColumn = wire::ProtocolColumn(0x104);
  float x, y, z, l;
  EXPECT_FALSE(ReadGains(&dev, &x, &y, &z, &l));
  EXPECT_FALSE(StartFlickerCapture(&dev, 1024, 2048, 0));
  EXPECT_TRUE(driver->log().writes.empty());

  // Variable data phases whose size the entry's counts cannot give.
  dev.protocolColumn = 6;
  uint8_t block[64];
  for (int32_t points : {0, -5, 0x7FFFFFFF}) {
    dev.spectrumPoints = points;
    EXPECT_FALSE(ReadSpectrum(&dev, block, sizeof block)) << points;
  }
  dev.pixelCount = 31;  // 66 bytes: more than the block holds
  EXPECT_FALSE(ReadPixels(&dev, block, sizeof block));
  EXPECT_TRUE(driver->log().writes.empty());

  dev.closed = true;
  uint32_t state;
  EXPECT_FALSE(GetStatus(&dev, &state));
  EXPECT_TRUE(driver->log().writes.empty());
}

TEST_F(Protocol, RevisionSelectsTheColumn) {
  const std::pair<uint16_t, uint16_t> cases[] = {
      {0x101, 0}, {0x104, 3}, {0x106, 5}, {0x107, 6}, {0x110, 6}, {0x100, 6}};
  for (auto [rev, column] : cases) EXPECT_EQ(wire::ProtocolColumn(rev), column) << std::hex << rev;
  driver->QueueIn(Words({0, 0xABCD0110}));
  driver->QueueReply();
  uint16_t rev = 0;
  ASSERT_TRUE(GetProtocolRevision(&dev, &rev));
  EXPECT_EQ(rev, 0x0110);
  EXPECT_EQ(driver->Codes(), std::vector<uint16_t>{0x0102});
}

TEST_F(Protocol, ArgumentsSitAtTheirOffsets) {
  Responder responder;
  responder.Attach(*driver);
  ASSERT_TRUE(StartFlickerCapture(&dev, 4096, 16384, 2));
  ASSERT_TRUE(StartMeasurement(&dev, 100, 3, 1, 9));
  std::vector<uint16_t> samples(3);
  responder.handlers[0x6001] = [](const Request&) { return Bytes{0x34, 0x12, 0xFF, 0xFF, 0x00, 0x80}; };
  ASSERT_TRUE(ReadFlickerSamples(&dev, 3, samples.data()));
  const auto requests = driver->log().requests;
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].commandLength, 24u);
  EXPECT_EQ(requests[0].args, (std::vector<uint32_t>{4096, 16384, 2, 0, 0}));
  EXPECT_EQ(requests[1].commandLength, 40u);
  EXPECT_EQ(requests[1].args, (std::vector<uint32_t>{100, 3, 1, 0, 0, 1, 9, 0, 0}));
  EXPECT_EQ(requests[2].dataLength, 6u);
  EXPECT_EQ(samples, (std::vector<uint16_t>{0x1234, 0xFFFF, 0x8000}));
}

TEST_F(Protocol, MatrixWordsHighFirstAndGains) {
  Responder responder;
  responder.Attach(*driver);
  responder.handlers[0x0020] = [](const Request& r) {
    Bytes data(168);
    for (int i = 0; i < 9; ++i) {
      const uint64_t bits = std::bit_cast<uint64_t>(double(i) + 0.5 + r.args[0]);
      wire::PutU32(data.data() + 40 + 8 * i, uint32_t(bits >> 32));
      wire::PutU32(data.data() + 44 + 8 * i, uint32_t(bits));
    }
    return data;
  };
  responder.handlers[0x0014] = [](const Request&) {
    Bytes data(52);
    const float gains[] = {1.5f, 2.25f, 0.75f, 3.0f};
    for (int i = 0; i < 4; ++i) wire::PutU32(data.data() + 4 + 4 * i, std::bit_cast<uint32_t>(gains[i]));
    return data;
  };
  double m[9];
  ASSERT_TRUE(ReadMatrix(&dev, 10, m));
  for (int i = 0; i < 9; ++i) EXPECT_EQ(m[i], i + 10.5);
  float x, y, z, l;
  ASSERT_TRUE(ReadGains(&dev, &x, &y, &z, &l));
  EXPECT_EQ(x, 1.5f);
  EXPECT_EQ(y, 2.25f);
  EXPECT_EQ(z, 0.75f);
  EXPECT_EQ(l, 3.0f);
}

// An instrument that stays busy for a given number of polls.
struct BusyInstrument {
  explicit BusyInstrument(ScriptedDriver& driver, uint32_t busyPolls = UINT32_MAX) : remaining(busyPolls) {
    responder.handlers[0x1003] = [this](const Request&) {
      const bool busy = remaining > 0;
      if (busy && remaining != UINT32_MAX) --remaining;
      return Words({0, busy ? 1u : 0u, 0});
    };
    responder.Attach(driver);
  }
  uint32_t remaining;
  Responder responder;
};

TEST_F(Protocol, ReadyWaitBudgetByModel) {
  const struct {
    uint16_t model;
    uint32_t limit, budget;
  } cases[] = {{0xB2, 100000, 3333}, {0xB5, 100000, 3333}, {0xB0, 29, 0}, {0xA2, 100000, 100000}, {0xC1, 300, 300}};
  for (const auto& c : cases) {
    dev.modelCode = c.model;
    EXPECT_EQ(ReadyWaitBudget(&dev, c.limit), c.budget) << std::hex << c.model;
  }
  // The budget is the number of polls made before giving up.
  BusyInstrument busy(*driver);
  dev.modelCode = 0xB2;
  EXPECT_FALSE(WaitReady(&dev, 300));
  EXPECT_EQ(driver->log().requests.size(), 10u);
  driver->ClearLog();
  dev.modelCode = 0xA2;
  EXPECT_FALSE(WaitReadyFast(&dev, 7));
  EXPECT_EQ(driver->log().requests.size(), 7u);
  driver->ClearLog();
  dev.modelCode = 0xB0;  // a budget of 0 still polls once
  EXPECT_FALSE(WaitReady(&dev, 10));
  EXPECT_EQ(driver->log().requests.size(), 1u);
}

TEST_F(Protocol, ReadyWaitEndsOnReadyOrAfterItsTime) {
  {
    BusyInstrument busy(*driver, 3);
    EXPECT_TRUE(WaitReady(&dev, 100));
    EXPECT_EQ(driver->log().requests.size(), 4u);
  }
  driver = std::make_shared<ScriptedDriver>();
  UsbSetDriver(driver);
  BusyInstrument stalled(*driver);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(WaitReady(&dev, 180000000, std::chrono::milliseconds(60)));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(50));
  EXPECT_LT(took, std::chrono::seconds(5));
}

// A small file system for the file procedure.
struct FileInstrument {
  FileInstrument(ScriptedDriver& driver, Bytes content, uint32_t chunk, bool exists = true)
      : file(std::move(content)) {
    r.handlers[0x4000] = [chunk](const Request&) { return Words({0, chunk}); };
    r.handlers[0x4010] = [this, exists](const Request&) {
      return Words({0, exists ? 1u : 0u, reportedSize ? reportedSize : uint32_t(file.size())});
    };
    r.handlers[0x4013] = [this](const Request& q) {
      Bytes part(file.begin() + std::min(offset, file.size()),
                 file.begin() + std::min(offset + q.dataLength, file.size()));
      offset += q.dataLength;
      return part;
    };
    r.Attach(driver);
  }
  Bytes file;
  std::size_t offset = 0;
  uint32_t reportedSize = 0;  // 0: the file's size
  Responder r;
};

TEST_F(Protocol, FileReadInChunks) {
  Bytes content(2500);
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = uint8_t(i * 13);
  FileInstrument fs(*driver, content, 1024);
  EXPECT_EQ(InstrumentFileSize(&dev, "/SYS1/YT2290_Info.CFG"), 2500u);
  driver->ClearLog();
  Bytes buffer(4096);
  uint32_t size = 0;
  ASSERT_TRUE(ReadInstrumentFile(&dev, "/SYS1/YT2290_Info.CFG", buffer.data(), uint32_t(buffer.size()), &size));
  EXPECT_EQ(size, 2500u);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 2500), content);
  std::vector<uint32_t> chunks;
  for (const Request& q : driver->log().requests)
    if (q.code == 0x4013) chunks.push_back(q.dataLength);
  EXPECT_EQ(chunks, (std::vector<uint32_t>{1024, 1024, 452}));
  EXPECT_EQ(driver->Codes().back(), 0x1003);  // ready-wait after the last chunk, no end command
}

TEST_F(Protocol, EmptyFileSucceedsWithoutChunks) {
  FileInstrument fs(*driver, {}, 512);
  uint8_t buffer[1];
  uint32_t size = 99;
  ASSERT_TRUE(ReadInstrumentFile(&dev, "/a", buffer, 0, &size));
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(driver->Codes(), (std::vector<uint16_t>{0x4000, 0x4002, 0x4010, 0x4011, 0x1003}));
}

TEST_F(Protocol, FileReadRefusesBadAnswers) {
  const struct {
    const char* what;
    uint32_t chunk;
    bool exists;
    uint32_t reportedSize;  // 0: the real size
    uint32_t capacity;
  } cases[] = {
      {"zero chunk", 0, true, 0, 100},
      {"file absent", 64, false, 0, 100},
      {"larger than the buffer", 64, true, 0, 99},
      {"absurd size", 64, true, 0xFFFFFFF0, 100},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    driver = std::make_shared<ScriptedDriver>();
    UsbSetDriver(driver);
    FileInstrument fs(*driver, Bytes(100, 'x'), c.chunk, c.exists);
    fs.reportedSize = c.reportedSize;
    Bytes buffer(c.capacity);
    uint32_t size = 7;
    EXPECT_FALSE(ReadInstrumentFile(&dev, "/f", buffer.data(), c.capacity, &size));
    EXPECT_EQ(size, 7u);
    const auto codes = driver->Codes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 0x4013), 0);  // no chunk was asked for
    EXPECT_EQ(codes.back(), 0x4014);                               // the transfer was ended
  }
}

TEST_F(Protocol, SelectFileBlockAndNameLimit) {
  Responder responder;
  responder.Attach(*driver);
  const std::string name(63, 'N');
  ASSERT_TRUE(SelectFile(&dev, name.c_str()));
  const auto writes = driver->log().writes;
  ASSERT_EQ(writes.size(), 2u);
  const Bytes& block = writes[1];
  ASSERT_EQ(block.size(), 132u);
  EXPECT_EQ(wire::GetU16(block.data()), 0x4002);
  for (int i = 0; i < 63; ++i) EXPECT_EQ(wire::GetU16(block.data() + 4 + 2 * i), 'N');
  EXPECT_EQ(wire::GetU16(block.data() + 130), 0);  // the terminator fills the last two bytes
  driver->ClearLog();
  EXPECT_FALSE(SelectFile(&dev, std::string(64, 'N').c_str()));
  EXPECT_TRUE(driver->log().writes.empty());
}

}  // namespace
