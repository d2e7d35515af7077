// The configuration files on Windows: the same checks as on Linux, with the
// C runtime's wide functions (the path's own characters, not the ANSI code
// page's).
#include "host/config_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

std::string Text(const std::filesystem::path& file) {
  const std::u8string text = file.u8string();
  return std::string(text.begin(), text.end());
}

// Reads until the end or until more than `limit` bytes have come.
bool ReadUpTo(int fd, std::size_t limit, std::string* bytes) {
  char buffer[65536];
  while (bytes->size() <= limit) {
    const int n = _read(fd, buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) break;
    bytes->append(buffer, std::size_t(n));
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadConfigFile(const std::filesystem::path& file, std::size_t limit) {
  const std::string name = Text(file);
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(file, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::nullopt;
  // Checked before the open too: opening a pipe or a device could wait.
  if (!error && !std::filesystem::is_regular_file(status)) {
    std::fprintf(stderr, "%s:1: not a regular file; not read\n", name.c_str());
    return std::nullopt;
  }
  const int fd = _wopen(file.c_str(), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    if (errno != ENOENT) std::fprintf(stderr, "%s:1: cannot be opened; not read\n", name.c_str());
    return std::nullopt;
  }
  struct _stat64 info {};
  std::string bytes;
  const bool regular = _fstat64(fd, &info) == 0 && (info.st_mode & _S_IFMT) == _S_IFREG;
  const bool read = regular && ReadUpTo(fd, limit, &bytes);
  _close(fd);
  if (!regular) {
    std::fprintf(stderr, "%s:1: not a regular file; not read\n", name.c_str());
    return std::nullopt;
  }
  if (!read) {
    std::fprintf(stderr, "%s:1: cannot be read; not read\n", name.c_str());
    return std::nullopt;
  }
  if (bytes.size() > limit) {
    const auto line = 1 + std::count(bytes.begin(), bytes.begin() + long(limit), '\n');
    std::fprintf(stderr, "%s:%ld: larger than the limit of %zu bytes; not read\n", name.c_str(),
                 long(line), limit);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace platform
