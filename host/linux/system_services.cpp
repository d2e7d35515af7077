#include "host/linux/system_services.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/root_files.h"
#include "platform/text.h"

namespace host {
namespace fs = std::filesystem;

LinuxSystemServices::LinuxSystemServices(const fs::path& deviceRoot)
    : root_(deviceRoot), paths_(deviceRoot) {}

// The locks go with the process anyway; closing them earlier would let a
// second instance in while this one still runs, so only a destroyed
// service object (tests) releases them.
LinuxSystemServices::~LinuxSystemServices() {
  for (const int fd : held_) ::close(fd);
}

fs::path LinuxSystemServices::LockPath(std::u16string_view name) const {
  std::string file;
  const std::string text = platform::ToUtf8(name);
  if (text == "." || text == "..") return root_ / ".locks" / ("%2E" + text.substr(1));
  for (const char c : text) {
    if (c == '/') {
      file += "%2F";
    } else if (c == '%') {
      file += "%25";
    } else {
      file += c;
    }
  }
  return root_ / ".locks" / file;
}

platform::MutexResult LinuxSystemServices::CreateNamedMutex(std::u16string_view name) {
  platform::MutexResult result = platform::MutexResult::Failed;
  if (name.empty()) {
    result = platform::MutexResult::Created;  // an unnamed mutex is nobody else's
  } else {
    // Only ever inside an existing root, and never through a link at
    // .locks or at the lock file.
    const RootDescriptor root = OpenRootFolder(root_);
    const RootDescriptor locks =
        root.valid() ? OpenOwnFolder(root.get(), ".locks") : RootDescriptor();
    const int fd = OpenLockFile(locks.get(), LockPath(name).filename().c_str()).Release();
    if (fd >= 0) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        held_.push_back(fd);
        result = platform::MutexResult::Created;
      } else {
        result = errno == EWOULDBLOCK ? platform::MutexResult::AlreadyExists
                                      : platform::MutexResult::Failed;
        ::close(fd);
      }
    }
  }
  return result;
}

std::optional<std::u16string> LinuxSystemServices::ModuleFileName() {
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  std::optional<std::u16string> path;
  if (!error) path = paths_.ToDevicePath(exe);
  return path;
}

}  // namespace host
