#include "report/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace fitkit {
namespace {

// The few calls the report's file needs, by host: the path's own characters
// on Windows (its wide functions), and a rename that replaces there too.
#ifdef _WIN32
int CreateFor(const std::filesystem::path& file) {
  return _wopen(file.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long WriteSome(int fd, const char* bytes, std::size_t count) {
  return _write(fd, bytes, unsigned(std::min<std::size_t>(count, 1u << 30)));
}
int SyncFile(int fd) { return _commit(fd); }
int ProcessId() { return _getpid(); }
void CloseFile(int fd) { _close(fd); }
bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  errno = EACCES;
  return false;
}
constexpr int kStandardOutput = 1;
#else
int CreateFor(const std::filesystem::path& file) {
  return ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
}
long WriteSome(int fd, const char* bytes, std::size_t count) { return ::write(fd, bytes, count); }
int SyncFile(int fd) { return ::fsync(fd); }
int ProcessId() { return ::getpid(); }
void CloseFile(int fd) { ::close(fd); }
bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}
constexpr int kStandardOutput = STDOUT_FILENO;
#endif

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const long n = WriteSome(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

bool Failed(std::string* error, int number) {
  *error = std::strerror(number);
  return false;
}

// A whole new file under a temporary name, renamed over `file`: a reader
// finds the whole document or none.
bool ReplaceWhole(const std::filesystem::path& file, const std::string& text, std::string* error,
                  const struct stat* existing) {
  std::filesystem::path temporary = file;
  temporary += ".tmp." + std::to_string(ProcessId());
  const int fd = CreateFor(temporary);
  if (fd < 0) return Failed(error, errno);
  bool written = true;
#ifndef _WIN32
  if (existing != nullptr) {
    // The owner first: a change of owner clears the set-id bits again.
    if (::geteuid() == 0) written = ::fchown(fd, existing->st_uid, existing->st_gid) == 0;
    written = written && ::fchmod(fd, existing->st_mode & 07777) == 0;
  }
#else
  (void)existing;
#endif
  written = written && WriteAll(fd, text) && SyncFile(fd) == 0;
  const int savedErrno = errno;
  CloseFile(fd);
  if (!written || !Replace(temporary, file)) {
    const int number = written ? errno : savedErrno;
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    return Failed(error, number);
  }
  return true;
}

#ifndef _WIN32
// Into what is there, never replacing it: a device, a named pipe, a
// terminal. A pipe nobody reads is refused rather than waited for.
bool WriteInPlace(const std::filesystem::path& file, const std::string& text, std::string* error) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENXIO) {
    *error = "it is a named pipe that nobody reads";
    return false;
  }
  if (fd < 0) return Failed(error, errno);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const bool written = WriteAll(fd, text);
  const int number = errno;
  CloseFile(fd);
  return written || Failed(error, number);
}
#endif

}  // namespace

bool WriteReportFile(const std::filesystem::path& file, const std::string& text,
                     std::string* error) {
  if (file == "-") return WriteAll(kStandardOutput, text) || Failed(error, errno);
#ifdef _WIN32
  return ReplaceWhole(file, text, error, nullptr);
#else
  struct stat own {
  }, target{};
  const bool exists = ::lstat(file.c_str(), &own) == 0;
  if (!exists) return ReplaceWhole(file, text, error, nullptr);
  if (::stat(file.c_str(), &target) != 0) {
    *error = "it is a link that leads nowhere";
    return false;
  }
  if (S_ISDIR(target.st_mode)) return Failed(error, EISDIR);
  if (!S_ISREG(target.st_mode)) return WriteInPlace(file, text, error);
  if (!S_ISLNK(own.st_mode)) return ReplaceWhole(file, text, error, &target);
  // A link to a regular file: the file it names is replaced, the link stays.
  std::error_code failure;
  const std::filesystem::path real = std::filesystem::canonical(file, failure);
  if (failure) return Failed(error, failure.value());
  return ReplaceWhole(real, text, error, &target);
#endif
}

}  // namespace fitkit
