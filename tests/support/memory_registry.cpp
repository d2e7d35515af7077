#include "tests/support/memory_registry.h"

#include <utility>

#include "platform/text.h"
#include "tests/support/host_files.h"

namespace test_support {

void MemoryRegistry::AddKey(const std::u16string& key) { keys_[platform::ToLower(key)]; }

void MemoryRegistry::SetString(const std::u16string& key, const std::u16string& name,
                               const std::u16string& value) {
  SetRaw(key, name, platform::REG_SZ, Utf16Bytes(value));
}

void MemoryRegistry::SetRaw(const std::u16string& key, const std::u16string& name, uint32_t type,
                            std::vector<uint8_t> data) {
  keys_[platform::ToLower(key)][platform::ToLower(name)] =
      platform::RegistryValue{type, std::move(data)};
}

bool MemoryRegistry::KeyExists(std::u16string_view key) {
  return keys_.count(platform::ToLower(key)) != 0;
}

std::optional<platform::RegistryValue> MemoryRegistry::QueryValue(std::u16string_view key,
                                                                  std::u16string_view name) {
  const auto k = keys_.find(platform::ToLower(key));
  if (k == keys_.end()) return std::nullopt;
  const auto v = k->second.find(platform::ToLower(name));
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

}  // namespace test_support
