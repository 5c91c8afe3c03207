// Fuzz input as a measurement file: the header parser and the data section (text), or a
// workbook of one kind converted to text and then parsed (xls, xlsx, utf16). One source,
// four targets; QUIVRA_FUZZ_FILES_<kind> picks the reader.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/record.h"
#include "files/flktank.h"
#include "files/measurement_text.h"
#include "files/workbook.h"

namespace {

// One small record for every input: the data section is read into it whatever the header
// says, so no input can make the target allocate a large record.
FlickerRecord* Record() {
  static FlickerRecordPtr r = MakeFlickerRecord(4096, 4096, 100, 1000);
  return r.get();
}

void ParseText(std::string_view text) {
  FileHeader header;
  ParseHeader(text, &header);
  LoadSamplesInto(Record(), text);
  float value = 0;
  std::size_t next = 0;
  while (FindValue(text, "gain", next, &value, &next)) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::string text;
#if defined(QUIVRA_FUZZ_FILES_text)
  text.assign(bytes);
#elif defined(QUIVRA_FUZZ_FILES_xls)
  // The compound-document reader opens a path: the input becomes an in-memory file.
  static const int fd = memfd_create("fuzz-xls", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    return 0;
  }
  if (!XlsToText("/proc/self/fd/" + std::to_string(fd), &text)) return 0;
#elif defined(QUIVRA_FUZZ_FILES_xlsx)
  if (!XlsxToText(bytes, &text)) return 0;
#elif defined(QUIVRA_FUZZ_FILES_utf16)
  std::string withMark(bytes);
  if (DetectWorkbook(withMark) != WorkbookKind::Utf16) withMark.insert(0, "\xFF\xFE");
  if (!Utf16ToText(withMark, &text)) return 0;
#endif
  ParseText(text);
  return 0;
}
