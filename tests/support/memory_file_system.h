// An in-memory device file system and a Latin-1 code page: fast, able to
// fail on request, and recording the calls that change attributes or delete.
// Paths are compared without regard to case, as on the device.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/file_system.h"

namespace test_support {

struct MemoryNode {
  std::u16string name;  // the last component as it was first given
  bool directory = false;
  std::shared_ptr<std::string> bytes = std::make_shared<std::string>();
  uint32_t attributes = platform::FILE_ATTRIBUTE_ARCHIVE;
  platform::FileTime creation, access, write;
};

class MemoryFileSystem : public platform::FileSystem {
 public:
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  // The folder and everything in it under the new name, nodes unchanged.
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override;
  // Nothing is lost here; the calls are only counted, in `flushes`.
  bool Flush(std::u16string_view path) override;
  bool FlushVolume(std::u16string_view path) override;
  // "<folder>\*<suffix>" patterns ("*.*" and "*" take every name).
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  platform::SystemTime Now() override { return now; }
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;

  // Test helpers: a file and the folders above it. Paths in UTF-8 or UTF-16.
  void Put(const std::string& path, const std::string& bytes);
  void Put(const std::u16string& path, const std::string& bytes);
  void Put(const std::u16string& path, const std::vector<uint8_t>& bytes);
  // A file, or a folder when `attributes` says so, with exactly these
  // attributes, without a record in `calls`.
  void PutWithAttributes(const std::u16string& path, uint32_t attributes);
  bool Has(const std::string& path) const;
  std::string Get(const std::string& path) const;
  const MemoryNode* Node(const std::string& path) const;
  size_t FileCount() const;
  std::vector<std::string> Keys() const;  // every file and folder, normalised

  platform::SystemTime now{2024, 5, 0, 17, 12, 30, 0, 0};
  bool failSetAttributes = false;
  bool failSetTimes = false;
  std::set<std::string> failOpen;               // normalised keys that cannot be opened
  std::vector<std::string> createdDirectories;  // in order of creation
  size_t maxFileBytes = 0;                      // 0: no limit; else writes past it fail
  uint64_t largestRead =
      0;  // the largest single read asked for, to see that streaming stays bounded
  // "SetAttributes <path> <value>" and "DeleteFile <path>", paths as passed.
  std::vector<std::string> calls;
  // "Flush <path>", "FlushFile <key>" and "FlushVolume <path>", in order.
  std::vector<std::string> flushes;

  // Every file and folder by its normalised key, for file systems built
  // over this one (a node's `bytes` stays the same object across renames).
  std::map<std::string, MemoryNode>& Nodes() { return nodes_; }

 private:
  friend class MemoryFile;
  friend class PowerCutFileSystem;
  // Lower-cased components joined by "\"; empty for the root. False for a
  // path with "." or ".." components, which never resolve.
  static bool Key(std::u16string_view path, std::string* key);
  static std::string Parent(const std::string& key);
  MemoryNode& PutNode(std::u16string_view path);
  std::map<std::string, MemoryNode> nodes_;
};

class Latin1CodePage : public platform::CodePage {
 public:
  bool WideToAnsi(std::u16string_view text, std::string* bytes) override;
  bool AnsiToWide(std::string_view bytes, std::u16string* text) override;
  bool KeepsAscii() const override { return true; }
};

}  // namespace test_support
