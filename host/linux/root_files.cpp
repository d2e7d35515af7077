#include "host/root_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/common/staged_names.h"
#include "host/common/write_all.h"

namespace host {
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
  return WriteAllBytes(
      [](int to, const char* some, std::size_t size) { return long(::write(to, some, size)); }, fd,
      bytes, count);
}

}  // namespace

RootDescriptor OpenRootFolder(const std::filesystem::path& root) {
  return RootDescriptor(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

RootDescriptor OpenOwnFolder(int rootFd, const char* name) {
  if (rootFd < 0) return {};
  ::mkdirat(rootFd, name, 0777);  // an existing entry is checked by the open
  return RootDescriptor(::openat(rootFd, name, O_RDONLY | O_DIRECTORY | kNoLinks));
}

RootDescriptor CreateStaged(int folderFd, const char* name) {
  if (folderFd < 0) return {};
  const std::string staged = StagedName(name, ::getpid());
  ::unlinkat(folderFd, staged.c_str(), 0);  // this process's own, from an earlier try
  return RootDescriptor(
      ::openat(folderFd, staged.c_str(), O_RDWR | O_CREAT | O_EXCL | kNoLinks, 0644));
}

// The staged bytes reach the medium before the rename publishes them, and the
// rename before the caller answers: after a power loss `name` holds its old
// bytes or all of the new ones, never a new, empty file.
bool CommitStaged(int folderFd, const char* name) {
  const std::string staged = StagedName(name, ::getpid());
  struct stat info {};
  const bool isFolder =
      ::fstatat(folderFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
  const RootDescriptor written =
      isFolder ? RootDescriptor() : OpenRegular(folderFd, staged.c_str(), O_RDONLY);
  if (written.valid() && ::fsync(written.get()) == 0 &&
      ::renameat(folderFd, staged.c_str(), folderFd, name) == 0) {
    return FlushFolder(folderFd);
  }
  ::unlinkat(folderFd, staged.c_str(), 0);
  return false;
}

bool FlushFolder(int folderFd) { return folderFd >= 0 && ::fsync(folderFd) == 0; }

void DropStaged(int folderFd, const char* name) {
  if (folderFd >= 0) ::unlinkat(folderFd, StagedName(name, ::getpid()).c_str(), 0);
}

void RemoveStaleStaged(int folderFd) {
  const int listed = folderFd < 0 ? -1 : ::dup(folderFd);
  DIR* folder = listed < 0 ? nullptr : ::fdopendir(listed);
  if (folder == nullptr) {
    if (listed >= 0) ::close(listed);
    return;
  }
  ::rewinddir(folder);
  while (const dirent* entry = ::readdir(folder)) {
    const long pid = StagedOwner(entry->d_name);
    const bool gone = pid == ::getpid() || (::kill(pid_t(pid), 0) != 0 && errno == ESRCH);
    if (pid > 0 && gone) ::unlinkat(folderFd, entry->d_name, 0);
  }
  ::closedir(folder);
}

bool RemoveRootFile(int folderFd, const char* name) {
  if (folderFd < 0) return false;
  if (::unlinkat(folderFd, name, 0) == 0) return FlushFolder(folderFd);
  return errno == ENOENT;
}

bool WriteReplacing(int folderFd, const char* name, const std::string& bytes) {
  RootDescriptor fd = CreateStaged(folderFd, name);
  if (!fd.valid()) return false;
  if (!WriteAll(fd.get(), bytes.data(), bytes.size()) || ::close(fd.Release()) != 0) {
    DropStaged(folderFd, name);
    return false;
  }
  return CommitStaged(folderFd, name);
}

RootDescriptor OpenForAppend(int folderFd, const char* name, std::string* why) {
  RootDescriptor fd(
      ::openat(folderFd, name, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | kNoLinks, 0644));
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

}  // namespace host

namespace host {

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

void StartWriteBack(int fd) {
  if (fd >= 0) ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
}

bool WriteThrough(int fd, bool on) {
  const int flags = fd >= 0 ? ::fcntl(fd, F_GETFL) : -1;
  if (flags < 0) return false;
  return ::fcntl(fd, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

void PreferLargePages(void* bytes, std::size_t count) { ::madvise(bytes, count, MADV_HUGEPAGE); }

bool SetLength(int fd, uint64_t length) { return fd >= 0 && ::ftruncate(fd, off_t(length)) == 0; }

bool AppendWhole(int fd, const std::string& bytes) {
  // A write past the file's size limit must fail (EFBIG), not end the program.
  static const bool limitSignalIgnored = [] {
    struct sigaction current {};
    if (sigaction(SIGXFSZ, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
      signal(SIGXFSZ, SIG_IGN);
    }
    return true;
  }();
  (void)limitSignalIgnored;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += std::size_t(n);
  }
  if (done == bytes.size()) return true;
  // What did get appended is the end of the file: cut it back off.
  const int savedErrno = errno;
  struct stat info {};
  if (done > 0 && fstat(fd, &info) == 0 && info.st_size >= off_t(done)) {
    const int cut = ::ftruncate(fd, info.st_size - off_t(done));
    (void)cut;
  }
  errno = savedErrno;
  return false;
}

bool CloseDescriptor(int fd) { return fd >= 0 && ::close(fd) == 0; }

}  // namespace host
