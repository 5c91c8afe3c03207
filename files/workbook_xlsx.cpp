// Zip-packaged workbooks: the first sheet of xl/workbook.xml, found through the workbook's
// relationships, with the shared-string table.
#include <zip.h>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "files/sheet_text.h"
#include "files/workbook.h"

namespace {

constexpr uint64_t kMaxRows = 1048576;
constexpr uint64_t kMaxColumns = 16384;

struct ZipCloser {
  void operator()(zip_t* z) const { zip_discard(z); }
};
struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};

// Reads one part of the package; false when it is missing, unreadable or too large.
bool ReadPart(zip_t* zip, const std::string& name, std::string* out) {
  out->clear();
  zip_int64_t index = zip_name_locate(zip, name.c_str(), 0);
  if (index < 0) index = zip_name_locate(zip, name.c_str(), ZIP_FL_NOCASE);
  if (index < 0) return false;
  std::unique_ptr<zip_file_t, ZipFileCloser> file(
      zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0));
  if (!file) return false;
  char chunk[65536];
  while (true) {
    const zip_int64_t n = zip_fread(file.get(), chunk, sizeof chunk);
    if (n < 0) return false;
    if (n == 0) return true;
    if (out->size() + static_cast<std::size_t>(n) > kMaxWorkbookPart) return false;
    out->append(chunk, static_cast<std::size_t>(n));
  }
}

// Element and attribute names compared without their namespace prefix.
bool Named(const char* name, const char* local) {
  const char* colon = std::strrchr(name, ':');
  return std::strcmp(colon ? colon + 1 : name, local) == 0;
}

pugi::xml_node Child(pugi::xml_node parent, const char* local) {
  for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element && Named(n.name(), local)) return n;
  }
  return {};
}

pugi::xml_node Next(pugi::xml_node node, const char* local) {
  for (pugi::xml_node n = node.next_sibling(); n; n = n.next_sibling()) {
    if (n.type() == pugi::node_element && Named(n.name(), local)) return n;
  }
  return {};
}

bool Parse(std::string& part, pugi::xml_document* doc) {
  return doc->load_buffer_inplace(part.data(), part.size(),
                                  pugi::parse_default | pugi::parse_ws_pcdata_single,
                                  pugi::encoding_auto);
}

// The text of a string item (<si> or <is>): its <t>, or the <t> of its runs.
void AppendStringItem(pugi::xml_node item, std::string* out) {
  for (pugi::xml_node n = item.first_child(); n; n = n.next_sibling()) {
    if (n.type() != pugi::node_element) continue;
    if (Named(n.name(), "t")) {
      AppendUtf8As8Bit(n.child_value(), out);
    } else if (Named(n.name(), "r")) {
      for (pugi::xml_node t = Child(n, "t"); t; t = Next(t, "t")) {
        AppendUtf8As8Bit(t.child_value(), out);
      }
    }
  }
}

// Package path of a relationship target: relative to xl/, or absolute from the root.
std::string PartPath(std::string_view target) {
  if (!target.empty() && target[0] == '/') return std::string(target.substr(1));
  std::string base = "xl";
  while (target.substr(0, 3) == "../") {
    target.remove_prefix(3);
    base.clear();
  }
  if (target.substr(0, 2) == "./") target.remove_prefix(2);
  return base.empty() ? std::string(target) : base + "/" + std::string(target);
}

// The first sheet's part and the shared-string part named by the workbook.
void FindParts(zip_t* zip, std::string* sheetPath, std::string* stringsPath) {
  *sheetPath = "xl/worksheets/sheet1.xml";
  *stringsPath = "xl/sharedStrings.xml";
  std::string workbookPart, relsPart;
  pugi::xml_document workbook, rels;
  if (!ReadPart(zip, "xl/_rels/workbook.xml.rels", &relsPart) || !Parse(relsPart, &rels)) return;
  std::string sheetId;
  if (ReadPart(zip, "xl/workbook.xml", &workbookPart) && Parse(workbookPart, &workbook)) {
    const pugi::xml_node sheet = Child(Child(Child(workbook, "workbook"), "sheets"), "sheet");
    for (pugi::xml_attribute a = sheet.first_attribute(); a; a = a.next_attribute()) {
      if (std::strchr(a.name(), ':') && Named(a.name(), "id")) sheetId = a.value();
    }
  }
  const pugi::xml_node list = Child(rels, "Relationships");
  for (pugi::xml_node r = Child(list, "Relationship"); r; r = Next(r, "Relationship")) {
    const std::string_view type = r.attribute("Type").value();
    const std::string_view target = r.attribute("Target").value();
    if (!sheetId.empty() && sheetId == r.attribute("Id").value()) *sheetPath = PartPath(target);
    if (type.size() >= 14 && type.substr(type.size() - 14) == "/sharedStrings") {
      *stringsPath = PartPath(target);
    }
  }
}

