// The device's file system over <root>/fs on the host.
#pragma once

#include <filesystem>
#include <memory>

#include "host/linux/device_paths.h"
#include "platform/file_system.h"
#include "host/linux/capacity.h"

namespace platform {

class LinuxFileSystem : public FileSystem {
 public:
  // `capacity`: bytes all files may hold together, 0 for no limit.
  LinuxFileSystem(const std::filesystem::path& deviceRoot, uint64_t capacity);

  std::unique_ptr<File> Open(std::u16string_view path, uint32_t access,
                             Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view path) override;
  bool RemoveDirectory(std::u16string_view path) override;
  std::vector<FindData> Find(std::u16string_view pattern) override;
  SystemTime Now() override;
  // From the device's capacity when device.ini sets one, else the host's.
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override;

  const DevicePaths& paths() const { return paths_; }

 private:
  std::unique_ptr<File> OpenResolved(const std::filesystem::path& host, uint32_t access,
                                     Disposition disposition);

  DevicePaths paths_;
  // Shared with the open files, which may outlive a moved-from owner.
  std::shared_ptr<FsCapacity> capacity_;
};

}  // namespace platform
