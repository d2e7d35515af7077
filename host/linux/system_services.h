// Named mutexes and the program's own path on a Linux device root.
#pragma once

#include <filesystem>
#include <vector>

#include "host/linux/device_paths.h"
#include "platform/system.h"

namespace host {

class LinuxSystemServices : public platform::SystemServices {
 public:
  explicit LinuxSystemServices(const std::filesystem::path& deviceRoot);
  ~LinuxSystemServices() override;
  LinuxSystemServices(const LinuxSystemServices&) = delete;
  LinuxSystemServices& operator=(const LinuxSystemServices&) = delete;

  // An exclusive flock on <root>/.locks/<name>, kept until the process ends
  // (the descriptor is close-on-exec, so started programs do not hold it).
  platform::MutexResult CreateNamedMutex(std::u16string_view name) override;
  // An exclusive flock on <root>/.locks/device-update, which then holds
  // "<pid> <program>"; a second program reads who holds it from there and
  // names the holder only while that process still runs.
  platform::MutexResult LockDeviceUpdate(std::u16string_view program,
                                         std::u16string* holder) override;
  std::optional<std::u16string> ModuleFileName() override;

  // The lock file of a mutex name ("/" and "%" escaped).
  std::filesystem::path LockPath(std::u16string_view name) const;

 private:
  int OpenLock(const char* file) const;
  platform::MutexResult TakeLock(int fd);

  std::filesystem::path root_;
  DevicePaths paths_;
  std::vector<int> held_;
};

}  // namespace host
