#include "host/linux/held_folder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "host/linux/file_system.h"
#include "platform/text.h"

namespace host {
namespace {

// The host name for a name of one component; empty for anything else.
std::string OwnName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u".." ||
      name.find_first_of(std::u16string_view(u"\\/\0", 3)) != std::u16string_view::npos) {
    return {};
  }
  return platform::ToUtf8(name);
}

}  // namespace

HeldFolder::HeldFolder(LinuxFileSystem& files, UniqueFd dir, std::u16string path)
    : files_(files), dir_(std::move(dir)), path_(std::move(path)) {}

std::vector<platform::FindData> HeldFolder::List(platform::FindDetail detail) {
  // A listing of its own, from the first entry, whatever was listed before.
  UniqueFd listing(openat(dir_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing.valid()) return {};
  return files_.ListFolder(std::move(listing), path_, u"*.*", detail);
}

std::unique_ptr<platform::Folder> HeldFolder::OpenFolder(std::u16string_view name) {
  const std::string own = OwnName(name);
  if (own.empty()) return nullptr;
  UniqueFd dir(openat(dir_.get(), own.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.valid())
    return std::make_unique<HeldFolder>(files_, std::move(dir),
                                        platform::EntryOfFolder(path_, name));
  // Another letter case, or a link that may lead somewhere inside.
  return files_.OpenFolder(platform::EntryOfFolder(path_, name));
}

bool HeldFolder::DeleteFileAnyway(std::u16string_view name) {
  const LinuxFileSystem::NamesChange change(files_.paths_);
  const std::string own = OwnName(name);
  if (own.empty()) return false;
  if (!files_.capacity_->Limited()) {
    if (unlinkat(dir_.get(), own.c_str(), 0) == 0) return true;
    if (errno != ENOENT) return false;  // a folder, a locked file, a read-only folder
  }
  return files_.DeleteFileAnyway(platform::EntryOfFolder(path_, name));
}

bool HeldFolder::RemoveFolder(std::u16string_view name) {
  const LinuxFileSystem::NamesChange change(files_.paths_);
  const std::string own = OwnName(name);
  if (own.empty()) return false;
  if (unlinkat(dir_.get(), own.c_str(), AT_REMOVEDIR) == 0) return true;
  if (errno != ENOENT) return false;
  return files_.RemoveDirectory(platform::EntryOfFolder(path_, name));
}

}  // namespace host
