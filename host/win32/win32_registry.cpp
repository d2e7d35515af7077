#include "host/win32/win32_registry.h"

#include <string>

#include "host/win32/win32_text.h"

// Last: its macros would replace the platform's constants of the same names.
#include <windows.h>

namespace host {
namespace {

// The device's key paths may carry separators at either end or doubled; the
// host's registry takes none of those.
std::wstring KeyPath(std::u16string_view key) {
  std::wstring path;
  for (const char16_t unit : key) {
    if (unit == u'\\' && (path.empty() || path.back() == L'\\')) continue;
    path += wchar_t(unit);
  }
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

class HostRegistry : public platform::Registry {
 public:
  bool KeyExists(std::u16string_view key) override {
    HKEY handle = nullptr;
    const bool exists = Open(key, &handle);
    if (exists) RegCloseKey(handle);
    return exists;
  }

  std::optional<platform::RegistryValue> QueryValue(std::u16string_view key,
                                                    std::u16string_view name) override {
    std::optional<platform::RegistryValue> result;
    HKEY handle = nullptr;
    if (Open(key, &handle)) {
      result = Read(handle, Wide(name));
      RegCloseKey(handle);
    }
    return result;
  }

 private:
  static bool Open(std::u16string_view key, HKEY* handle) {
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, KeyPath(key).c_str(), 0, KEY_READ, handle) ==
           ERROR_SUCCESS;
  }

  // The value's bytes as stored: strings with the terminator they were
  // written with, as the device returns them.
  static std::optional<platform::RegistryValue> Read(HKEY handle, const std::wstring& name) {
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExW(handle, name.c_str(), nullptr, &type, nullptr, &size);
    platform::RegistryValue value;
    while (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
      value.data.resize(size);
      status = RegQueryValueExW(handle, name.c_str(), nullptr, &type,
                                value.data.empty() ? nullptr : value.data.data(), &size);
      if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        value.type = type;
        return value;
      }
    }
    return std::nullopt;
  }
};

}  // namespace

std::unique_ptr<platform::Registry> CreateHostRegistry() {
  return std::make_unique<HostRegistry>();
}

}  // namespace host
