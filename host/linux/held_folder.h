// A device folder held open by its descriptor while it is cleared out.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/linux/unique_fd.h"
#include "platform/file_system.h"

namespace host {

class LinuxFileSystem;

// Each entry is named relative to the descriptor, so the folder is the one
// opened whatever it is called by now; a name the folder does not hold as
// given (another letter case, say) and a drive whose capacity counts the
// bytes freed go by the entry's path instead.
class HeldFolder : public platform::Folder {
 public:
  // `dir`: the folder opened for reading, inside the file system.
  HeldFolder(LinuxFileSystem& files, UniqueFd dir, std::u16string path);

  std::vector<platform::FindData> List(platform::FindDetail detail) override;
  std::unique_ptr<platform::Folder> OpenFolder(std::u16string_view name) override;
  bool DeleteFileAnyway(std::u16string_view name) override;
  bool RemoveFolder(std::u16string_view name) override;

 private:
  LinuxFileSystem& files_;
  UniqueFd dir_;
  std::u16string path_;  // the device path, without a trailing backslash
};

}  // namespace host
