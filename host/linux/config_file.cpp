#include "host/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace platform {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Reads until the end or until more than `limit` bytes have come.
bool ReadUpTo(int fd, std::size_t limit, std::string* bytes) {
  char buffer[65536];
  while (bytes->size() <= limit) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    bytes->append(buffer, std::size_t(n));
  }
  return true;
}

}  // namespace

std::optional<std::string> ReadConfigFile(const std::filesystem::path& file, std::size_t limit) {
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    if (errno != ENOENT) {
      std::fprintf(stderr, "%s:1: cannot be opened; not read\n", file.c_str());
    }
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fprintf(stderr, "%s:1: not a regular file; not read\n", file.c_str());
    return std::nullopt;
  }
  std::string bytes;
  if (!ReadUpTo(fd.get(), limit, &bytes)) {
    std::fprintf(stderr, "%s:1: cannot be read; not read\n", file.c_str());
    return std::nullopt;
  }
  if (bytes.size() > limit) {
    const auto line = 1 + std::count(bytes.begin(), bytes.begin() + long(limit), '\n');
    std::fprintf(stderr, "%s:%ld: larger than the limit of %zu bytes; not read\n", file.c_str(),
                 long(line), limit);
    return std::nullopt;
  }
  return bytes;
}

}  // namespace platform
