// An in-memory device file system and a Latin-1 code page for the reader's
// tests and the fuzz target: fast, and able to fail on request.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace zip_test {

struct FakeNode {
  bool directory = false;
  std::shared_ptr<std::string> bytes = std::make_shared<std::string>();
  uint32_t attributes = platform::FILE_ATTRIBUTE_ARCHIVE;
  platform::FileTime creation, access, write;
};

class FakeFileSystem : public platform::FileSystem {
 public:
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  platform::SystemTime Now() override { return now; }
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;

  // Test helpers; paths are device paths in UTF-8.
  void Put(const std::string& path, const std::string& bytes);
  bool Has(const std::string& path) const;
  std::string Get(const std::string& path) const;
  const FakeNode* Node(const std::string& path) const;
  size_t FileCount() const;
  std::vector<std::string> Keys() const;  // every file and folder, normalised

  platform::SystemTime now{2024, 5, 0, 17, 12, 30, 0, 0};
  bool failSetAttributes = false;
  bool failSetTimes = false;
  std::set<std::string> failOpen;          // normalised keys that cannot be opened
  std::vector<std::string> createdDirectories;  // in order of creation
  size_t maxFileBytes = 0;                 // 0: no limit; else writes past it fail

 private:
  friend class FakeFile;
  // Lower-cased components joined by "\"; empty for the root. False for a
  // path with "." or ".." components, which never resolve.
  static bool Key(std::u16string_view path, std::string* key);
  static std::string Parent(const std::string& key);
  std::map<std::string, FakeNode> nodes_;
};

class FakeCodePage : public platform::CodePage {
 public:
  bool WideToAnsi(std::u16string_view text, std::string* bytes) override;
  bool AnsiToWide(std::string_view bytes, std::u16string* text) override;
};

// Installs a fresh fake file system and code page for one test.
class FakeDevice {
 public:
  FakeDevice();
  FakeFileSystem files;
  FakeCodePage codePage;

 private:
  std::unique_ptr<platform::ScopedEnvironment> scope_;
};

}  // namespace zip_test
