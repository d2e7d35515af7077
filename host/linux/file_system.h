// The device's file system over <root>/fs on the host.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "host/common/drive_capacity.h"
#include "host/linux/device_paths.h"
#include "host/linux/entry_status.h"
#include "host/linux/unique_fd.h"
#include "platform/file_system.h"

namespace host {

class LinuxFileSystem : public platform::FileSystem {
 public:
  // `capacity`: bytes all files may hold together, 0 for no limit.
  LinuxFileSystem(const std::filesystem::path& deviceRoot, uint64_t capacity,
                  FolderKeeping keeping = FolderKeeping::Watched);

  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  platform::EntryKind GetEntryKind(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  // Unlinks the name as given, with no look-up of the file's status first.
  bool DeleteFileAnyway(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  // The folder's own descriptor: its entries are listed, opened and deleted
  // relative to it, with no look-up of the path for each.
  std::unique_ptr<platform::Folder> OpenFolder(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  // renameat2 without replacing: what `to` names stays untouched.
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override;
  // fsync of the file or folder; syncfs of the file system under <root>/fs.
  bool Flush(std::u16string_view path) override;
  bool FlushVolume(std::u16string_view path) override;
  // Another LinuxFileSystem on the same root that keeps no folders: it walks
  // every path from the top, sharing nothing with this one.
  std::unique_ptr<platform::FileSystem> ReaderForAnotherThread() override;
  bool CanCreate(std::u16string_view path) override;
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  // Kinds come from the folder listing itself (one status call per link
  // only); NoStored spares the attribute read of each entry.
  std::vector<platform::FindData> FindEntries(std::u16string_view pattern,
                                              platform::FindDetail detail) override;
  platform::SystemTime Now() override;
  // From the device's capacity when device.ini sets one, else the host's.
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;
  bool GetVolumeRoom(std::u16string_view path, platform::VolumeRoom* room) override;
  bool CanChangeFolder(std::u16string_view path) override;
  // Within a batch the kept folders read the watch queue only after this
  // process changed a name (see WatchedFolders).
  void BeginLookUpBatch() override { paths_.BeginBatch(); }
  void EndLookUpBatch() override { paths_.EndBatch(); }

  const DevicePaths& paths() const { return paths_; }

 private:
  // The folder `path` names, opened to flush its volume.
  UniqueFd OpenVolumeOf(std::u16string_view path);
  std::unique_ptr<platform::File> OpenPath(std::u16string_view path, uint32_t access,
                                           platform::Disposition disposition);
  std::unique_ptr<platform::File> OpenExisting(const Located& where, uint32_t access,
                                               platform::Disposition disposition);
  friend class HeldFolder;

  // Tells the kept folders, once the call that made it ends, that it may
  // have created, renamed or removed a name: the change the kernel queued is
  // read at the next look-up, also within a batch.
  class NamesChange {
   public:
    explicit NamesChange(const DevicePaths& paths) : paths_(paths) {}
    ~NamesChange() { paths_.NoteNamesChanged(); }
    NamesChange(const NamesChange&) = delete;
    NamesChange& operator=(const NamesChange&) = delete;

   private:
    const DevicePaths& paths_;
  };

  bool Deletable(std::u16string_view path, const Located& where);
  // The entries of the open folder `dir` (the device folder `folder`) whose
  // names match `wildcard`, in the order of their host names.
  std::vector<platform::FindData> ListFolder(UniqueFd dir, const std::u16string& folder,
                                             std::u16string_view wildcard,
                                             platform::FindDetail detail);
  // The search result for the entry `name` (`deviceName` on the device) of
  // the open folder `dir`, which is the device folder `folder`, of the
  // status `status`; none for a link that leads nowhere inside.
  std::optional<platform::FindData> Describe(int dir, const std::string& name,
                                             std::u16string deviceName,
                                             const std::u16string& folder,
                                             platform::FindDetail detail,
                                             const EntryStatus& status);

  DevicePaths paths_;
  // Shared with the open files, which may outlive a moved-from owner.
  std::shared_ptr<DriveCapacity> capacity_;
};

}  // namespace host
