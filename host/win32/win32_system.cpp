#include "host/win32/win32_system.h"

#include "host/win32/win32_text.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {

std::wstring HostModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);  // cut off: try again with more room
  }
}

platform::MutexResult Win32SystemServices::CreateNamedMutex(std::u16string_view name) {
  const std::wstring wide = Wide(name);
  const HANDLE mutex = CreateMutexW(nullptr, TRUE, wide.empty() ? nullptr : wide.c_str());
  platform::MutexResult result = platform::MutexResult::Failed;
  if (mutex != nullptr) {
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(mutex);
      result = platform::MutexResult::AlreadyExists;
    } else {
      result = platform::MutexResult::Created;  // the handle stays open until the process ends
    }
  }
  return result;
}

platform::MutexResult Win32SystemServices::LockDeviceUpdate(std::u16string_view /*program*/,
                                                            std::u16string* holder) {
  holder->clear();
  return CreateNamedMutex(u"FITKIT_DEVICE_UPDATE");
}

std::optional<std::u16string> Win32SystemServices::ModuleFileName() {
  const std::wstring module = HostModulePath();
  std::optional<std::u16string> path;
  if (!module.empty()) path = paths_.ToDevicePath(module);
  return path;
}

}  // namespace host
