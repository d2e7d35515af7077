// The device's file system over <root>\fs, through the Win32 file functions.
#pragma once

#include <filesystem>
#include <memory>

#include "host/common/drive_capacity.h"
#include "host/win32/win32_paths.h"
#include "platform/file_system.h"

namespace host {

class Win32FileSystem : public platform::FileSystem {
 public:
  // `capacity`: bytes all files may hold together, 0 for no limit.
  Win32FileSystem(const std::filesystem::path& deviceRoot, uint64_t capacity);

  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  platform::EntryKind GetEntryKind(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override;
  bool Flush(std::u16string_view path) override;
  bool FlushVolume(std::u16string_view path) override;
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  platform::SystemTime Now() override;
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;

  const Win32Paths& paths() const { return paths_; }

 private:
  std::unique_ptr<platform::File> OpenResolved(const std::wstring& host, uint32_t access,
                                               platform::Disposition disposition);

  Win32Paths paths_;
  // Shared with the open files, which may outlive a moved-from owner.
  std::shared_ptr<DriveCapacity> capacity_;
};

}  // namespace host
