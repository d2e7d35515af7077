// Putting what was written on the medium: fsync for one file or folder,
// syncfs for everything at once.
#include <fcntl.h>
#include <unistd.h>

#include "host/linux/file_system.h"
#include "host/linux/unique_fd.h"

namespace host {

bool LinuxFileSystem::Flush(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  bool ok = false;
  if (where && (S_ISREG(where->info.st_mode) || S_ISDIR(where->info.st_mode))) {
    // A folder's entries reach the medium with an fsync of the folder itself.
    const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW |
                      (S_ISDIR(where->info.st_mode) ? O_DIRECTORY : O_NONBLOCK);
    const UniqueFd fd(openat(where->folder->get(), where->name.c_str(), flags));
    ok = fd.valid() && fsync(fd.get()) == 0;
  }
  return ok;
}

// The volume that holds `path`: a folder below fs/ (the flash drive) may be
// a mount of its own, and syncing fs/ would leave its writes in the cache.
UniqueFd LinuxFileSystem::OpenVolumeOf(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  if (!where) return UniqueFd(-1);
  const int flags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  return UniqueFd(openat(where->folder->get(), where->name.c_str(), flags));
}

bool LinuxFileSystem::FlushVolume(std::u16string_view path) {
  const UniqueFd fd = OpenVolumeOf(path);
  return fd.valid() && syncfs(fd.get()) == 0;
}

}  // namespace host
