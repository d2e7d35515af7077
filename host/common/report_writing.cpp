#include "host/common/report_writing.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace host {

bool WriteWholeText(const ReportFileCalls& calls, int fd, const std::string& text) {
  return WriteAllBytes(calls.write, fd, text.data(), text.size());
}

bool ReportFailed(std::string* error, int number) {
  *error = std::strerror(number);
  return false;
}

bool ReplaceWhole(const ReportFileCalls& calls, const std::filesystem::path& file,
                  const std::string& text, std::string* error,
                  const std::function<bool(int fd)>& prepare) {
  std::filesystem::path temporary = file;
  temporary += ".tmp." + std::to_string(calls.processId());
  const int fd = calls.create(temporary);
  if (fd < 0) return ReportFailed(error, errno);
  const bool written =
      (!prepare || prepare(fd)) && WriteWholeText(calls, fd, text) && calls.sync(fd) == 0;
  const int savedErrno = errno;
  calls.close(fd);
  if (!written || !calls.replace(temporary, file)) {
    const int number = written ? errno : savedErrno;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return ReportFailed(error, number);
  }
  return true;
}

}  // namespace host
