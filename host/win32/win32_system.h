// Named mutexes (CreateMutexW) and the program's own path
// (GetModuleFileNameW) on Windows.
#pragma once

#include <filesystem>

#include "host/win32/win32_paths.h"
#include "platform/system.h"

namespace host {

class Win32SystemServices : public platform::SystemServices {
 public:
  explicit Win32SystemServices(const std::filesystem::path& deviceRoot) : paths_(deviceRoot) {}

  // The mutex is the host's own, by the name given: it is held until the
  // process ends (the handle is never closed), and Windows reports a second
  // creation anywhere in the session as ERROR_ALREADY_EXISTS.
  platform::MutexResult CreateNamedMutex(std::u16string_view name) override;
  // One named mutex that both programs create; the holder is not named.
  platform::MutexResult LockDeviceUpdate(std::u16string_view program,
                                         std::u16string* holder) override;
  // The executable's path in device terms when it lies inside <root>\fs.
  std::optional<std::u16string> ModuleFileName() override;

 private:
  Win32Paths paths_;
};

// The running program's own Windows path; empty when it cannot be read.
std::wstring HostModulePath();

}  // namespace host
