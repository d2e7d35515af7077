// The folder a file system holds open when its host has no way of its own:
// every call goes by the entry's path.
#include "platform/file_system.h"

namespace platform {
namespace {

bool IsOneComponent(std::u16string_view name) {
  return !name.empty() && name != u"." && name != u".." &&
         name.find_first_of(u"\\/") == std::u16string_view::npos;
}

class FolderByPath : public Folder {
 public:
  FolderByPath(FileSystem& files, std::u16string path) : files_(files), path_(std::move(path)) {}

  std::vector<FindData> List(FindDetail detail) override {
    return files_.FindEntries(path_ + u"\\*.*", detail);
  }
  std::unique_ptr<Folder> OpenFolder(std::u16string_view name) override {
    return IsOneComponent(name) ? files_.OpenFolder(EntryOfFolder(path_, name)) : nullptr;
  }
  bool DeleteFileAnyway(std::u16string_view name) override {
    return IsOneComponent(name) && files_.DeleteFileAnyway(EntryOfFolder(path_, name));
  }
  bool RemoveFolder(std::u16string_view name) override {
    return IsOneComponent(name) && files_.RemoveDirectory(EntryOfFolder(path_, name));
  }

 private:
  FileSystem& files_;
  std::u16string path_;  // without a trailing backslash
};

}  // namespace

std::unique_ptr<Folder> FileSystem::OpenFolder(std::u16string_view path) {
  const uint32_t attributes = GetAttributes(path);
  if (attributes == kInvalidAttributes || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return nullptr;
  return std::make_unique<FolderByPath>(*this, HeldFolderPath(path));
}

}  // namespace platform
