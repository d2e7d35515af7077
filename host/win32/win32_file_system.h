// The device's file system over <root>\fs, through the Win32 file functions.
#pragma once

#include <filesystem>
#include <memory>

#include "host/win32/win32_paths.h"
#include "platform/file_system.h"

namespace platform {

class Win32FileSystem : public FileSystem {
 public:
  explicit Win32FileSystem(const std::filesystem::path& deviceRoot);

  std::unique_ptr<File> Open(std::u16string_view path, uint32_t access,
                             Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  std::vector<FindData> Find(std::u16string_view pattern) override;
  SystemTime Now() override;

  const Win32Paths& paths() const { return paths_; }

 private:
  std::unique_ptr<File> OpenResolved(const std::wstring& host, uint32_t access,
                                     Disposition disposition);

  Win32Paths paths_;
};

}  // namespace platform
