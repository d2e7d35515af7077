// FITKIT_TRACE=1: every file call the programs make, one line each, the same
// on every host, with the host's reason for a failure. Composed over the
// host's file system once, where a device is opened.
#pragma once

#include "platform/failure_reason.h"
#include "platform/file_system_wrapper.h"

namespace platform {

class TracedFileSystem : public FileSystemWrapper {
 public:
  TracedFileSystem(FileSystem& target, FailureReasons reasons)
      : FileSystemWrapper(target), reasons_(reasons) {}

  std::unique_ptr<File> Open(std::u16string_view path, uint32_t access,
                             Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool DeleteFileAnyway(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  // The host's folder, its calls traced as the ones by path they stand for.
  std::unique_ptr<Folder> OpenFolder(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override;
  bool Flush(std::u16string_view path) override;
  bool FlushVolume(std::u16string_view path) override;
  bool CanCreate(std::u16string_view path) override;
  std::vector<FindData> Find(std::u16string_view pattern) override;
  std::vector<FindData> FindEntries(std::u16string_view pattern, FindDetail detail) override;
  SystemTime Now() override;
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;
  bool GetVolumeRoom(std::u16string_view path, VolumeRoom* room) override;
  bool CanChangeFolder(std::u16string_view path) override;
  // The host's reader, its calls traced too.
  std::unique_ptr<FileSystem> ReaderForAnotherThread() override;

 private:
  // Before a call: a failure's reason is then the call's own.
  bool Tracing() const;
  // "ok", or "failed" with the host's reason.
  std::string Result(bool ok) const;
  // A call on one path that says ok or failed, or for a `question` yes or no.
  std::vector<FindData> Found(std::u16string_view pattern, std::vector<FindData> found) const;
  bool PathCall(const char* call, bool (FileSystem::*method)(std::u16string_view),
                std::u16string_view path, bool question);

  FailureReasons reasons_;
};

}  // namespace platform
