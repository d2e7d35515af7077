// Putting what was written on the medium: fsync for one file or folder,
// syncfs for everything at once.
#include <fcntl.h>
#include <unistd.h>

#include "host/linux/file_system.h"
#include "host/linux/unique_fd.h"
#include "platform/text.h"
#include "platform/trace.h"

namespace host {
namespace {

const char* Result(bool ok) { return ok ? "ok" : "failed"; }

}  // namespace

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
  platform::Trace("FlushFileBuffers(%s) -> %s", platform::ToUtf8(path).c_str(), Result(ok));
  return ok;
}

bool LinuxFileSystem::FlushVolume(std::u16string_view path) {
  const UniqueFd fd(open(paths_.FsRoot().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  const bool ok = fd.valid() && syncfs(fd.get()) == 0;
  platform::Trace("FlushVolume(%s) -> %s", platform::ToUtf8(path).c_str(), Result(ok));
  return ok;
}

}  // namespace host
