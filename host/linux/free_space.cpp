// The free room of the simulated drive: what device.ini's capacity leaves
// when it sets one, else what the host's file system under fs/ has free.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "host/linux/file_system.h"

namespace host {

bool LinuxFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  const auto host = paths_.ResolveExisting(path);
  return host && capacity_->FreeBytes(bytes, [&](uint64_t* free) {
    struct statvfs info {};
    if (statvfs(host->c_str(), &info) != 0) return false;
    *free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    return true;
  });
}

// The capacity counts bytes; a real file system gives every file whole
// blocks of its fundamental block size.
bool LinuxFileSystem::GetVolumeRoom(std::u16string_view path, platform::VolumeRoom* room) {
  *room = platform::VolumeRoom{};
  const auto host = paths_.ResolveExisting(path);
  bool ok = false;
  if (host && capacity_->Limited()) {
    room->overdrawn = capacity_->Overdrawn();
    room->free = room->overdrawn > 0 ? 0 : capacity_->Free();
    ok = true;
  } else if (host) {
    struct statvfs info {};
    ok = statvfs(host->c_str(), &info) == 0;
    if (ok) {
      room->free = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
      room->blockSize = info.f_frsize > 0 ? info.f_frsize : 1;
    }
  }
  return ok;
}

// The kernel's own answer for this process (a read-only mount, an immutable
// folder, missing permissions), and the flags that stop deletions although
// writing is allowed (append-only).
bool LinuxFileSystem::CanChangeFolder(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  bool ok = where && S_ISDIR(where->info.st_mode);
  if (ok) {
    const int dir = where->folder->get();
    const char* name = where->name.c_str();
    ok = faccessat(dir, name, W_OK | X_OK, AT_EACCESS) == 0;
    struct statx info {};
    if (ok && statx(dir, name, AT_STATX_DONT_SYNC, 0, &info) == 0) {
      ok = (info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) == 0;
    }
  }
  return ok;
}

}  // namespace host
