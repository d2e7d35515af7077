// Process-level services: named mutexes and the running program's own path.
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
  // The running program's device path (GetModuleFileName); none when the
  // program does not lie on the device.
  virtual std::optional<std::u16string> ModuleFileName() = 0;
};

}  // namespace platform
