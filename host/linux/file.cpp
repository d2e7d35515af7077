#include "host/linux/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <utility>

#include "host/linux/attributes.h"
#include "host/linux/file_times.h"

namespace host {
namespace {

// The host keeps no settable creation time; the kit keeps the one it was
// given here.
constexpr const char* kCreationXattr = "user.fitkit.created";

std::optional<platform::FileTime> StoredCreationTime(int fd) {
  char text[32] = {};
  const ssize_t length = fgetxattr(fd, kCreationXattr, text, sizeof text - 1);
  if (length <= 0) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (end == text) return std::nullopt;
  return platform::FileTime{value};
}

bool ValidTime(const platform::FileTime* time) {
  return time == nullptr || time->value <= static_cast<uint64_t>(INT64_MAX);
}

timespec ToHostTime(const platform::FileTime* time) {
  if (time != nullptr) return FileTimeToTimespec(*time);
  timespec omit{};
  omit.tv_nsec = UTIME_OMIT;
  return omit;
}

// The bits a new file's mode loses, as the kernel reports them.
std::optional<mode_t> ProcessUmask() {
  static const std::optional<mode_t> umask = []() -> std::optional<mode_t> {
    FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr) return std::nullopt;
    std::optional<mode_t> found;
    char line[256];
    unsigned value = 0;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      if (std::sscanf(line, "Umask: %o", &value) == 1) found = static_cast<mode_t>(value & 0777);
    }
    std::fclose(status);
    return found;
  }();
  return umask;
}

}  // namespace

int OpenRegularFileAt(int dir, const char* name, int flags, mode_t mode, struct stat* info) {
  // O_NONBLOCK changes nothing for a regular file; it only keeps a FIFO
  // from blocking the open.
  const int fd = openat(dir, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  // A file this call created is a new regular file, empty and nothing else.
  if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL)) {
    *info = {};
    info->st_mode = S_IFREG;
    return fd;
  }
  if (fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

std::optional<mode_t> CreatedFileMode(mode_t requested) {
  const std::optional<mode_t> umask = ProcessUmask();
  if (!umask) return std::nullopt;
  return requested & ~*umask & 07777;
}

LinuxFile::LinuxFile(int fd, uint32_t access, std::string name,
                     std::shared_ptr<DriveCapacity> capacity,
                     std::optional<uint64_t> storesBeforeCreation,
                     std::optional<mode_t> modeAtCreation)
    : fd_(fd),
      access_(access),
      name_(std::move(name)),
      capacity_(std::move(capacity)),
      storesBeforeCreation_(storesBeforeCreation),
      modeAtCreation_(modeAtCreation),
      modeChangesBeforeCreation_(HostModeChanges()) {}

LinuxFile::~LinuxFile() { ::close(fd_); }

// Only through a handle that may write, as the device asks of a handle
// whose attributes change. A file created by this handle starts without
// stored bits and keeps none while this process stores none anywhere (its
// own stores included), which spares a removal that would find nothing.
bool LinuxFile::SetAttributes(uint32_t attributes) {
  struct stat info {};
  const bool mayHoldBits = storesBeforeCreation_ != HostAttributeStores();
  // The mode it was created with spares asking for it, once, unless a mode
  // was changed since (this one's, by its path, as like as not).
  std::optional<mode_t> known = std::exchange(modeAtCreation_, std::nullopt);
  if (modeChangesBeforeCreation_ != HostModeChanges()) known.reset();
  if (known) info.st_mode = S_IFREG | *known;
  return (access_ & platform::AccessWrite) != 0 && (known || fstat(fd_, &info) == 0) &&
         WriteHostAttributesOf(fd_, info, attributes, mayHoldBits);
}

bool LinuxFile::Read(void* buffer, uint32_t count, uint32_t* got) {
  if (got != nullptr) *got = 0;
  bool ok =
      (access_ & platform::AccessRead) != 0 && got != nullptr && (buffer != nullptr || count == 0);
  ssize_t n = 0;
  if (ok) {
    do {
      n = ::read(fd_, buffer, count);
    } while (n < 0 && errno == EINTR);
    ok = n >= 0;
    if (ok) *got = static_cast<uint32_t>(n);
  }
  return ok;
}

bool LinuxFile::ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* got) {
  if (got != nullptr) *got = 0;
  if ((access_ & platform::AccessRead) == 0 || got == nullptr || (buffer == nullptr && count > 0) ||
      offset > uint64_t(INT64_MAX)) {
    return false;
  }
  ssize_t n = 0;
  do {
    n = ::pread(fd_, buffer, count, off_t(offset));
  } while (n < 0 && errno == EINTR);
  if (n < 0) return false;
  *got = static_cast<uint32_t>(n);
  return true;
}

