// A device's file system with host files shown at device paths, read only:
// what lets the kit's own checks read a package (and the manifest and
// signature beside it) that lies anywhere on the host, against a device it
// was never copied to.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/file_system_wrapper.h"

namespace fitkit {

class OverlayFileSystem : public platform::FileSystemWrapper {
 public:
  // `inner` stays the caller's and outlives this.
  OverlayFileSystem(platform::FileSystem& inner, std::u16string devicePath,
                    std::filesystem::path hostFile);

  // Shows one more host file, at `devicePath`.
  void Add(std::u16string devicePath, std::filesystem::path hostFile);

  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
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
  // Moving a file onto or off the shown path is refused like any change to it.
  bool MoveFile(std::u16string_view from, std::u16string_view to) override;
  // A folder that may hold the shown path moves entry by entry instead.
  bool MoveFolder(std::u16string_view, std::u16string_view) override { return false; }

 private:
  struct Shown {
    std::u16string devicePath;
    std::filesystem::path hostFile;
  };
  // The shown file at `path`, or null.
  const Shown* ShownAt(std::u16string_view path) const;
  bool IsShown(std::u16string_view path) const { return ShownAt(path) != nullptr; }

  platform::FileSystem& inner_;
  std::vector<Shown> shown_;
};

}  // namespace fitkit
