// Process-level services: named mutexes, the device's update lock and the
// running program's own path.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

enum class MutexResult { Created, AlreadyExists, Failed };

class SystemServices {
 public:
  virtual ~SystemServices() = default;
  // Creates and owns the named mutex until the process ends.
  virtual MutexResult CreateNamedMutex(std::u16string_view name) = 0;
  // One update at a time per device, whichever program: the lock every
  // updater of the kit takes for `program` ("shellfit") and owns until the
  // process ends; the lock of a process that ended never blocks.
  // AlreadyExists when another program holds it, with `*holder` naming it
  // where that is known (else left empty).
  virtual MutexResult LockDeviceUpdate(std::u16string_view program, std::u16string* holder) = 0;
  // The running program's device path (GetModuleFileName); none when the
  // program does not lie on the device.
  virtual std::optional<std::u16string> ModuleFileName() = 0;
};

}  // namespace platform
