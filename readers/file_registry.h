// HKEY_LOCAL_MACHINE read from <root>/registry.reg, held in memory.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace readers {

class FileRegistry : public platform::Registry {
 public:
  // A missing file gives an empty registry, and so does one that is no
  // regular file or is larger than 16 MB (reported on stderr); what cannot
  // be read is reported on stderr and skipped (see ParseRegFile). Reading
  // the file is the device root's business: defined in device/registry_file.cpp.
  static std::unique_ptr<FileRegistry> Load(const std::filesystem::path& file);

  bool KeyExists(std::u16string_view key) override;
  std::optional<platform::RegistryValue> QueryValue(std::u16string_view key,
                                                    std::u16string_view name) override;

  // The deepest key the registry holds, as on the device's registry.
  static constexpr std::size_t kMaxKeyDepth = 512;
  // Levels of a key path (empty components do not count).
  static std::size_t KeyDepth(std::u16string_view key);

  // Building the registry. Key paths are relative to HKEY_LOCAL_MACHINE;
  // adding a key adds its parents. A key deeper than kMaxKeyDepth is not
  // added, and neither are its values.
  void AddKey(std::u16string_view key);
  void DeleteKey(std::u16string_view key);
  void SetValue(std::u16string_view key, std::u16string_view name, platform::RegistryValue value);
  void DeleteValue(std::u16string_view key, std::u16string_view name);

  // A tree of keys, each level stored once by its lower-cased name, so
  // memory follows the text read, however deep a key goes.
  struct Key {
    std::map<std::u16string, platform::RegistryValue> values;  // by lower-cased name
    std::map<std::u16string, std::unique_ptr<Key>> subkeys;
    void Set(std::u16string_view name, platform::RegistryValue value);
    void Delete(std::u16string_view name);
  };
  // The key, made with its parents when missing; null when deeper than
  // kMaxKeyDepth. Valid until the key is deleted: a reader setting many
  // values into one key looks it up once.
  Key* MakeKey(std::u16string_view key);

 private:
  Key* Find(std::u16string_view key);

  Key root_;
};

// Reads the text of a registry export into `registry`: "REGEDIT4" or
// "Windows Registry Editor Version 5.00" first, UTF-8 or UTF-16LE with its
// byte-order mark. Each line that cannot be read is reported on stderr as
// "<fileName>:<line>: ..." and skipped. False when the text is no registry
// export at all (nothing is read then).
bool ParseRegFile(std::string_view bytes, const std::string& fileName, FileRegistry* registry);

}  // namespace readers
