// Workbooks saved by a spreadsheet program from a measurement file read back as that file.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zip.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/record.h"
#include "files/flktank.h"
#include "files/load_save.h"
#include "files/measurement_text.h"
#include "files/workbook.h"
#include "tests/files/file_helpers.h"

namespace {

const std::filesystem::path kFixtures = std::filesystem::path(QUIVRA_SOURCE_DIR) / "tests/fixtures/files";

std::vector<std::string> SplitRows(const std::string& text) {
  std::vector<std::string> rows;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      rows.push_back(text.substr(pos));
      break;
    }
    rows.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  return rows;
}

std::vector<std::string> SplitCells(const std::string& row) {
  std::vector<std::string> cells;
  std::size_t pos = 0;
  while (true) {
    const std::size_t tab = row.find('\t', pos);
    cells.push_back(row.substr(pos, tab == std::string::npos ? tab : tab - pos));
    if (tab == std::string::npos) return cells;
    pos = tab + 1;
  }
}

struct Kind {
  const char* file;
  WorkbookKind kind;
};

class ResavedWorkbook : public ::testing::TestWithParam<Kind> {};

TEST_P(ResavedWorkbook, ReadsBackAsTheTextItWasSavedFrom) {
  const std::string original = ReadAll(kFixtures / "saved-by-quivra.xls");
  const std::filesystem::path path = kFixtures / GetParam().file;
  std::string text = ReadAll(path);
  ASSERT_FALSE(original.empty());
  ASSERT_EQ(DetectWorkbook(text), GetParam().kind);
  ASSERT_TRUE(WorkbookToText(text, path));
  EXPECT_EQ(text.c_str()[text.size()], '\0');

  // Row by row and cell by cell the same: texts exactly, numbers by value (the spreadsheet
  // drops trailing zeros: 0.073600 comes back as 0.0736).
  const std::vector<std::string> want = SplitRows(original), got = SplitRows(text);
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    const std::vector<std::string> w = SplitCells(want[i]), g = SplitCells(got[i]);
    ASSERT_EQ(g.size(), w.size()) << "row " << i << ": " << got[i];
    for (std::size_t c = 0; c < w.size(); ++c) {
      if (IsNumber(w[c])) {
        ASSERT_TRUE(IsNumber(g[c])) << "row " << i << ": " << got[i];
        ASSERT_EQ(ParseDecimal(g[c]), ParseDecimal(w[c])) << "row " << i << ": " << got[i];
      } else {
        ASSERT_EQ(g[c], w[c]) << "row " << i;
      }
    }
  }

  // And through the parser: the same header and the same samples.
  FileHeader fromText, fromWorkbook;
  ASSERT_TRUE(ParseHeader(original, &fromText));
  ASSERT_TRUE(ParseHeader(text, &fromWorkbook));
  EXPECT_EQ(fromWorkbook.sampleCount, 1024);
  EXPECT_EQ(fromWorkbook.sampleFreq, 10240);
  EXPECT_EQ(fromWorkbook.gainIndex, 1);
  EXPECT_EQ(fromWorkbook.sampleCount, fromText.sampleCount);
  EXPECT_EQ(fromWorkbook.sampleFreq, fromText.sampleFreq);
  EXPECT_EQ(fromWorkbook.gainIndex, fromText.gainIndex);
  FlickerRecordPtr a = MakeFlickerRecord(1024, 10240, 100, 1000);
  FlickerRecordPtr b = MakeFlickerRecord(1024, 10240, 100, 1000);
  ASSERT_EQ(LoadSamplesInto(a.get(), original), 1024);
  ASSERT_EQ(LoadSamplesInto(b.get(), text), 1024);
  EXPECT_EQ(a->volts, b->volts);
}

TEST_P(ResavedWorkbook, LoadPathConvertsAndAnnouncesTheWait) {
  TFlkTankMgr store;
  int announced = 0;
  const LoadResult r = LoadMeasurementFile(store, kFixtures / GetParam().file, {},
                                           [&] { ++announced; });
  ASSERT_EQ(r.status, LoadStatus::Loaded);
  EXPECT_TRUE(r.workbook);
  EXPECT_EQ(announced, 1);
  EXPECT_EQ(r.samplesRead, 1024);
  ASSERT_TRUE(store.record);
  EXPECT_EQ(store.record->gainIndex, 1);
  EXPECT_FLOAT_EQ(store.record->frequency, 100.0f);
}

