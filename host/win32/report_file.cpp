// The report's file through the C runtime's wide functions (the path's own
// characters), replaced by MoveFileEx, which replaces an existing file.
#include "host/report_file.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "host/common/report_writing.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

const ReportFileCalls kCalls = {
    [](const std::filesystem::path& file) {
      return _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                    _S_IREAD | _S_IWRITE);
    },
    [](int fd, const char* bytes, std::size_t count) {
      return long(_write(fd, bytes, unsigned(std::min<std::size_t>(count, 1u << 30))));
    },
    [](int fd) { return _commit(fd); },
    [](int fd) { _close(fd); },
    [](const std::filesystem::path& from, const std::filesystem::path& to) {
      if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
      errno = EACCES;
      return false;
    },
    [] { return _getpid(); },
};

}  // namespace

bool WriteReportFile(const std::filesystem::path& file, const std::string& text,
                     std::string* error) {
  if (file == "-") return WriteWholeText(kCalls, 1, text) || ReportFailed(error, errno);
  return ReplaceWhole(kCalls, file, text, error);
}

}  // namespace host
