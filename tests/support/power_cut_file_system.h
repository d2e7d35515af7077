// A file system whose power can be cut, over the in-memory one. It counts the
// calls that change the medium; at call number `cutAt` the power goes: that
// call and every later one fail, as every read does. What had not been
// flushed is lost when the medium is looked at again (Restart): the data
// written to a file since its last flush, and the entries created, renamed
// or deleted in a folder since that folder's last flush. A folder keeps what
// it holds wherever it is renamed to, as a real one does: its entries are
// stored by the folder, not by its path.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "platform/file_system_wrapper.h"
#include "tests/support/memory_file_system.h"

namespace test_support {

class PowerCutFileSystem : public platform::FileSystemWrapper {
 public:
  // Everything `memory` holds now counts as on the medium.
  explicit PowerCutFileSystem(MemoryFileSystem& memory);

  int cutAt = 0;  // 0: the power stays on
  // False: the host cannot flush a whole volume (FlushVolume fails), and
  // every file and folder must be flushed on its own.
  bool volumeFlush = true;
  int changes = 0;  // changing calls so far, the failed one included
  bool Cut() const { return cut_; }

  // Power back: the memory file system holds only what reached the medium,
  // the count starts again and the power stays on. With `afterKill` the
  // program was killed instead and everything it wrote stays, as the host's
  // cache takes it to the medium.
  void Restart(bool afterKill = false);

  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override {
    return Change() && FileSystemWrapper::MoveFolder(from, to);
  }
  bool Flush(std::u16string_view path) override;
  bool FlushVolume(std::u16string_view path) override;
  bool CanCreate(std::u16string_view path) override;
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  std::vector<platform::FindData> FindEntries(std::u16string_view pattern,
                                              platform::FindDetail) override {
    return Find(pattern);
  }
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;
  bool GetVolumeRoom(std::u16string_view path, platform::VolumeRoom* room) override {
    return !cut_ && FileSystemWrapper::GetVolumeRoom(path, room);
  }
  bool CanChangeFolder(std::u16string_view path) override {
    return !cut_ && FileSystemWrapper::CanChangeFolder(path);
  }

 private:
  friend class PowerCutFile;
  // What a file's data and attributes were at its last flush.
  struct StoredData {
    std::shared_ptr<std::string> identity;  // held, so no other file takes its address
    std::string bytes;
    uint32_t attributes = 0;
    platform::FileTime creation, access, write;
  };
  // A folder's entry as of the folder's last flush.
  struct StoredEntry {
    std::u16string name;
    bool directory = false;
    uint32_t attributes = 0;
    // The file's or folder's identity in the memory file system (a node's
    // `bytes`, which stays the same object across renames).
    std::shared_ptr<std::string> data;
  };
  // A folder's identity (0 for the root) and an entry's key component.
  using EntryKey = std::pair<uintptr_t, std::string>;

  // False once the power is gone; counts the call otherwise.
  bool Change();
  void StoreData(const MemoryNode& node);
  void StoreFolder(const std::string& key);
  void StoreEverything();
  // The identity of the folder that holds `key`; 0 for the root's entries.
  uintptr_t ParentIdentity(const std::string& key);
  // Puts back, below `key`, what the folder `folder` held on the medium.
  void Rebuild(uintptr_t folder, const std::string& key, std::set<uintptr_t>& above,
               std::map<std::string, MemoryNode>& nodes) const;

  MemoryFileSystem& memory_;
  bool cut_ = false;
  std::map<EntryKey, StoredEntry> entries_;
  std::map<const std::string*, StoredData> data_;  // by file identity
};

}  // namespace test_support
