#include "readers/file_registry.h"

#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "platform/trace.h"

namespace platform {
namespace {

// Only the backslash separates registry keys; "/" is part of a key name.
std::u16string NormalKey(std::u16string_view key) {
  std::u16string normal;
  while (!key.empty()) {
    const auto separator = key.find(u'\\');
    const auto part = key.substr(0, separator);
    if (!part.empty()) {
      if (!normal.empty()) normal += u'\\';
      normal += ToLower(part);
    }
    if (separator == std::u16string_view::npos) break;
    key.remove_prefix(separator + 1);
  }
  return normal;
}

std::string Describe(const std::optional<RegistryValue>& value) {
  if (!value) return "missing";
  return "type " + std::to_string(value->type) + ", " + std::to_string(value->data.size()) +
         " bytes";
}

}  // namespace

std::unique_ptr<FileRegistry> FileRegistry::Load(const std::filesystem::path& file) {
  auto registry = std::make_unique<FileRegistry>();
  std::ifstream in(file, std::ios::binary);
  if (!in) return registry;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  ParseRegFile(bytes.str(), file.string(), registry.get());
  return registry;
}

bool FileRegistry::KeyExists(std::u16string_view key) {
  const std::u16string normal = NormalKey(key);
  const bool exists = normal.empty() || keys_.count(normal) != 0;
  Trace("RegOpenKeyEx(HKLM\\%s) -> %s", ToUtf8(key).c_str(), exists ? "ok" : "missing");
  return exists;
}

std::optional<RegistryValue> FileRegistry::QueryValue(std::u16string_view key,
                                                      std::u16string_view name) {
  std::optional<RegistryValue> result;
  const auto found = keys_.find(NormalKey(key));
  if (found != keys_.end()) {
    const auto value = found->second.find(ToLower(name));
    if (value != found->second.end()) result = value->second;
  }
  Trace("RegQueryValueEx(HKLM\\%s, \"%s\") -> %s", ToUtf8(key).c_str(), ToUtf8(name).c_str(),
        Describe(result).c_str());
  return result;
}

void FileRegistry::AddKey(std::u16string_view key) {
  const std::u16string normal = NormalKey(key);
  for (std::size_t end = 0; end != std::u16string::npos;) {
    end = normal.find(u'\\', end + 1);
    keys_[normal.substr(0, end)];
  }
}

void FileRegistry::DeleteKey(std::u16string_view key) {
  const std::u16string normal = NormalKey(key);
  const std::u16string below = normal + u'\\';
  for (auto it = keys_.begin(); it != keys_.end();) {
    const bool inside = it->first == normal || it->first.compare(0, below.size(), below) == 0;
    it = inside ? keys_.erase(it) : std::next(it);
  }
}

void FileRegistry::SetValue(std::u16string_view key, std::u16string_view name,
                            RegistryValue value) {
  AddKey(key);
  keys_[NormalKey(key)][ToLower(name)] = std::move(value);
}

void FileRegistry::DeleteValue(std::u16string_view key, std::u16string_view name) {
  const auto found = keys_.find(NormalKey(key));
  if (found != keys_.end()) found->second.erase(ToLower(name));
}

}  // namespace platform
