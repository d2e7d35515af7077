// HKEY_LOCAL_MACHINE of the device, read-only.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace platform {

enum RegistryType : uint32_t {
  REG_NONE = 0,
  REG_SZ = 1,
  REG_EXPAND_SZ = 2,
  REG_BINARY = 3,
  REG_DWORD = 4,
  REG_MULTI_SZ = 7,
};

struct RegistryValue {
  uint32_t type = REG_NONE;
  // The value's bytes as the device stores them: strings as UTF-16LE with
  // their terminator, a DWORD as 4 little-endian bytes.
  std::vector<uint8_t> data;
};

class Registry {
 public:
  virtual ~Registry() = default;
  // Key paths are relative to HKEY_LOCAL_MACHINE ("Ident"); names match
  // case-insensitively; an empty value name is the default value ("@").
  virtual bool KeyExists(std::u16string_view key) = 0;
  virtual std::optional<RegistryValue> QueryValue(std::u16string_view key,
                                                  std::u16string_view name) = 0;
};

}  // namespace platform
