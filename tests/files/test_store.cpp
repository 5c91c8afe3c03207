// The measurement store: Keep, the saved file, the load path and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "analysis/figures.h"
#include "analysis/record.h"
#include "files/flktank.h"
#include "files/load_save.h"
#include "files/measurement_text.h"
#include "instrument/device.h"
#include "tests/files/file_helpers.h"

namespace {

namespace fs = std::filesystem;

// A light with a 100 Hz ripple (30 % by default) and a 20 Hz flicker of 5 % around 1 V,
// analysed.
FlickerRecordPtr Measured(uint32_t count, uint32_t freq, float ripple = 0.3f) {
  FlickerRecordPtr r = MakeFlickerRecord(count, freq, 100, 1000);
  if (!r) return r;
  for (uint32_t i = 0; i < count; ++i) {
    r->volts[i] = 1.0f + ripple * static_cast<float>(std::sin(2 * M_PI * 100.0 * i / freq)) +
                  0.05f * static_cast<float>(std::sin(2 * M_PI * 20.0 * i / freq));
  }
  FlickerRun(r.get(), 0, 0);
  return r;
}

using Store = FilesTest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

TEST_F(Store, SavedFileLayout) {
  FlickerRecordPtr r = Measured(4096, 10000);
  ASSERT_TRUE(r);
  TFlkTankMgr store;
  ASSERT_TRUE(store.Keep(r.get(), &device));
  store.record->gainIndex = 2;
  const fs::path path = dir / "m.xls";
  ASSERT_TRUE(store.SaveToFile(path));
  const std::string text = ReadAll(path);

  // 8-bit text, CR LF only, ending with the CR LF of the last spectrum row.
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(0, 11), "Model Name\t");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  std::size_t lf = 0, crlf = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++lf;
    if (text[i] == '\r') {
      ASSERT_EQ(text[i + 1], '\n') << i;
    }
    if (text[i] == '\n' && i > 0 && text[i - 1] == '\r') ++crlf;
  }
  EXPECT_EQ(lf, crlf);

  const std::vector<std::string> lines = Lines(text);
  ASSERT_EQ(lines.size(), 27u + 4096u + 2u + 2048u);
  const FlickerRecord& k = *store.record;
  const std::vector<std::string> head = {
      "Model Name\tTR7BQ",
      "Serial Number\tSIM00001",
      std::string("Time\t") + store.captureTime,
      "Sample Number\t4096",
      "Sample Frequency\t10000",
      "Frequnecy\t" + FormatValue(k.frequency),
      "RMS %\t" + FormatValue(k.rmsRatio * 100.0f),
      "RMS dB\t" + FormatValue(k.rmsDb),
      "JEITA %\t" + FormatValue(k.jeitaRatio * 100.0f),
      "JEITA dB\t" + FormatValue(k.jeitaDb),
      "VESA FMA\t" + FormatValue(k.fma * 100.0f),
      "VESA %\t" + FormatValue(k.vesaRatio * 100.0f),
      "VESA dB\t" + FormatValue(k.vesaDb),
      "DC\t" + FormatValue(k.spectrum->amplitude[0]),
      "contrast\t" + FormatValue(k.contrast * 100.0f),
      "contrast dB\t" + FormatValue(k.contrastDb),
      "Min\t" + FormatValue(k.minVolts),
      "Max\t" + FormatValue(k.maxVolts),
      "Max-Min\t" + FormatValue(k.maxVolts - k.minVolts),
      "Percentage(IES)\t" + FormatValue(k.percentFlicker * 100.0f),
      "Index(IES)\t" + FormatValue(k.flickerIndex),
      "Average\t" + FormatValue(k.average),
      "SVM\t" + FormatValue(k.svm),
      "AC/DC\t" + FormatValue(k.acDcRatio),
      "gain\t3",
      "",
      "Time(sec)\tVoltage",
  };
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(lines[i], head[i]) << "line " << i + 1;
  EXPECT_TRUE(std::regex_match(lines[2], std::regex("Time\t\\d{4}/\\d\\d/\\d\\d_\\d\\d:\\d\\d:\\d\\d")))
      << lines[2];
  EXPECT_GT(k.acDcRatio, 0.1f);  // so that line 24 shows the ratio is not scaled

  // Time column: 0 .. 4095/10000 s in steps of 1/10000 s.
  EXPECT_EQ(lines[27], "0.000000\t" + FormatValue(r->volts[0]));
  EXPECT_EQ(lines[28].substr(0, 9), "0.000100\t");
  EXPECT_EQ(lines[27 + 4095], "0.409500\t" + FormatValue(r->volts[4095]));
  for (std::size_t i = 0; i < 4096; ++i) {
    ASSERT_EQ(lines[27 + i], FormatValue(static_cast<float>(i / 10000.0)) + "\t" +
                                 FormatValue(r->volts[i]));
  }
  EXPECT_EQ(lines[27 + 4096], "");
  EXPECT_EQ(lines[28 + 4096], "Hz\tAmplitude");
  for (std::size_t k2 = 0; k2 < 2048; ++k2) {
    ASSERT_EQ(lines[29 + 4096 + k2], FormatValue(r->spectrum->frequency[k2]) + "\t" +
                                         FormatValue(r->spectrum->amplitude[k2]));
  }
}

