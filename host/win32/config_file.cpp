// The configuration files on Windows: the same checks as on Linux, with the
// C runtime's wide functions (the path's own characters, not the ANSI code
// page's).
#include "host/config_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>

#include "host/common/config_read.h"

namespace host {
namespace {

std::string Text(const std::filesystem::path& file) {
  const std::u8string text = file.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace

std::optional<std::string> ReadConfigFile(const std::filesystem::path& file, std::size_t limit) {
  const std::string name = Text(file);
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
  // Checked before the open too: opening a pipe or a device could wait.
  if (!error && !std::filesystem::is_regular_file(status)) {
    ReportNotRead(name, "not a regular file");
    return std::nullopt;
  }
  const int fd = _wopen(file.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    if (errno != ENOENT) ReportNotRead(name, "cannot be opened");
    return std::nullopt;
  }
  struct _stat64 info {};
  std::optional<std::string> bytes;
  if (_fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG) {
    bytes = ReadWithinLimit(name, limit, [fd](char* buffer, std::size_t size) {
      return long(_read(fd, buffer, unsigned(size)));
    });
  } else {
    ReportNotRead(name, "not a regular file");
  }
  _close(fd);
  return bytes;
}

}  // namespace host
