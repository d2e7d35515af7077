#include "host/linux/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/file_system.h"

namespace host {
namespace {

constexpr uint32_t kKeptInXattr = platform::FILE_ATTRIBUTE_HIDDEN |
                                  platform::FILE_ATTRIBUTE_SYSTEM |
                                  platform::FILE_ATTRIBUTE_ARCHIVE;

// A file the kit never touched carries the archive bit, as every file
// written on the device does.
constexpr uint32_t kDefaultFileBits = platform::FILE_ATTRIBUTE_ARCHIVE;

// None (all ones) when the entry has no stored bits.
uint32_t ReadStoredBits(const char* path) {
  char text[32] = {};
  const ssize_t length = getxattr(path, kAttributesXattr, text, sizeof text - 1);
  if (length <= 0) return platform::kInvalidAttributes;
  char* end = nullptr;
  const unsigned long bits = std::strtoul(text, &end, 16);
  return end == text ? platform::kInvalidAttributes : static_cast<uint32_t>(bits);
}

// Counted before each store, so that whoever reads the count after the
// store has begun sees it changed.
std::atomic<uint64_t> stores{0};
// The same for changes of a mode.
std::atomic<uint64_t> modeChanges{0};

bool WriteStoredBits(const char* path, uint32_t bits) {
  ++stores;
  char text[16];
  const int length = std::snprintf(text, sizeof text, "0x%02X", bits);
  if (setxattr(path, kAttributesXattr, text, static_cast<size_t>(length), 0) == 0) return true;
  // Without extended attributes on the host these bits are dropped.
  return errno == ENOTSUP || errno == EPERM;
}

uint32_t Combine(bool folder, mode_t mode, uint32_t stored) {
  uint32_t attributes = 0;
  if (folder) {
    attributes = platform::FILE_ATTRIBUTE_DIRECTORY;
    if (stored != platform::kInvalidAttributes) {
      attributes |= stored & (kKeptInXattr | platform::FILE_ATTRIBUTE_READONLY);
    }
  } else {
    attributes = stored != platform::kInvalidAttributes ? stored & kKeptInXattr : kDefaultFileBits;
    if ((mode & 0222) == 0) attributes |= platform::FILE_ATTRIBUTE_READONLY;
  }
  return attributes == 0 ? platform::FILE_ATTRIBUTE_NORMAL : attributes;
}

// The extended attributes of an entry of an open folder are reached
// relative to the folder's descriptor, which pins the folder that was
// checked, and never through a link put there since: with the *xattrat
// calls (Linux 6.13), else through the descriptor in /proc with the l* calls.
std::string EntryPath(int dir, const std::string& name) {
  return "/proc/self/fd/" + std::to_string(dir) + "/" + name;
}

#if defined(__x86_64__) || defined(__aarch64__)
constexpr long kSetXattrAt = 463, kGetXattrAt = 464, kRemoveXattrAt = 466;  // the same on both
struct XattrArgs {
  uint64_t value;
  uint32_t size;
  uint32_t flags;
};
std::atomic<bool> xattrAtMissing{false};

// -1 with errno ENOSYS when the kernel has no such call.
long XattrAt(long call, int dir, const std::string& name, const void* value, size_t size) {
  if (xattrAtMissing.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  XattrArgs args{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
  const long result =
      syscall(call, dir, name.c_str(), AT_SYMLINK_NOFOLLOW, kAttributesXattr, &args, sizeof args);
  if (result < 0 && errno == ENOSYS) xattrAtMissing = true;
  return result;
}

long RemoveXattrAt(int dir, const std::string& name) {
  if (xattrAtMissing.load(std::memory_order_relaxed)) {
    errno = ENOSYS;
    return -1;
  }
  const long result =
      syscall(kRemoveXattrAt, dir, name.c_str(), AT_SYMLINK_NOFOLLOW, kAttributesXattr);
  if (result < 0 && errno == ENOSYS) xattrAtMissing = true;
  return result;
}
#else
constexpr long kSetXattrAt = 0, kGetXattrAt = 0;
long XattrAt(long, int, const std::string&, const void*, size_t) {
  errno = ENOSYS;
  return -1;
}
long RemoveXattrAt(int, const std::string&) {
  errno = ENOSYS;
  return -1;
}
#endif

ssize_t GetEntryXattr(int dir, const std::string& name, char* value, size_t size) {
  const long length = XattrAt(kGetXattrAt, dir, name, value, size);
  if (length >= 0 || errno != ENOSYS) return length;
  return lgetxattr(EntryPath(dir, name).c_str(), kAttributesXattr, value, size);
}

int SetEntryXattr(int dir, const std::string& name, const char* value, size_t size) {
  const long result = XattrAt(kSetXattrAt, dir, name, value, size);
  if (result >= 0 || errno != ENOSYS) return static_cast<int>(result);
  return lsetxattr(EntryPath(dir, name).c_str(), kAttributesXattr, value, size, 0);
}

// Success when there was nothing to remove.
int RemoveEntryXattr(int dir, const std::string& name) {
  long result = RemoveXattrAt(dir, name);
  if (result < 0 && errno == ENOSYS) {
    result = lremovexattr(EntryPath(dir, name).c_str(), kAttributesXattr);
  }
  return result < 0 && errno == ENODATA ? 0 : static_cast<int>(result);
}

}  // namespace

uint32_t ReadHostAttributesAt(int dir, const std::string& name, const struct stat& info) {
  uint32_t stored = platform::kInvalidAttributes;
  char text[32] = {};
  const ssize_t length = GetEntryXattr(dir, name, text, sizeof text - 1);
  if (length > 0) {
    char* end = nullptr;
    const unsigned long bits = std::strtoul(text, &end, 16);
    if (end != text) stored = static_cast<uint32_t>(bits);
  }
  return Combine(S_ISDIR(info.st_mode), info.st_mode, stored);
}

namespace {

// Where the attributes go: an entry of an open folder, or an open file.
class AttributeTarget {
 public:
  virtual ~AttributeTarget() = default;
  virtual int ChangeMode(mode_t mode) = 0;
  // 0 also when there was nothing to remove.
  virtual int RemoveBits() = 0;
  virtual int StoreBits(const char* text, size_t length) = 0;
};

class EntryTarget : public AttributeTarget {
 public:
  EntryTarget(int dir, const std::string& name) : dir_(dir), name_(name) {}
  int ChangeMode(mode_t mode) override {
    return fchmodat(dir_, name_.c_str(), mode, AT_SYMLINK_NOFOLLOW);
  }
  int RemoveBits() override { return RemoveEntryXattr(dir_, name_); }
  int StoreBits(const char* text, size_t length) override {
    return SetEntryXattr(dir_, name_, text, length);
  }

 private:
  int dir_;
  const std::string& name_;
};

class OpenFileTarget : public AttributeTarget {
 public:
  OpenFileTarget(int fd, bool mayHoldBits) : fd_(fd), mayHoldBits_(mayHoldBits) {}
  int ChangeMode(mode_t mode) override { return fchmod(fd_, mode); }
  int RemoveBits() override {
    if (!mayHoldBits_) return 0;
    const int result = fremovexattr(fd_, kAttributesXattr);
    return result < 0 && errno == ENODATA ? 0 : result;
  }
  int StoreBits(const char* text, size_t length) override {
    return fsetxattr(fd_, kAttributesXattr, text, length, 0);
  }

 private:
  int fd_;
  bool mayHoldBits_;
};

bool WriteAttributes(AttributeTarget& target, const struct stat& info, uint32_t attributes) {
  const bool folder = S_ISDIR(info.st_mode);
  const bool readOnly = (attributes & platform::FILE_ATTRIBUTE_READONLY) != 0;
  if (!folder) {
    mode_t mode = info.st_mode & 07777;
    mode = readOnly ? mode & ~mode_t{0222} : ((mode & 0222) != 0 ? mode : mode | S_IWUSR);
    if (mode != (info.st_mode & 07777) && (++modeChanges, target.ChangeMode(mode) != 0)) {
      return false;
    }
  }
  const uint32_t kept =
      attributes & (folder ? kKeptInXattr | platform::FILE_ATTRIBUTE_READONLY : kKeptInXattr);
  // Bits the entry reports without the attribute are not stored: most
  // files the kit writes carry the archive bit alone, and a removal that
  // finds nothing costs less than a write.
  if (kept == (folder ? 0 : kDefaultFileBits)) {
    if (target.RemoveBits() == 0) return true;
  } else {
    char text[16];
    const int length = std::snprintf(text, sizeof text, "0x%02X", kept);
    ++stores;
    if (target.StoreBits(text, static_cast<size_t>(length)) == 0) return true;
  }
  // Without extended attributes on the host these bits are dropped.
  return errno == ENOTSUP || errno == EPERM;
}

}  // namespace

bool WriteHostAttributesAt(int dir, const std::string& name, const struct stat& info,
                           uint32_t attributes) {
  EntryTarget target(dir, name);
  return WriteAttributes(target, info, attributes);
}

bool WriteHostAttributesOf(int fd, const struct stat& info, uint32_t attributes, bool mayHoldBits) {
  OpenFileTarget target(fd, mayHoldBits);
  return WriteAttributes(target, info, attributes);
}

uint64_t HostAttributeStores() { return stores.load(); }

uint64_t HostModeChanges() { return modeChanges.load(); }

uint32_t ReadHostAttributes(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return platform::kInvalidAttributes;
  return Combine(S_ISDIR(info.st_mode), info.st_mode, ReadStoredBits(path.c_str()));
}

bool WriteHostAttributes(const std::filesystem::path& path, uint32_t attributes) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  const bool folder = S_ISDIR(info.st_mode);
  const bool readOnly = (attributes & platform::FILE_ATTRIBUTE_READONLY) != 0;
  if (!folder) {
    mode_t mode = info.st_mode & 07777;
    mode = readOnly ? mode & ~mode_t{0222} : ((mode & 0222) != 0 ? mode : mode | S_IWUSR);
    if (mode != (info.st_mode & 07777) && (++modeChanges, chmod(path.c_str(), mode) != 0)) {
      return false;
    }
  }
  const uint32_t kept =
      attributes & (folder ? kKeptInXattr | platform::FILE_ATTRIBUTE_READONLY : kKeptInXattr);
  return WriteStoredBits(path.c_str(), kept);
}

uint32_t StatusAttributes(const struct stat& info) {
  if (S_ISDIR(info.st_mode)) return platform::FILE_ATTRIBUTE_DIRECTORY;
  return (info.st_mode & 0222) == 0 ? platform::FILE_ATTRIBUTE_READONLY
                                    : platform::FILE_ATTRIBUTE_NORMAL;
}

bool IsReadOnlyFile(const std::filesystem::path& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && (info.st_mode & 0222) == 0;
}

}  // namespace host