TEST_F(Store, NoFundamentalAndUnknownInstrument) {
  FlickerRecordPtr r = Measured(1024, 1024);
  r->frequency = -1.0f;  // what a run that finds no fundamental leaves
  TFlkTankMgr store;
  ASSERT_TRUE(store.Keep(r.get(), nullptr));
  EXPECT_STREQ(store.modelName, "");
  EXPECT_STREQ(store.serialNumber, "");
  EXPECT_EQ(std::strlen(store.captureTime), 19u);
  ASSERT_TRUE(store.SaveToFile(dir / "m.xls"));
  const std::vector<std::string> lines = Lines(ReadAll(dir / "m.xls"));
  EXPECT_EQ(lines[0], "Model Name\t");
  EXPECT_EQ(lines[1], "Serial Number\t");
  EXPECT_EQ(lines[5], "Frequnecy\t-1.000000");
  EXPECT_EQ(lines[24], "gain\t1");  // a record made for the store keeps gain index 0
}

TEST_F(Store, IdentityIsCutTo15Characters) {
  std::snprintf(device.model, sizeof device.model, "ABCDEFGHIJKLMNOPQRSTUVWXYZ");
  std::memset(device.serial, 'S', sizeof device.serial);  // not even terminated
  TFlkTankMgr store;
  FlickerRecordPtr r = Measured(1024, 1024);
  ASSERT_TRUE(store.Keep(r.get(), &device));
  EXPECT_STREQ(store.modelName, "ABCDEFGHIJKLMNO");
  EXPECT_STREQ(store.serialNumber, "SSSSSSSSSSSSSSS");
}

// Loading a file or a PstLM run leaves the store with a record of other sizes than the
// continuous capture's: Keep must replace the kept contents instead of overrunning them.
TEST_F(Store, KeepCopesWithRecordsOfOtherSizes) {
  TFlkTankMgr store;
  store.Install(MakeFlickerRecord(16384, 32768, 100, 1000));
  store.record->gainIndex = 3;
  FlickerRecord* const kept = store.record.get();
  const std::pair<uint32_t, uint32_t> sizes[] = {{1024, 1024}, {65536, 102400}, {16384, 32768},
                                                 {16384, 32768}, {2000, 8000}};
  for (const auto& [count, freq] : sizes) {
    FlickerRecordPtr r = Measured(count, freq, 0.1f + count % 7 * 0.05f);
    ASSERT_TRUE(store.Keep(r.get(), &device)) << count;
    ASSERT_EQ(store.record.get(), kept) << "the kept record stays where it is";
    const FlickerRecord& k = *store.record;
    EXPECT_EQ(k.sampleCount, count);
    EXPECT_EQ(k.sampleFreq, freq);
    EXPECT_EQ(k.bufferLen, r->bufferLen);
    EXPECT_EQ(k.gainIndex, 3);
    EXPECT_EQ(k.volts, r->volts);
    EXPECT_EQ(k.firOut, r->firOut);
    EXPECT_EQ(k.spectrum->amplitude, r->spectrum->amplitude);
    EXPECT_EQ(k.spectrum->frequency, r->spectrum->frequency);
    for (const FigureInfo& f : FigureTable()) {
      EXPECT_EQ(FigureValueOf(k, f), FigureValueOf(*r, f)) << f.name;
    }
    EXPECT_STREQ(store.modelName, "TR7BQ");
    EXPECT_STREQ(store.serialNumber, "SIM00001");
    // The kept copy analyses like the original: its engine matches its buffers.
    FlickerRun(store.record.get(), 0, 0);
    EXPECT_FLOAT_EQ(store.record->frequency, r->frequency);
  }
  EXPECT_FALSE(store.Keep(nullptr, &device));
  EXPECT_EQ(store.record.get(), kept);

  TFlkTankMgr empty;  // no record installed yet: Keep makes one
  FlickerRecordPtr r = Measured(1024, 1024);
  ASSERT_TRUE(empty.Keep(r.get(), &device));
  ASSERT_TRUE(empty.record);
  EXPECT_NE(empty.record.get(), r.get());
  EXPECT_EQ(empty.record->volts, r->volts);
}