bool LinuxFile::ReserveUpTo(uint64_t newEnd) {
  struct stat info {};
  if (fstat(fd_, &info) != 0) return false;
  const auto size = static_cast<uint64_t>(info.st_size);
  return newEnd <= size || capacity_->Reserve(newEnd - size);
}

bool LinuxFile::WriteAll(const char* bytes, uint32_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd_, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<uint32_t>(n);
  }
  return true;
}

bool LinuxFile::Write(const void* buffer, uint32_t count) {
  bool ok = (access_ & platform::AccessWrite) != 0 && (buffer != nullptr || count == 0);
  if (ok && capacity_->Limited()) {
    const off_t position = lseek(fd_, 0, SEEK_CUR);
    ok = position >= 0 && ReserveUpTo(static_cast<uint64_t>(position) + count);
  }
  ok = ok && WriteAll(static_cast<const char*>(buffer), count);
  return ok;
}

bool LinuxFile::Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) {
  const int whence = origin == platform::SeekOrigin::Begin     ? SEEK_SET
                     : origin == platform::SeekOrigin::Current ? SEEK_CUR
                                                               : SEEK_END;
  const off_t position = lseek(fd_, static_cast<off_t>(offset), whence);
  const bool ok = position >= 0;
  if (ok && newPosition != nullptr) *newPosition = static_cast<uint64_t>(position);
  return ok;
}

bool LinuxFile::GetSize(uint64_t* size) {
  struct stat info {};
  const bool ok = size != nullptr && fstat(fd_, &info) == 0;
  if (ok) *size = static_cast<uint64_t>(info.st_size);
  return ok;
}

bool LinuxFile::SetEnd() {
  struct stat info {};
  const off_t position = lseek(fd_, 0, SEEK_CUR);
  bool ok = (access_ & platform::AccessWrite) != 0 && position >= 0 && fstat(fd_, &info) == 0;
  const auto end = static_cast<uint64_t>(position);
  const auto size = static_cast<uint64_t>(info.st_size);
  ok = ok && (end <= size || capacity_->Reserve(end - size)) && ftruncate(fd_, position) == 0;
  if (ok && end < size) capacity_->Release(size - end);
  return ok;
}

bool LinuxFile::Flush() {
  const bool ok = fsync(fd_) == 0;
  return ok;
}

void LinuxFile::StartFlush() { sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE); }

bool LinuxFile::GetTimes(platform::FileTime* creation, platform::FileTime* access,
                         platform::FileTime* write) {
  // One call for all three host times.
  struct statx info {};
  const bool ok =
      statx(fd_, "", AT_EMPTY_PATH, STATX_ATIME | STATX_MTIME | STATX_BTIME, &info) == 0;
  const auto toFileTime = [](const statx_timestamp& t) {
    timespec host{};
    host.tv_sec = t.tv_sec;
    host.tv_nsec = t.tv_nsec;
    return FileTimeFromTimespec(host);
  };
  if (ok) {
    const platform::FileTime modified = toFileTime(info.stx_mtime);
    if (access != nullptr) *access = toFileTime(info.stx_atime);
    if (write != nullptr) *write = modified;
    if (creation != nullptr) {
      auto created = StoredCreationTime(fd_);
      if (!created && (info.stx_mask & STATX_BTIME) != 0) created = toFileTime(info.stx_btime);
      *creation = created.value_or(modified);
    }
  }
  return ok;
}

bool LinuxFile::SetTimes(const platform::FileTime* creation, const platform::FileTime* access,
                         const platform::FileTime* write) {
  bool ok = ValidTime(creation) && ValidTime(access) && ValidTime(write);
  if (ok && (access != nullptr || write != nullptr)) {
    const timespec times[2] = {ToHostTime(access), ToHostTime(write)};
    ok = futimens(fd_, times) == 0;
  }
  if (ok && creation != nullptr) {
    char text[32];
    const int length = std::snprintf(text, sizeof text, "%" PRIu64, creation->value);
    // Without extended attributes the creation time is not kept.
    ok = fsetxattr(fd_, kCreationXattr, text, static_cast<size_t>(length), 0) == 0 ||
         errno == ENOTSUP;
  }
  return ok;
}

bool LinuxFile::GetIdentity(platform::FileIdentity* identity) {
  struct stat info {};
  if (fstat(fd_, &info) != 0) return false;
  identity->volume = static_cast<uint64_t>(info.st_dev);
  identity->file = static_cast<uint64_t>(info.st_ino);
  return true;
}

}  // namespace host
