// HKEY_LOCAL_MACHINE read from <root>/registry.reg, held in memory.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace platform {

class FileRegistry : public Registry {
 public:
  // A missing file gives an empty registry; what cannot be read is reported
  // on stderr and skipped (see ParseRegFile).
  static std::unique_ptr<FileRegistry> Load(const std::filesystem::path& file);

  bool KeyExists(std::u16string_view key) override;
  std::optional<RegistryValue> QueryValue(std::u16string_view key,
                                          std::u16string_view name) override;

  // Building the registry. Key paths are relative to HKEY_LOCAL_MACHINE;
  // adding a key adds its parents.
  void AddKey(std::u16string_view key);
  void DeleteKey(std::u16string_view key);
  void SetValue(std::u16string_view key, std::u16string_view name, RegistryValue value);
  void DeleteValue(std::u16string_view key, std::u16string_view name);

 private:
  using Values = std::map<std::u16string, RegistryValue>;  // by lower-cased name
  // By lower-cased path with single backslashes and none at either end.
  std::map<std::u16string, Values> keys_;
};

// Reads the text of a registry export into `registry`: "REGEDIT4" or
// "Windows Registry Editor Version 5.00" first, UTF-8 or UTF-16LE with its
// byte-order mark. Each line that cannot be read is reported on stderr as
// "<fileName>:<line>: ..." and skipped. False when the text is no registry
// export at all (nothing is read then).
bool ParseRegFile(std::string_view bytes, const std::string& fileName, FileRegistry* registry);

}  // namespace platform
