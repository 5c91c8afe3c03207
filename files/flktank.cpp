#include "files/flktank.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>

#include "files/measurement_text.h"
#include "files/text_scan.h"
#include "files/record_contents.h"
#include "instrument/device.h"

namespace {

// Truncates a header value toward zero; false when the result lies outside 1 .. limit.
bool PositiveCount(float v, int32_t limit, int32_t* out) {
  const double t = std::trunc(static_cast<double>(v));
  if (!(t >= 1.0 && t <= limit)) return false;
  *out = static_cast<int32_t>(t);
  return true;
}

void CopyCut(char (&dst)[16], const char* src, std::size_t srcSize) {
  const std::size_t n = src ? std::min<std::size_t>(strnlen(src, srcSize), sizeof dst - 1) : 0;
  if (n) std::memcpy(dst, src, n);
  std::memset(dst + n, 0, sizeof dst - n);
}

}  // namespace

bool ParseHeader(std::string_view text, FileHeader* header) {
  float count = 0, freq = 0, gain = 0;
  std::size_t next = 0, afterFreq = 0;
  if (!FindValue(text, "Sampling Number", 0, &count, &next) &&
      !FindValue(text, "Sample Number", 0, &count, &next)) {
    return false;
  }
  if (!FindValue(text, "Sampling Rate", 0, &freq, &afterFreq) &&
      !FindValue(text, "Sample Frequency", 0, &freq, &afterFreq)) {
    return false;
  }
  FileHeader h;
  if (!PositiveCount(count, kMaxFileSampleCount, &h.sampleCount) ||
      !PositiveCount(freq, kMaxFileSampleFreq, &h.sampleFreq)) {
    return false;
  }
  if (FindValue(text, "gain", afterFreq, &gain, &next)) {
    const double g = std::clamp(std::trunc(static_cast<double>(gain)) - 1.0,
                                static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX));
    h.gainIndex = static_cast<int32_t>(g);
  }
  *header = h;
  return true;
}

int64_t LoadSamplesInto(FlickerRecord* record, std::string_view text) {
  if (!record) return -1;
  std::vector<float>& volts = record->volts;
  const std::size_t count = std::min<std::size_t>(record->sampleCount, volts.size());
  std::size_t word = FindWord(text, "Votage");
  if (word == std::string_view::npos) word = FindWord(text, "Voltage");
  if (word == std::string_view::npos) {
    std::fill(volts.begin(), volts.end(), 0.0f);
    return -1;
  }
  std::size_t line = NextLine(text, LineEnd(text, word));
  if (line < text.size() && IsLineEnd(text[line])) line = NextLine(text, line);

  std::size_t stored = 0;
  while (stored < count && line < text.size()) {
    const std::size_t end = LineEnd(text, line);
    const std::string_view row = text.substr(line, end - line);
    float v = 0.0f;
    const std::size_t tab = row.find('\t');
    if (tab != std::string_view::npos) {
      std::string_view cell = row.substr(tab + 1);
      cell = cell.substr(0, cell.find('\t'));
      while (!cell.empty() && IsSpace(cell.front())) cell.remove_prefix(1);
      while (!cell.empty() && IsSpace(cell.back())) cell.remove_suffix(1);
      if (IsNumber(cell)) v = ParseDecimal(cell);
    }
    volts[stored++] = v;
    line = NextLine(text, end);
    if (line >= text.size() || IsLineEnd(text[line]) || text[line] == '\t') break;
  }
  std::fill(volts.begin() + static_cast<std::ptrdiff_t>(stored), volts.end(), 0.0f);
  return static_cast<int64_t>(stored);
}

void FormatCaptureTime(char (&out)[32]) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (!localtime_r(&now, &local) || !std::strftime(out, sizeof out, "%Y/%m/%d_%H:%M:%S", &local)) {
    out[0] = '\0';
  }
}

void FormatIdentity(const SpDevice* device, char (&modelName)[16], char (&serialNumber)[16],
                    char (&captureTime)[32]) {
  CopyCut(modelName, device ? device->model : nullptr, sizeof device->model);
  CopyCut(serialNumber, device ? device->serial : nullptr, sizeof device->serial);
  FormatCaptureTime(captureTime);
}

FlickerRecordPtr TFlkTankMgr::Install(FlickerRecordPtr r) {
  std::swap(record, r);
  return r;
}

FlickerRecordPtr TFlkTankMgr::Take() { return std::move(record); }

bool TFlkTankMgr::Keep(const FlickerRecord* r, const SpDevice* device) {
  if (!r) return false;
  if (!record || !SameRecordSizes(*record, *r)) {
    FlickerRecordPtr fresh = MakeRecordLike(*r);
    if (!fresh) return false;
    if (record) {
      fresh->gainIndex = record->gainIndex;
      ReplaceRecordContents(*record, std::move(fresh));
    } else {
      record = std::move(fresh);
    }
  }
  FormatIdentity(device, modelName, serialNumber, captureTime);
  if (record.get() != r) CopyKeptContents(*r, record.get());
  return true;
}

bool TFlkTankMgr::SaveToFile(const std::filesystem::path& path) const {
  if (!record) return false;
  return WriteMeasurementFile(*record, modelName, serialNumber, captureTime, path);
}

int64_t TFlkTankMgr::LoadSamples(std::string_view text) {
  return LoadSamplesInto(record.get(), text);
}

bool WriteMeasurementFile(const FlickerRecord& record, std::string_view modelName,
                          std::string_view serialNumber, std::string_view captureTime,
                          const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::string text;
  ComposeMeasurementText(record, {modelName, serialNumber, captureTime}, &text);
  bool ok = true;
  const char* p = text.data();
  std::size_t left = text.size();
  while (left > 0) {  // one write; the loop only finishes a write the system cut short
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}
