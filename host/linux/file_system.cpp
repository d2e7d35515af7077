#include "host/linux/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>

#include "host/linux/file_times.h"
#include "host/linux/attributes.h"
#include "host/linux/file.h"
#include "platform/device_names.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "host/linux/wildcard.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

const char* Result(bool ok) { return ok ? "ok" : "failed"; }

int OpenFlags(uint32_t access, Disposition disposition) {
  int flags = O_CLOEXEC;
  if ((access & AccessRead) && (access & AccessWrite)) {
    flags |= O_RDWR;
  } else if (access & AccessWrite) {
    flags |= O_WRONLY;
  } else {
    flags |= O_RDONLY;
  }
  switch (disposition) {
    case Disposition::CreateNew: return flags | O_CREAT | O_EXCL;
    case Disposition::CreateAlways: return flags | O_CREAT | O_TRUNC;
    case Disposition::OpenAlways: return flags | O_CREAT;
    case Disposition::OpenExisting: return flags;
  }
  return flags;
}

bool EndsWithSeparator(std::u16string_view path) {
  return !path.empty() && (path.back() == u'\\' || path.back() == u'/');
}

// The folder part of a pattern, as a device path.
std::u16string FolderOf(const std::vector<std::u16string>& parts) {
  std::u16string folder;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) folder += u"\\" + parts[i];
  return folder.empty() ? u"\\" : folder;
}

bool IsUtf8(const std::string& name) { return ToUtf8(FromUtf8(name)) == name; }

// What the kit creates must be a name the device would take.
bool HasValidLastName(std::u16string_view path) {
  const auto parts = SplitDevicePath(path);
  return !parts.empty() && IsValidDeviceName(parts.back());
}

}  // namespace

LinuxFileSystem::LinuxFileSystem(const fs::path& deviceRoot, uint64_t capacity)
    : paths_(deviceRoot), capacity_(std::make_shared<FsCapacity>(paths_.FsRoot(), capacity)) {}

std::unique_ptr<File> LinuxFileSystem::OpenResolved(const fs::path& host, uint32_t access,
                                                    Disposition disposition) {
  struct stat info {};
  const bool exists = stat(host.c_str(), &info) == 0;
  if (exists && S_ISDIR(info.st_mode)) return nullptr;
  // Permission bits bind no one running as root; the device's rule holds anyway.
  const bool changes = (access & AccessWrite) != 0 || disposition == Disposition::CreateAlways;
  if (exists && changes && (info.st_mode & 0222) == 0) return nullptr;
  const int fd = OpenRegularHostFile(host.c_str(), OpenFlags(access, disposition), 0666);
  if (fd < 0) return nullptr;
  if (exists && disposition == Disposition::CreateAlways) {
    capacity_->Release(static_cast<uint64_t>(info.st_size));
  }
  return std::make_unique<LinuxFile>(fd, access & (AccessRead | AccessWrite), host.string(),
                                     capacity_);
}

std::unique_ptr<File> LinuxFileSystem::Open(std::u16string_view path, uint32_t access,
                                            Disposition disposition) {
  const auto host = disposition == Disposition::OpenExisting ? paths_.ResolveExisting(path)
                                                             : paths_.ResolveForCreate(path);
  std::unique_ptr<File> file;
  const bool named = disposition == Disposition::OpenExisting || HasValidLastName(path);
  if (host && named && !EndsWithSeparator(path)) file = OpenResolved(*host, access, disposition);
  Trace("CreateFile(%s, access %u, disposition %d) -> %s", ToUtf8(path).c_str(), access,
        static_cast<int>(disposition), Result(file != nullptr));
  return file;
}

uint32_t LinuxFileSystem::GetAttributes(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const uint32_t attributes = host ? ReadHostAttributes(*host) : kInvalidAttributes;
  Trace("GetFileAttributes(%s) -> 0x%08X", ToUtf8(path).c_str(), attributes);
  return attributes;
}

bool LinuxFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  const auto host = paths_.ResolveExisting(path);
  const bool ok = host && WriteHostAttributes(*host, attributes);
  Trace("SetFileAttributes(%s, 0x%08X) -> %s", ToUtf8(path).c_str(), attributes, Result(ok));
  return ok;
}

bool LinuxFileSystem::DeleteFile(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  struct stat link {};
  bool ok = host && lstat(host->c_str(), &link) == 0 && !S_ISDIR(link.st_mode) &&
            !IsReadOnlyFile(*host) && ::unlink(host->c_str()) == 0;
  if (ok && S_ISREG(link.st_mode)) capacity_->Release(static_cast<uint64_t>(link.st_size));
  Trace("DeleteFile(%s) -> %s", ToUtf8(path).c_str(), Result(ok));
  return ok;
}

bool LinuxFileSystem::CreateDirectory(std::u16string_view path) {
  const auto host = paths_.ResolveForCreate(path);
  const bool ok = host && HasValidLastName(path) && ::mkdir(host->c_str(), 0777) == 0;
  Trace("CreateDirectory(%s) -> %s", ToUtf8(path).c_str(), Result(ok));
  return ok;
}

bool LinuxFileSystem::RemoveDirectory(std::u16string_view path) {
  const auto host = paths_.ResolveExisting(path);
  const bool ok = host && *host != paths_.FsRoot() && ::rmdir(host->c_str()) == 0;
  Trace("RemoveDirectory(%s) -> %s", ToUtf8(path).c_str(), Result(ok));
  return ok;
}

std::vector<FindData> LinuxFileSystem::Find(std::u16string_view pattern) {
  std::vector<FindData> found;
  const auto parts = SplitDevicePath(pattern);
  const auto folder = parts.empty() || EndsWithSeparator(pattern)
                          ? std::nullopt
                          : paths_.ResolveExisting(FolderOf(parts));
  std::vector<std::string> names;
  std::error_code error, linkError;
  if (folder && fs::is_directory(*folder, error)) {
    for (fs::directory_iterator it(*folder, error), end; !error && it != end;
         it.increment(error)) {
      const std::string name = it->path().filename().string();
      // The folder lies inside, so only a link among its entries can lead out.
      if (IsUtf8(name) && MatchWildcard(parts.back(), FromUtf8(name)) &&
          (!it->is_symlink(linkError) || paths_.StaysInside(it->path()))) {
        names.push_back(name);
      }
    }
  }
  std::sort(names.begin(), names.end());
  for (const auto& name : names) {
    struct stat info {};
    const fs::path host = *folder / name;
    if (stat(host.c_str(), &info) != 0) continue;  // a link that dangles
    FindData data;
    data.name = FromUtf8(name);
    data.attributes = ReadHostAttributes(host);
    // The device has no links: a link is listed as an entry of its own, never
    // as a folder, so a walk over the tree (the old-file removal) does not
    // descend into what it points at, and deleting it removes only the link.
    if (fs::is_symlink(fs::symlink_status(host, linkError))) {
      data.attributes &= ~FILE_ATTRIBUTE_DIRECTORY;
    }
    data.size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
    data.writeTime = FileTimeFromTimespec(info.st_mtim);
    found.push_back(std::move(data));
  }
  Trace("FindFirstFile(%s) -> %zu entries", ToUtf8(pattern).c_str(), found.size());
  return found;
}

SystemTime LinuxFileSystem::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  SystemTime time;
  FileTimeToSystemTime(FileTimeFromTimespec(now), &time);
  Trace("GetSystemTime() -> %04u-%02u-%02u %02u:%02u:%02u", time.year, time.month, time.day,
        time.hour, time.minute, time.second);
  return time;
}

}  // namespace platform
