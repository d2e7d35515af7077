#include "host/root_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {
namespace {

constexpr int kNoLinks = O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

// O_NONBLOCK keeps a named pipe from stalling the open; the check after it
// refuses whatever is not a regular file.
RootDescriptor OpenRegular(int folderFd, const char* name, int flags) {
  RootDescriptor fd(::openat(folderFd, name, flags | kNoLinks | O_NONBLOCK, 0644));
  struct stat info {};
  if (!fd.valid() || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  const int status = fcntl(fd.get(), F_GETFL);
  if (status < 0 || fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return {};
  return fd;
}

bool WriteAll(int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= std::size_t(n);
  }
  return true;
}

}  // namespace

RootDescriptor::~RootDescriptor() {
  if (fd_ >= 0) ::close(fd_);
}

RootDescriptor& RootDescriptor::operator=(RootDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

int RootDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

RootDescriptor OpenRootFolder(const std::filesystem::path& root) {
  return RootDescriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

RootDescriptor OpenOwnFolder(int rootFd, const char* name) {
  if (rootFd < 0) return {};
  ::mkdirat(rootFd, name, 0777);  // an existing entry is checked by the open
  return RootDescriptor(::openat(rootFd, name, O_RDONLY | O_DIRECTORY | kNoLinks));
}

RootDescriptor ReplaceFile(int folderFd, const char* name) {
  if (folderFd < 0) return {};
  const std::string temporary = "." + std::string(name) + ".new-" + std::to_string(::getpid());
  ::unlinkat(folderFd, temporary.c_str(), 0);  // left over by a crash
  RootDescriptor fd(::openat(folderFd, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | kNoLinks,
                             0644));
  if (!fd.valid()) return {};
  if (::renameat(folderFd, temporary.c_str(), folderFd, name) != 0) {
    ::unlinkat(folderFd, temporary.c_str(), 0);
    return {};
  }
  return fd;
}

bool WriteReplacing(int folderFd, const char* name, const std::string& bytes) {
  RootDescriptor fd = ReplaceFile(folderFd, name);
  return fd.valid() && WriteAll(fd.get(), bytes.data(), bytes.size()) && ::close(fd.Release()) == 0;
}

RootDescriptor OpenForAppend(int folderFd, const char* name, std::string* why) {
  RootDescriptor fd(::openat(folderFd, name, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | kNoLinks,
                             0644));
  struct stat info {};
  if (!fd.valid()) {
    *why = errno == ELOOP ? "is a symbolic link" : "cannot be opened";
    return {};
  }
  if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
    *why = "is not a regular file";
    return {};
  }
  if (info.st_nlink != 1) {
    *why = "has another hard link";
    return {};
  }
  const int status = fcntl(fd.get(), F_GETFL);
  if (status < 0 || fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0) return {};
  return fd;
}

RootDescriptor OpenLockFile(int folderFd, const char* name) {
  if (folderFd < 0) return {};
  return OpenRegular(folderFd, name, O_RDWR | O_CREAT);
}

}  // namespace platform

namespace platform {

bool WriteAt(int fd, const void* bytes, uint64_t count, uint64_t offset) {
  const auto* next = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t written = ::pwrite(fd, next, count, off_t(offset));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    count -= uint64_t(written);
    offset += uint64_t(written);
  }
  return true;
}

bool SetLength(int fd, uint64_t length) { return fd >= 0 && ::ftruncate(fd, off_t(length)) == 0; }

std::FILE* AppendStream(RootDescriptor& fd) {
  std::FILE* stream = fd.valid() ? ::fdopen(fd.get(), "ab") : nullptr;
  if (stream != nullptr) fd.Release();
  return stream;
}

bool CloseDescriptor(int fd) { return fd >= 0 && ::close(fd) == 0; }

}  // namespace platform