// Column (0-based) and row (1-based) of a reference such as "AB12"; false when malformed
// or outside the sheet.
bool ParseReference(std::string_view ref, uint64_t* column, uint64_t* row) {
  std::size_t i = 0;
  uint64_t c = 0;
  while (i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z' && c <= kMaxColumns) {
    c = c * 26 + static_cast<uint64_t>(ref[i] - 'A' + 1);
    ++i;
  }
  if (i == 0 || c > kMaxColumns) return false;
  uint64_t r = 0;
  const auto res = std::from_chars(ref.data() + i, ref.data() + ref.size(), r);
  if (res.ec != std::errc() || res.ptr != ref.data() + ref.size() || r < 1 || r > kMaxRows) {
    return false;
  }
  *column = c - 1;
  *row = r;
  return true;
}

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\n' || s.back() == '\r' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

bool XlsxToText(std::string_view bytes, std::string* text) {
  text->clear();
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  if (!source) {
    zip_error_fini(&error);
    return false;
  }
  std::unique_ptr<zip_t, ZipCloser> zip(zip_open_from_source(source, ZIP_RDONLY, &error));
  zip_error_fini(&error);
  if (!zip) {
    zip_source_free(source);
    return false;
  }

  std::string sheetPath, stringsPath, sheetPart, stringsPart;
  FindParts(zip.get(), &sheetPath, &stringsPath);
  std::vector<std::string> strings;
  pugi::xml_document stringsDoc;
  if (ReadPart(zip.get(), stringsPath, &stringsPart) && Parse(stringsPart, &stringsDoc)) {
    const pugi::xml_node sst = Child(stringsDoc, "sst");
    for (pugi::xml_node si = Child(sst, "si"); si; si = Next(si, "si")) {
      strings.emplace_back();
      AppendStringItem(si, &strings.back());
    }
  }
  stringsDoc.reset();
  stringsPart.clear();
  stringsPart.shrink_to_fit();

  pugi::xml_document sheetDoc;
  if (!ReadPart(zip.get(), sheetPath, &sheetPart) || !Parse(sheetPart, &sheetDoc)) return false;
  const pugi::xml_node data = Child(Child(sheetDoc, "worksheet"), "sheetData");

  std::string cellText;
  char number[kPlainNumberRoom];
  // The display text of a cell: strings as they are, numbers in plain notation, booleans
  // as TRUE/FALSE.
  auto textOf = [&](pugi::xml_node c) -> std::string_view {
    cellText.clear();
    const std::string_view type = c.attribute("t").value();
    const pugi::xml_node v = Child(c, "v");
    const std::string_view value = v.child_value();
    if (type == "s") {
      std::size_t index = 0;
      const std::string_view t = Trimmed(value);
      const auto r = std::from_chars(t.data(), t.data() + t.size(), index);
      if (r.ec == std::errc() && r.ptr == t.data() + t.size() && index < strings.size()) {
        return strings[index];
      }
      return {};
    }
    if (type == "inlineStr") {
      AppendStringItem(Child(c, "is"), &cellText);
      return cellText;
    }
    if (type == "b") return Trimmed(value) == "1" ? "TRUE" : "FALSE";
    if (type == "str" || type == "e" || type == "d") {
      AppendUtf8As8Bit(value, &cellText);
      return cellText;
    }
    const std::string_view t = Trimmed(value);
    double d = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), d);
    if (!t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size()) {
      const std::string_view plain = PlainNumber(d, number);
      if (!plain.empty()) return plain;
    }
    AppendUtf8As8Bit(t, &cellText);
    return cellText;
  };

  auto forEach = [&](auto&& visit) {
    uint64_t rowNumber = 0;  // 1-based
    for (pugi::xml_node row = Child(data, "row"); row; row = Next(row, "row")) {
      const pugi::xml_attribute rowAttr = row.attribute("r");
      if (rowAttr) {
        uint64_t r = 0;
        const std::string_view s = rowAttr.value();
        const auto res = std::from_chars(s.data(), s.data() + s.size(), r);
        if (res.ec != std::errc() || res.ptr != s.data() + s.size() || r < 1 || r > kMaxRows) {
          return false;
        }
        rowNumber = r;
      } else if (++rowNumber > kMaxRows) {
        return false;
      }
      uint64_t column = 0;  // 0-based column of the next cell without a reference
      for (pugi::xml_node c = Child(row, "c"); c; c = Next(c, "c")) {
        const pugi::xml_attribute ref = c.attribute("r");
        uint64_t refRow = 0;
        if (ref && !ParseReference(ref.value(), &column, &refRow)) return false;
        if (column >= kMaxColumns) return false;
        if (!visit(rowNumber - 1, column, textOf(c))) return false;
        ++column;
      }
    }
    return true;
  };
  return BuildSheetText(forEach, text);
}
