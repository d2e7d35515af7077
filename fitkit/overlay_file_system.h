// A device's file system with one host file, or one host folder and the
// files directly in it, shown at one device path, read only: what lets the
// kit's checks read a package or an image set that lies anywhere on the
// host, against a device it was never copied to.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_system_wrapper.h"

namespace fitkit {

class OverlayFileSystem : public platform::FileSystemWrapper {
 public:
  // `inner` stays the caller's and outlives this. `hostPath` is a file or a
  // folder.
  OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                    std::filesystem::path hostPath);

  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  platform::EntryKind GetEntryKind(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  bool CanCreate(std::u16string_view path) override;
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  std::vector<platform::FindData> FindEntries(std::u16string_view pattern,
                                              platform::FindDetail) override {
    return Find(pattern);
  }
  // Moving a file onto or off a shown path is refused like any change to it.
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  // A folder that may hold the shown path moves entry by entry instead.
  bool MoveFolder(std::u16string_view, std::u16string_view) override { return false; }

 private:
  // The shown path itself, or a name directly inside a shown folder.
  bool IsShown(std::u16string_view path) const;
  // The host file or folder at a shown path; none when there is none.
  std::optional<std::filesystem::path> HostPathOf(std::u16string_view path) const;
  std::vector<platform::FindData> FindInFolder(std::u16string_view wildcard) const;

  platform::FileSystem& inner_;
  std::u16string devicePath_;
  std::filesystem::path hostPath_;
  bool folder_ = false;
};

}  // namespace fitkit
