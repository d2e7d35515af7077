#include "host/command_host.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace host {
namespace {

// 100 ns intervals between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;

platform::FileTime FromTimespec(const timespec& time) {
  return {kUnixEpochInFileTime + uint64_t(time.tv_sec) * 10000000ull +
          uint64_t(time.tv_nsec) / 100};
}

class HostReadFile : public platform::File {
 public:
  explicit HostReadFile(int fd) : fd_(fd) {}
  ~HostReadFile() override { ::close(fd_); }
  HostReadFile(const HostReadFile&) = delete;
  HostReadFile& operator=(const HostReadFile&) = delete;

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    ssize_t n;
    do {
      n = ::read(fd_, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return false;
    *got = uint32_t(n);
    return true;
  }
  bool Write(const void*, uint32_t) override { return false; }
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override {
    const int whence = origin == platform::SeekOrigin::Begin     ? SEEK_SET
                       : origin == platform::SeekOrigin::Current ? SEEK_CUR
                                                                 : SEEK_END;
    const off_t at = ::lseek(fd_, off_t(offset), whence);
    if (at < 0) return false;
    if (newPosition != nullptr) *newPosition = uint64_t(at);
    return true;
  }
  bool GetSize(uint64_t* size) override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return false;
    *size = uint64_t(info.st_size);
    return true;
  }
  bool SetEnd() override { return false; }
  bool Flush() override { return true; }
  bool GetTimes(platform::FileTime* creation, platform::FileTime* access,
                platform::FileTime* write) override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return false;
    if (creation != nullptr) *creation = FromTimespec(info.st_mtim);
    if (access != nullptr) *access = FromTimespec(info.st_atim);
    if (write != nullptr) *write = FromTimespec(info.st_mtim);
    return true;
  }
  bool SetTimes(const platform::FileTime*, const platform::FileTime*,
                const platform::FileTime*) override {
    return false;
  }
  bool GetIdentity(platform::FileIdentity* identity) override {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return false;
    *identity = {uint64_t(info.st_dev), uint64_t(info.st_ino)};
    return true;
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<platform::File> OpenHostFileForReading(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return std::make_unique<HostReadFile>(fd);
}

bool MakeScratchFolder(const std::filesystem::path& parent, const std::string& prefix,
                       std::filesystem::path* made) {
  std::string pattern = (parent / (prefix + "XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) return false;
  *made = pattern;
  return true;
}

std::filesystem::path ThisProgram(const char* argv0) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path(argv0) : program;
}

void SetVariable(const char* name, const char* value) { ::setenv(name, value, 1); }

void RunInstead(const std::filesystem::path& program, std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& word : arguments) argv.push_back(word.data());
  argv.push_back(nullptr);
  ::execv(program.c_str(), argv.data());
}

}  // namespace host
