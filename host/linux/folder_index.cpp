#include "host/linux/folder_index.h"

#include <dirent.h>
#include <fcntl.h>

#include <unistd.h>

#include <cstring>

#include "platform/text.h"

namespace platform {
namespace {

// Folders whose names are kept; the least recently used goes first.
constexpr std::size_t kMaxFolders = 64;

}  // namespace

FolderStamp StampOf(const struct stat& info) {
  FolderStamp stamp;
  stamp.dev = info.st_dev;
  stamp.ino = info.st_ino;
  stamp.mtimeSec = info.st_mtim.tv_sec;
  stamp.mtimeNsec = info.st_mtim.tv_nsec;
  stamp.ctimeSec = info.st_ctim.tv_sec;
  stamp.ctimeNsec = info.st_ctim.tv_nsec;
  return stamp;
}

void FolderIndex::Names::Add(const std::string& name) {
  const std::size_t hash = std::hash<std::u16string>()(ToLower(FromUtf8(name)));
  const auto [begin, end] = byFoldedHash.equal_range(hash);
  for (auto it = begin; it != end; ++it) {
    if (it->second == name) return;
  }
  byFoldedHash.emplace(hash, name);
}

// The first in byte order among the names that equal `component` ignoring
// case (names whose folded forms only share the hash are passed over).
std::optional<std::string> FolderIndex::Names::First(std::u16string_view component) const {
  const std::size_t hash = std::hash<std::u16string>()(ToLower(component));
  std::optional<std::string> first;
  const auto [begin, end] = byFoldedHash.equal_range(hash);
  for (auto it = begin; it != end; ++it) {
    if ((!first || it->second < *first) && EqualsNoCase(FromUtf8(it->second), component)) {
      first = it->second;
    }
  }
  return first;
}

bool FolderIndex::Scan(int dir, Names* names) {
  const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* stream = fdopendir(fd);
  if (stream == nullptr) {
    close(fd);
    return false;
  }
  names->byFoldedHash.clear();
  while (const dirent* entry = readdir(stream)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names->Add(name);
  }
  closedir(stream);
  return true;
}

void FolderIndex::EvictOldest() {
  auto oldest = folders_.begin();
  for (auto it = folders_.begin(); it != folders_.end(); ++it) {
    if (it->second.lastUse < oldest->second.lastUse) oldest = it;
  }
  if (oldest != folders_.end()) folders_.erase(oldest);
}

std::optional<std::string> FolderIndex::Match(int dir, std::u16string_view component,
                                              FolderStamp* stamp) {
  struct stat info {};
  if (fstat(dir, &info) != 0) return std::nullopt;
  const FolderStamp now = StampOf(info);
  if (stamp != nullptr) *stamp = now;
  std::lock_guard lock(mutex_);
  const Key key{now.dev, now.ino};
  auto it = folders_.find(key);
  if (it == folders_.end() || !(it->second.stamp == now)) {
    if (it == folders_.end() && folders_.size() >= kMaxFolders) EvictOldest();
    Names fresh;
    // Stamped before the scan: a change during the scan makes it stale.
    fresh.stamp = now;
    if (!Scan(dir, &fresh)) {
      folders_.erase(key);
      return std::nullopt;
    }
    it = folders_.insert_or_assign(key, std::move(fresh)).first;
  }
  it->second.lastUse = ++uses_;
  return it->second.First(component);
}

void FolderIndex::Added(int dir, const FolderStamp& before, const std::string& name) {
  struct stat info {};
  const bool known = fstat(dir, &info) == 0;
  std::lock_guard lock(mutex_);
  auto it = folders_.find(Key{before.dev, before.ino});
  if (it == folders_.end()) return;
  if (!known || !(it->second.stamp == before)) {
    folders_.erase(it);
    return;
  }
  it->second.Add(name);
  it->second.stamp = StampOf(info);
}

}  // namespace platform