TEST_F(Store, SaveLoadRoundTripReproducesEveryFigure) {
  FlickerRecordPtr r = Measured(4096, 10000);
  TFlkTankMgr saver;
  ASSERT_TRUE(saver.Keep(r.get(), &device));
  saver.record->gainIndex = 2;
  ASSERT_TRUE(saver.SaveToFile(dir / "m.xls"));

  // The loading store shows another measurement with its own identity and time.
  TFlkTankMgr loader;
  SpDevice other;
  std::snprintf(other.model, sizeof other.model, "OTHER");
  FlickerRecordPtr previous = Measured(1024, 2048);
  ASSERT_TRUE(loader.Keep(previous.get(), &other));
  std::snprintf(loader.captureTime, sizeof loader.captureTime, "2020/07/31_14:05:09");
  FlickerRecord* const shown = loader.record.get();

  const LoadResult result = LoadMeasurementFile(loader, dir / "m.xls");
  ASSERT_EQ(result.status, LoadStatus::Loaded);
  EXPECT_FALSE(result.workbook);
  EXPECT_EQ(result.header.sampleCount, 4096);
  EXPECT_EQ(result.header.sampleFreq, 10000);
  EXPECT_EQ(result.header.gainIndex, 2);
  EXPECT_EQ(result.samplesRead, 4096);
  EXPECT_EQ(loader.record.get(), shown);
  EXPECT_STREQ(loader.modelName, "OTHER");
  EXPECT_STREQ(loader.captureTime, "2020/07/31_14:05:09");

  const FlickerRecord& l = *loader.record;
  EXPECT_EQ(l.sampleCount, 4096u);
  EXPECT_EQ(l.sampleFreq, 10000u);
  EXPECT_EQ(l.gainIndex, 2);
  for (uint32_t i = 0; i < 4096; ++i) ASSERT_NEAR(l.volts[i], r->volts[i], 6e-7) << i;
  for (const FigureInfo& f : FigureTable()) {
    EXPECT_EQ(FigureText(&l, f.name), FigureText(r.get(), f.name)) << f.name;
    EXPECT_NEAR(FigureValueOf(l, f), FigureValueOf(*r, f),
                1e-4 * std::max(1.0f, std::fabs(FigureValueOf(*r, f))))
        << f.name;
  }

  // Saved again, the file carries the loading store's identity and the same figures.
  ASSERT_TRUE(loader.SaveToFile(dir / "again.xls"));
  const std::vector<std::string> a = Lines(ReadAll(dir / "m.xls"));
  const std::vector<std::string> b = Lines(ReadAll(dir / "again.xls"));
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(b[0], "Model Name\tOTHER");
  EXPECT_EQ(b[2], "Time\t2020/07/31_14:05:09");
  for (std::size_t i = 27; i < 27 + 4096; ++i) ASSERT_EQ(a[i], b[i]) << "line " << i + 1;
}