TEST_P(ResavedWorkbook, DamagedCopiesAreRefused) {
  const std::filesystem::path path = kFixtures / GetParam().file;
  const std::string bytes = ReadAll(path);
  const std::filesystem::path copy =
      std::filesystem::temp_directory_path() /
      ("quivra-damaged-" + std::to_string(::getpid()) + path.extension().string());
  for (const std::size_t keep : {std::size_t{3}, std::size_t{600}, bytes.size() / 2}) {
    std::ofstream(copy, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(keep));
    TFlkTankMgr store;
    const LoadResult r = LoadMeasurementFile(store, copy);
    // A truncated UTF-16 text is still text: it may load what it holds, never crash.
    if (GetParam().kind != WorkbookKind::Utf16) {
      EXPECT_EQ(r.status, LoadStatus::NotCorrectFormat) << keep;
      EXPECT_FALSE(store.record) << keep;
    }
    EXPECT_TRUE(r.workbook);
  }
  std::filesystem::remove(copy);
}

INSTANTIATE_TEST_SUITE_P(Files, ResavedWorkbook,
                         ::testing::Values(Kind{"resaved.xls", WorkbookKind::Compound},
                                           Kind{"resaved.xlsx", WorkbookKind::Zip},
                                           Kind{"resaved-utf16.txt", WorkbookKind::Utf16}));

// freexl reads past its buffers on this document: the conversion must fail, not the program.
TEST(Workbook, ConversionSurvivesTheLibraryFailing) {
  const std::filesystem::path path = kFixtures / "overruns-freexl.xls";
  std::string text = "x";
  EXPECT_FALSE(XlsToText(path, &text));
  EXPECT_TRUE(text.empty());
  TFlkTankMgr store;
  const LoadResult r = LoadMeasurementFile(store, path);
  EXPECT_EQ(r.status, LoadStatus::NotCorrectFormat);
  EXPECT_TRUE(r.workbook);
  EXPECT_FALSE(store.record);
}

TEST(Workbook, MagicBytes) {
  struct Case {
    std::string bytes;
    WorkbookKind kind;
  };
  const Case cases[] = {
      {"", WorkbookKind::None},
      {"\xD0\xCF", WorkbookKind::None},
      {"\xD0\xCF\x11", WorkbookKind::Compound},
      {"PK\x03\x04", WorkbookKind::Zip},
      {"PK", WorkbookKind::None},
      {"\xFF\xFE", WorkbookKind::Utf16},
      {"\xFE\xFF", WorkbookKind::None},
      {"\xFF", WorkbookKind::None},
      {"Model Name\t", WorkbookKind::None},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DetectWorkbook(c.bytes), c.kind) << c.bytes.size();
    EXPECT_EQ(LooksLikeWorkbook(c.bytes), c.kind != WorkbookKind::None);
  }
  std::string plain = "Model Name\tx\r\n";
  EXPECT_FALSE(WorkbookToText(plain, "unused"));
  EXPECT_TRUE(plain.empty());
}

std::string Utf16(std::u16string_view s) {
  std::string bytes = "\xFF\xFE";
  for (const char16_t u : s) {
    bytes += static_cast<char>(u & 0xFF);
    bytes += static_cast<char>(u >> 8);
  }
  return bytes;
}

TEST(Workbook, Utf16TextForms) {
  struct Case {
    const char* what;
    std::u16string text;
    std::string want;
  };
  const Case cases[] = {
      {"LF lines, empty row, trailing TAB", u"a\tb\n\t\nc\n", "a\tb\r\n\r\nc\t\r\n"},
      {"CR LF and bare CR", u"a\r\nb\rc", "a\r\nb\r\nc\r\n"},
      {"quoted cells", u"\"x\ty\"\t\"say \"\"hi\"\"\"\n", "x\ty\tsay \"hi\"\r\n"},
      {"exponents become plain", u"Voltage\n0\t1E-05\n0\t-2,5e+3\n0\t1E\n",
       "Voltage\t\r\n0\t0.00001\r\n0\t-2500\r\n0\t1E\r\n"},
      {"characters beyond 8 bits", std::u16string(u"\u00e9\u4e2d\t\0x\n", 6), "\xe9?\tx\r\n"},
      {"three columns", u"a\n\tb\tc\n", "a\t\r\nb\tc\r\n"},
      {"nothing", u"", ""},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_TRUE(Utf16ToText(Utf16(c.text), &text)) << c.what;
    EXPECT_EQ(text, c.want) << c.what;
  }
  std::string text;
  EXPECT_TRUE(Utf16ToText(Utf16(u"ab") + "c", &text));  // an odd last byte is dropped
  EXPECT_EQ(text, "ab\r\n");
}

