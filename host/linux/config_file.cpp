#include "host/config_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/common/config_read.h"

namespace host {
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

}  // namespace

std::optional<std::string> ReadConfigFile(const std::filesystem::path& file, std::size_t limit) {
  const std::string name = file.string();
  // O_NONBLOCK: opening a named pipe must not wait for a writer.
  Descriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  if (fd.get() < 0) {
    if (errno != ENOENT) ReportNotRead(name, "cannot be opened");
    return std::nullopt;
  }
  struct stat info {};
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    ReportNotRead(name, "not a regular file");
    return std::nullopt;
  }
  return ReadWithinLimit(name, limit, [&fd](char* buffer, std::size_t size) {
    ssize_t n;
    do {
      n = ::read(fd.get(), buffer, size);
    } while (n < 0 && errno == EINTR);
    return long(n);
  });
}

}  // namespace host
