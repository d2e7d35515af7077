#include "host/linux/folder_index.h"

#include <unistd.h>

namespace host {
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
    if (!fresh.names.Scan(dir)) {
      folders_.erase(key);
      return std::nullopt;
    }
    it = folders_.insert_or_assign(key, std::move(fresh)).first;
  }
  it->second.lastUse = ++uses_;
  return it->second.names.Match(component);
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
  it->second.names.Add(name);
  it->second.stamp = StampOf(info);
}

}  // namespace host
