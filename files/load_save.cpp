#include "files/load_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "files/record_contents.h"
#include "files/workbook.h"

std::filesystem::path MeasurementSavePath(const std::filesystem::path& chosen) {
  std::filesystem::path path = chosen;
  path += ".xls";
  return path;
}

std::string NotCorrectFormatMessage(const std::filesystem::path& path) {
  return path.string() + " not a correct format for quivra";
}

bool ReadMeasurementBuffer(const std::filesystem::path& path, std::string* bytes,
                           bool* tooLarge) {
  if (tooLarge) *tooLarge = false;
  bytes->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  if (ok && static_cast<std::uintmax_t>(st.st_size) > kMaxMeasurementFileBytes) {
    if (tooLarge) *tooLarge = true;
    ok = false;
  }
  if (ok) {
    // One byte more than the file: a file that grew since fstat is noticed and refused.
    const std::size_t size = static_cast<std::size_t>(st.st_size);
    bytes->resize(size + 1);
    std::size_t got = 0;
    while (got < size + 1) {
      const ssize_t n = ::read(fd, bytes->data() + got, size + 1 - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = n == 0;
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    if (got != size) ok = false;
    bytes->resize(ok ? size : 0);
  }
  ::close(fd);
  return ok;
}

LoadResult LoadMeasurementFile(TFlkTankMgr& store, const std::filesystem::path& path,
                               const LoadOptions& options,
                               const std::function<void()>& beforeConversion) {
  LoadResult result;
  std::string text;
  bool tooLarge = false;
  if (!ReadMeasurementBuffer(path, &text, &tooLarge)) {
    result.status = tooLarge ? LoadStatus::NotCorrectFormat : LoadStatus::Unreadable;
    return result;
  }
  result.status = LoadStatus::NotCorrectFormat;
  if (LooksLikeWorkbook(text)) {
    result.workbook = true;
    if (beforeConversion) beforeConversion();
    if (!WorkbookToText(text, path)) return result;
  }
  if (!ParseHeader(text, &result.header)) return result;

  FlickerRecordPtr fresh =
      MakeFlickerRecord(static_cast<uint32_t>(result.header.sampleCount),
                        static_cast<uint32_t>(result.header.sampleFreq), 100, options.firCutoffHz, 1);
  if (!fresh) {
    result.status = LoadStatus::NoRecord;
    return result;
  }
  fresh->gainIndex = result.header.gainIndex;
  result.samplesRead = LoadSamplesInto(fresh.get(), text);
  if (result.samplesRead < 0) {
    result.samplesRead = 0;
    return result;
  }
  FlickerRun(fresh.get(), 0, options.firEnabled);
  if (store.record) {
    ReplaceRecordContents(*store.record, std::move(fresh));
  } else {
    store.Install(std::move(fresh));
  }
  result.status = LoadStatus::Loaded;
  return result;
}

bool SaveRecordToFile(const FlickerRecord& record, const SpDevice* device,
                      const std::filesystem::path& path) {
  char model[16], serial[16], time[32];
  FormatIdentity(device, model, serial, time);
  return WriteMeasurementFile(record, model, serial, time, path);
}