TEST_F(Store, LoadRefusesWhatIsNoMeasurement) {
  const std::string good = ReadAll(fs::path(QUIVRA_SOURCE_DIR) / "tests/fixtures/files/saved-by-quivra.xls");
  ASSERT_FALSE(good.empty());
  auto replaced = [&](const std::string& from, const std::string& to) {
    std::string s = good;
    s.replace(s.find(from), from.size(), to);
    return s;
  };
  struct Case {
    const char* what;
    std::string bytes;
  };
  const Case cases[] = {
      {"empty file", ""},
      {"text without a header", "just some notes\r\nabout a lamp\r\n"},
      {"zero samples", replaced("Sample Number\t1024", "Sample Number\t0")},
      {"too many samples", replaced("Sample Number\t1024", "Sample Number\t10240001")},
      {"negative frequency", replaced("Sample Frequency\t10240", "Sample Frequency\t-10240")},
      {"frequency too high", replaced("Sample Frequency\t10240", "Sample Frequency\t1000001")},
      {"no data section", replaced("Time(sec)\tVoltage", "Time(sec)\tVolt")},
      {"damaged workbook", std::string("\xD0\xCF\x11\xE0", 4) + std::string(508, 'x')},
      {"damaged zip", std::string("PK\x03\x04", 4) + std::string(508, 'x')},
  };
  for (const Case& c : cases) {
    TFlkTankMgr store;
    store.Install(Measured(1024, 1024));
    FlickerRecord* const shown = store.record.get();
    const std::vector<float> volts = shown->volts;
    const float frequency = shown->frequency;
    const fs::path path = dir / "bad.xls";
    WriteAll(path, c.bytes);
    const LoadResult r = LoadMeasurementFile(store, path);
    EXPECT_EQ(r.status, LoadStatus::NotCorrectFormat) << c.what;
    ASSERT_EQ(store.record.get(), shown) << c.what;
    EXPECT_EQ(shown->volts, volts) << c.what;
    EXPECT_EQ(shown->frequency, frequency) << c.what;
  }

  TFlkTankMgr store;
  EXPECT_EQ(LoadMeasurementFile(store, dir / "missing.xls").status, LoadStatus::Unreadable);
  EXPECT_EQ(LoadMeasurementFile(store, dir).status, LoadStatus::Unreadable);
  EXPECT_FALSE(store.record);
  EXPECT_EQ(NotCorrectFormatMessage("/data/lamp.xls"),
            "/data/lamp.xls not a correct format for quivra");
}

// A file whose size is a multiple of 512 and whose last byte is a bare CR: every scan must
// stop at the end of the file.
TEST_F(Store, LoadStaysInsideTheFile) {
  std::string text = "Sample Number\t4\r\nSample Frequency\t1000\r\ngain\t2\r\n\r\nTime(sec)\tVoltage\r\n"
                     "0\t1.5\r\n0.001\t2.5\r\n";
  text += "0.002\t3.5";
  text += std::string(512 - text.size() - 1, '0');  // one long last value cell
  text += '\r';
  ASSERT_EQ(text.size(), 512u);
  WriteAll(dir / "edge.xls", text);
  TFlkTankMgr store;
  const LoadResult r = LoadMeasurementFile(store, dir / "edge.xls");
  ASSERT_EQ(r.status, LoadStatus::Loaded);
  EXPECT_EQ(r.samplesRead, 3);
  EXPECT_EQ(store.record->gainIndex, 1);
  EXPECT_EQ(store.record->volts[0], 1.5f);
  EXPECT_EQ(store.record->volts[2], 3.5f);
  EXPECT_EQ(store.record->volts[3], 0.0f);  // the short data section leaves zero
}

TEST_F(Store, SaveNamesAndFailures) {
  EXPECT_EQ(MeasurementSavePath("result"), fs::path("result.xls"));
  EXPECT_EQ(MeasurementSavePath("result.xls"), fs::path("result.xls.xls"));

  TFlkTankMgr store;
  EXPECT_FALSE(store.SaveToFile(dir / "none.xls"));  // nothing kept yet
  EXPECT_FALSE(fs::exists(dir / "none.xls"));
  store.Install(Measured(1024, 1024));
  EXPECT_FALSE(store.SaveToFile(dir / "no-such-folder" / "m.xls"));
  EXPECT_FALSE(store.SaveToFile(dir));

  // Saving a record directly with an instrument's identity (the command line's way).
  FlickerRecordPtr r = Measured(2048, 4096);
  r->gainIndex = 3;
  ASSERT_TRUE(SaveRecordToFile(*r, &device, dir / "direct.xls"));
  const std::vector<std::string> lines = Lines(ReadAll(dir / "direct.xls"));
  ASSERT_EQ(lines.size(), 27u + 2048u + 2u + 1024u);
  EXPECT_EQ(lines[0], "Model Name\tTR7BQ");
  EXPECT_EQ(lines[1], "Serial Number\tSIM00001");
  EXPECT_EQ(lines[24], "gain\t4");
}

}  // namespace
