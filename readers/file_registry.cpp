#include "readers/file_registry.h"

#include "platform/text.h"

namespace readers {
namespace {

// Only the backslash separates registry keys; "/" is part of a key name.
std::vector<std::u16string> KeyParts(std::u16string_view key) {
  std::vector<std::u16string> parts;
  while (!key.empty()) {
    const auto separator = key.find(u'\\');
    const auto part = key.substr(0, separator);
    if (!part.empty()) parts.push_back(platform::ToLower(part));
    if (separator == std::u16string_view::npos) break;
    key.remove_prefix(separator + 1);
  }
  return parts;
}

}  // namespace

std::size_t FileRegistry::KeyDepth(std::u16string_view key) {
  std::size_t depth = 0;
  bool inPart = false;
  for (const char16_t unit : key) {
    if (unit == u'\\') {
      inPart = false;
    } else if (!inPart) {
      inPart = true;
      ++depth;
    }
  }
  return depth;
}

FileRegistry::Key* FileRegistry::Find(std::u16string_view key) {
  Key* at = &root_;
  for (const auto& part : KeyParts(key)) {
    const auto found = at->subkeys.find(part);
    if (found == at->subkeys.end()) return nullptr;
    at = found->second.get();
  }
  return at;
}

FileRegistry::Key* FileRegistry::MakeKey(std::u16string_view key) {
  if (KeyDepth(key) > kMaxKeyDepth) return nullptr;
  Key* at = &root_;
  for (auto& part : KeyParts(key)) {
    auto& slot = at->subkeys[std::move(part)];
    if (!slot) slot = std::make_unique<Key>();
    at = slot.get();
  }
  return at;
}

// The calls are traced where every registry is, in platform/traced_services.
bool FileRegistry::KeyExists(std::u16string_view key) { return Find(key) != nullptr; }

std::optional<platform::RegistryValue> FileRegistry::QueryValue(std::u16string_view key,
                                                                std::u16string_view name) {
  std::optional<platform::RegistryValue> result;
  if (const Key* found = Find(key)) {
    const auto value = found->values.find(platform::ToLower(name));
    if (value != found->values.end()) result = value->second;
  }
  return result;
}

void FileRegistry::AddKey(std::u16string_view key) { MakeKey(key); }

void FileRegistry::DeleteKey(std::u16string_view key) {
  auto parts = KeyParts(key);
  if (parts.empty()) {
    root_.values.clear();
    return;
  }
  const std::u16string last = std::move(parts.back());
  parts.pop_back();
  Key* parent = &root_;
  for (const auto& part : parts) {
    const auto found = parent->subkeys.find(part);
    if (found == parent->subkeys.end()) return;
    parent = found->second.get();
  }
  parent->subkeys.erase(last);
}

void FileRegistry::SetValue(std::u16string_view key, std::u16string_view name,
                            platform::RegistryValue value) {
  if (Key* made = MakeKey(key)) made->Set(name, std::move(value));
}

void FileRegistry::DeleteValue(std::u16string_view key, std::u16string_view name) {
  if (Key* found = Find(key)) found->Delete(name);
}

void FileRegistry::Key::Set(std::u16string_view name, platform::RegistryValue value) {
  values[platform::ToLower(name)] = std::move(value);
}

void FileRegistry::Key::Delete(std::u16string_view name) { values.erase(platform::ToLower(name)); }

}  // namespace readers