// A zip-packaged workbook written by hand: prefixed element names, a relationship to a
// second sheet part, inline and shared strings, rich text, booleans, numbers in exponent
// form, cells without references and a gap of rows.
TEST(Workbook, XlsxCellKinds) {
  const std::string workbook =
      R"(<?xml version="1.0"?><x:workbook xmlns:x="urn:main" xmlns:r="urn:rel"><x:sheets>)"
      R"(<x:sheet name="first" sheetId="1" r:id="rIdB"/><x:sheet name="other" sheetId="2" r:id="rIdA"/>)"
      R"(</x:sheets></x:workbook>)";
  const std::string rels =
      R"(<?xml version="1.0"?><Relationships xmlns="urn:pkg">)"
      R"(<Relationship Id="rIdA" Type="urn:t/worksheet" Target="worksheets/sheet1.xml"/>)"
      R"(<Relationship Id="rIdB" Type="urn:t/worksheet" Target="/xl/worksheets/data.xml"/>)"
      R"(<Relationship Id="rIdC" Type="urn:t/sharedStrings" Target="strings.xml"/>)"
      R"(</Relationships>)";
  const std::string strings =
      R"(<sst><si><t>Sample Number</t></si><si><r><t>Sample </t></r><r><t>Frequency</t></r>)"
      R"(<rPh><t>ignored</t></rPh></si><si><t>caf&#233;</t></si></sst>)";
  const std::string sheet =
      R"(<x:worksheet xmlns:x="urn:main"><x:sheetData>)"
      R"(<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c r="B1"><x:v>4.096E3</x:v></x:c></x:row>)"
      R"(<x:row r="2"><x:c t="s"><x:v>1</x:v></x:c><x:c><x:v>10000</x:v></x:c></x:row>)"
      R"(<x:row r="4"><x:c r="A4" t="inlineStr"><x:is><x:t>gain</x:t></x:is></x:c>)"
      R"(<x:c r="C4" t="b"><x:v>1</x:v></x:c></x:row>)"
      R"(<x:row r="5"><x:c r="B5" t="s"><x:v>2</x:v></x:c><x:c r="C5" t="s"><x:v>99</x:v></x:c>)"
      R"(<x:c r="D5" t="str"><x:v></x:v></x:c></x:row>)"
      R"(</x:sheetData></x:worksheet>)";
  const std::string decoy = R"(<worksheet><sheetData><row r="1"><c><v>1</v></c></row></sheetData></worksheet>)";

  std::string bytes;
  {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("quivra-cells-" + std::to_string(::getpid()) + ".xlsx");
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(zip, nullptr);
    const std::pair<const char*, const std::string*> parts[] = {
        {"xl/workbook.xml", &workbook},       {"xl/_rels/workbook.xml.rels", &rels},
        {"xl/strings.xml", &strings},         {"xl/worksheets/data.xml", &sheet},
        {"xl/worksheets/sheet1.xml", &decoy}};
    for (const auto& [name, content] : parts) {
      zip_source_t* s = zip_source_buffer(zip, content->data(), content->size(), 0);
      ASSERT_GE(zip_file_add(zip, name, s, ZIP_FL_OVERWRITE), 0);
    }
    ASSERT_EQ(zip_close(zip), 0);
    bytes = ReadAll(path);
    std::filesystem::remove(path);
  }
  std::string text;
  ASSERT_TRUE(XlsxToText(bytes, &text));
  EXPECT_EQ(text,
            "Sample Number\t4096\t\r\n"
            "Sample Frequency\t10000\t\r\n"
            "\r\n"
            "gain\tTRUE\r\n"
            "caf\xe9\t\r\n");
  FileHeader h;
  ASSERT_TRUE(ParseHeader(text, &h));
  EXPECT_EQ(h.sampleCount, 4096);
  EXPECT_EQ(h.sampleFreq, 10000);

  EXPECT_FALSE(XlsxToText("PK\x03\x04 not a zip", &text));
  EXPECT_TRUE(text.empty());
}

}  // namespace
