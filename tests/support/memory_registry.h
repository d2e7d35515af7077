// An in-memory registry: keys and value names without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace test_support {

class MemoryRegistry : public platform::Registry {
 public:
  void AddKey(const std::u16string& key);  // a key without values
  // A REG_SZ value: UTF-16LE with its terminator.
  void SetString(const std::u16string& key, const std::u16string& name,
                 const std::u16string& value);
  void SetRaw(const std::u16string& key, const std::u16string& name, uint32_t type,
              std::vector<uint8_t> data);
  bool KeyExists(std::u16string_view key) override;
  std::optional<platform::RegistryValue> QueryValue(std::u16string_view key,
                                                    std::u16string_view name) override;

 private:
  std::map<std::u16string, std::map<std::u16string, platform::RegistryValue>> keys_;  // lower-cased
};

}  // namespace test_support
