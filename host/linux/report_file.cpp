#include "host/report_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/common/report_writing.h"

namespace host {
namespace {

const ReportFileCalls kCalls = {
    [](const std::filesystem::path& file) {
      return ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    },
    [](int fd, const char* bytes, std::size_t count) { return long(::write(fd, bytes, count)); },
    [](int fd) { return ::fsync(fd); },
    [](int fd) { ::close(fd); },
    [](const std::filesystem::path& from, const std::filesystem::path& to) {
      return std::rename(from.c_str(), to.c_str()) == 0;
    },
    [] { return int(::getpid()); },
};

// The owner first: a change of owner clears the set-id bits again.
bool KeepOwnerAndMode(int fd, const struct stat& existing) {
  if (::geteuid() == 0 && ::fchown(fd, existing.st_uid, existing.st_gid) != 0) return false;
  return ::fchmod(fd, existing.st_mode & 07777) == 0;
}

bool ReplaceKeeping(const std::filesystem::path& file, const std::string& text, std::string* error,
                    const struct stat& existing) {
  return ReplaceWhole(kCalls, file, text, error,
                      [&existing](int fd) { return KeepOwnerAndMode(fd, existing); });
}

// Into what is there, never replacing it: a device, a named pipe, a
// terminal. A pipe nobody reads is refused rather than waited for.
bool WriteInPlace(const std::filesystem::path& file, const std::string& text, std::string* error) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && errno == ENXIO) {
    *error = "it is a named pipe that nobody reads";
    return false;
  }
  if (fd < 0) return ReportFailed(error, errno);
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  const bool written = WriteWholeText(kCalls, fd, text);
  const int number = errno;
  ::close(fd);
  return written || ReportFailed(error, number);
}

}  // namespace

bool WriteReportFile(const std::filesystem::path& file, const std::string& text,
                     std::string* error) {
  if (file == "-") return WriteWholeText(kCalls, STDOUT_FILENO, text) || ReportFailed(error, errno);
  struct stat own {
  }, target{};
  const bool exists = ::lstat(file.c_str(), &own) == 0;
  if (!exists) return ReplaceWhole(kCalls, file, text, error);
  if (::stat(file.c_str(), &target) != 0) {
    *error = "it is a link that leads nowhere";
    return false;
  }
  if (S_ISDIR(target.st_mode)) return ReportFailed(error, EISDIR);
  if (!S_ISREG(target.st_mode)) return WriteInPlace(file, text, error);
  if (!S_ISLNK(own.st_mode)) return ReplaceKeeping(file, text, error, target);
  // A link to a regular file: the file it names is replaced, the link stays.
  std::error_code failure;
  const std::filesystem::path real = std::filesystem::canonical(file, failure);
  if (failure) return ReportFailed(error, failure.value());
  return ReplaceKeeping(real, text, error, target);
}

}  // namespace host
