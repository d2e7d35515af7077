#include "fitkit/overlay_file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"

namespace fitkit {
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

OverlayFileSystem::OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                                     std::filesystem::path hostFile)
    : FileSystemWrapper(inner),
      inner_(inner),
      devicePath_(std::move(devicePath)),
      hostFile_(std::move(hostFile)) {}

bool OverlayFileSystem::IsShown(std::u16string_view path) const {
  return platform::EqualsNoCase(path, devicePath_);
}

std::unique_ptr<platform::File> OverlayFileSystem::Open(std::u16string_view path, uint32_t access,
                                                        platform::Disposition disposition) {
  if (!IsShown(path)) return inner_.Open(path, access, disposition);
  if ((access & platform::AccessWrite) != 0) return nullptr;
  return OpenHostFileForReading(hostFile_);
}

uint32_t OverlayFileSystem::GetAttributes(std::u16string_view path) {
  if (!IsShown(path)) return inner_.GetAttributes(path);
  std::error_code error;
  return std::filesystem::is_regular_file(hostFile_, error)
             ? platform::FILE_ATTRIBUTE_ARCHIVE | platform::FILE_ATTRIBUTE_READONLY
             : platform::kInvalidAttributes;
}

bool OverlayFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  return !IsShown(path) && inner_.SetAttributes(path, attributes);
}

bool OverlayFileSystem::DeleteFile(std::u16string_view path) {
  return !IsShown(path) && inner_.DeleteFile(path);
}

bool OverlayFileSystem::CreateDirectory(std::u16string_view path) {
  return !IsShown(path) && inner_.CreateDirectory(path);
}

bool OverlayFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  return !IsShown(from) && !IsShown(to) && inner_.MoveFile(from, to);
}

bool OverlayFileSystem::RemoveDirectory(std::u16string_view path) {
  return !IsShown(path) && inner_.RemoveDirectory(path);
}

bool OverlayFileSystem::CanCreate(std::u16string_view path) {
  return !IsShown(path) && inner_.CanCreate(path);
}

std::vector<platform::FindData> OverlayFileSystem::Find(std::u16string_view pattern) {
  if (!IsShown(pattern)) return inner_.Find(pattern);
  std::error_code error;
  const auto size = std::filesystem::file_size(hostFile_, error);
  if (error) return {};
  platform::FindData found;
  found.name = devicePath_.substr(devicePath_.rfind(u'\\') + 1);
  found.attributes = GetAttributes(pattern);
  found.size = size;
  return {found};
}

}  // namespace fitkit
