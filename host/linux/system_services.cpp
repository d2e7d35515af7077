#include "host/linux/system_services.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

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

// Only ever inside an existing root, and never through a link at .locks or
// at the lock file. -1 when it cannot be opened.
int LinuxSystemServices::OpenLock(const char* file) const {
  const RootDescriptor root = OpenRootFolder(root_);
  const RootDescriptor locks =
      root.valid() ? OpenOwnFolder(root.get(), ".locks") : RootDescriptor();
  return OpenLockFile(locks.get(), file).Release();
}

// Created (the descriptor kept), AlreadyExists or Failed (the descriptor closed).
platform::MutexResult LinuxSystemServices::TakeLock(int fd) {
  if (fd < 0) return platform::MutexResult::Failed;
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    held_.push_back(fd);
    return platform::MutexResult::Created;
  }
  const bool busy = errno == EWOULDBLOCK;
  ::close(fd);
  return busy ? platform::MutexResult::AlreadyExists : platform::MutexResult::Failed;
}

platform::MutexResult LinuxSystemServices::CreateNamedMutex(std::u16string_view name) {
  if (name.empty()) return platform::MutexResult::Created;  // an unnamed mutex is nobody else's
  return TakeLock(OpenLock(LockPath(name).filename().c_str()));
}

namespace {

constexpr char kDeviceLock[] = "device-update";

// The holder's program from "<pid> <program>", when that process still runs:
// a file left by a process that ended names nobody.
std::u16string RunningHolder(int fd) {
  char text[128] = {};
  const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
  long pid = 0;
  char program[64] = {};
  if (got <= 0 || std::sscanf(text, "%ld %63s", &pid, program) != 2 || pid <= 0) return {};
  const bool running = ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
  return running ? platform::FromUtf8(program) : std::u16string();
}

}  // namespace

platform::MutexResult LinuxSystemServices::LockDeviceUpdate(std::u16string_view program,
                                                            std::u16string* holder) {
  holder->clear();
  const int fd = OpenLock(kDeviceLock);
  const int reader = fd < 0 ? -1 : ::dup(fd);
  const platform::MutexResult result = TakeLock(fd);
  if (result == platform::MutexResult::Created) {
    const std::string owner = std::to_string(::getpid()) + " " + platform::ToUtf8(program) + "\n";
    // Who holds it is only information for the next program: not a reason to stop.
    const bool noted = ::ftruncate(reader, 0) == 0 &&
                       ::pwrite(reader, owner.data(), owner.size(), 0) == ssize_t(owner.size());
    (void)noted;
  } else if (result == platform::MutexResult::AlreadyExists) {
    *holder = RunningHolder(reader);
  }
  if (reader >= 0) ::close(reader);
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
