// Compound-document workbooks (BIFF) through freexl: the first worksheet.
//
// freexl does not survive every damaged file (hostile string lengths overrun its buffers),
// so the conversion runs in a child process: a crash, a hang or a runaway allocation there
// costs only the conversion, which then fails like any unreadable workbook. The child
// sends the text followed by a trailer (1 byte result, 8 bytes text length) through a
// pipe; without a complete trailer the conversion has failed.
#include <fcntl.h>
#include <freexl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "files/sheet_text.h"
#include "files/workbook.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUIVRA_XLS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUIVRA_XLS_SANITIZED 1
#endif
#endif
#ifdef QUIVRA_XLS_SANITIZED
#include <sanitizer/common_interface_defs.h>
#endif

namespace {

// How long a conversion may take before the child is stopped.
constexpr std::chrono::seconds kConversionLimit{60};
constexpr std::size_t kTrailer = 9;

bool ConvertInProcess(const char* path, std::string* text) {
  const void* handle = nullptr;
  if (freexl_open(path, &handle) != FREEXL_OK) {
    if (handle) freexl_close(handle);
    return false;
  }
  unsigned int rows = 0;
  unsigned short columns = 0;
  bool ok = freexl_select_active_worksheet(handle, 0) == FREEXL_OK &&
            freexl_worksheet_dimensions(handle, &rows, &columns) == FREEXL_OK;
  if (ok) {
    std::string cellText;
    char number[kPlainNumberRoom];
    auto forEach = [&](auto&& visit) {
      for (unsigned int r = 0; r < rows; ++r) {
        for (unsigned short c = 0; c < columns; ++c) {
          FreeXL_CellValue cell;
          if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) return false;
          std::string_view t;
          switch (cell.type) {
            case FREEXL_CELL_INT: {
              const auto res = std::to_chars(number, number + sizeof number, cell.value.int_value);
              t = std::string_view(number, static_cast<std::size_t>(res.ptr - number));
              break;
            }
            case FREEXL_CELL_DOUBLE:
              t = PlainNumber(cell.value.double_value, number);
              break;
            case FREEXL_CELL_TEXT:
            case FREEXL_CELL_SST_TEXT:
            case FREEXL_CELL_DATE:
            case FREEXL_CELL_DATETIME:
            case FREEXL_CELL_TIME:
              cellText.clear();
              if (cell.value.text_value) AppendUtf8As8Bit(cell.value.text_value, &cellText);
              t = cellText;
              break;
            default:
              break;
          }
          if (!visit(r, c, t)) return false;
        }
      }
      return true;
    };
    ok = BuildSheetText(forEach, text);
  }
  freexl_close(handle);
  return ok;
}

bool WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

[[noreturn]] void RunChild(const char* path, int out) {
  // The child dies quietly: whatever the library or a checker has to say about a damaged
  // file stays unseen, and crash handlers inherited from the parent do not run.
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (quiet >= 0) ::dup2(quiet, STDERR_FILENO);
  for (const int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGILL, SIGFPE}) ::signal(sig, SIG_DFL);
#ifdef QUIVRA_XLS_SANITIZED
  __sanitizer_set_death_callback(nullptr);
#endif
  std::string text;
  const bool ok = ConvertInProcess(path, &text);
  char trailer[kTrailer];
  trailer[0] = ok ? 1 : 0;
  const uint64_t length = ok ? text.size() : 0;
  std::memcpy(trailer + 1, &length, sizeof length);
  const bool sent = (!ok || WriteAll(out, text.data(), text.size())) &&
                    WriteAll(out, trailer, sizeof trailer);
  ::_exit(sent ? 0 : 1);
}

// Reads everything the child sends until it closes the pipe; false on a time-out or when
// the child sends more than any conversion may produce.
bool ReadChild(int in, std::string* data) {
  const auto deadline = std::chrono::steady_clock::now() + kConversionLimit;
  char chunk[65536];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd p{in, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t n = ::read(in, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (data->size() + static_cast<std::size_t>(n) > kMaxWorkbookText + kTrailer) return false;
    data->append(chunk, static_cast<std::size_t>(n));
  }
}

}  // namespace

bool XlsToText(const std::filesystem::path& path, std::string* text) {
  text->clear();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (child == 0) {
    ::close(fds[0]);
    RunChild(path.c_str(), fds[1]);
  }
  ::close(fds[1]);
  std::string data;
  const bool complete = ReadChild(fds[0], &data);
  ::close(fds[0]);
  if (!complete) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }

  // The trailer decides; the exit status is not needed (it cannot be collected when the
  // program ignores SIGCHLD), a child that died before the end sent no trailer.
  if (!complete || data.size() < kTrailer) return false;
  const char* trailer = data.data() + data.size() - kTrailer;
  uint64_t length = 0;
  std::memcpy(&length, trailer + 1, sizeof length);
  if (trailer[0] != 1 || length != data.size() - kTrailer) return false;
  data.resize(length);
  *text = std::move(data);
  return true;
}
