// Case-insensitive look-up of folder entries without scanning a folder once
// per look-up: each folder's names are indexed by their lower-cased form,
// cached by the folder's identity and trusted only while the folder's
// modification and change times are those the index was built at, so a
// change made by anyone else is seen at the next look-up.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/linux/folder_names.h"

namespace host {

// What identifies a folder and its state: device, inode, mtime and ctime.
struct FolderStamp {
  dev_t dev = 0;
  ino_t ino = 0;
  int64_t mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
  friend bool operator==(const FolderStamp&, const FolderStamp&) = default;
};
FolderStamp StampOf(const struct stat& info);

class FolderIndex {
 public:
  // The first host name in byte order of the folder open as `dir` that
  // equals `component` ignoring case; none when nothing matches. `*stamp`
  // receives the folder's state the answer holds for.
  std::optional<std::string> Match(int dir, std::u16string_view component, FolderStamp* stamp);
  // This process created `name` in the folder `dir`, whose state was
  // `before` just before: the index takes the name instead of being built
  // again. An index that was stale already is dropped.
  void Added(int dir, const FolderStamp& before, const std::string& name);

 private:
  struct Names {
    FolderStamp stamp;
    FolderNames names;
    uint64_t lastUse = 0;
  };
  struct KeyHash {
    std::size_t operator()(const std::pair<dev_t, ino_t>& key) const {
      return std::hash<uint64_t>()(key.first * 1000003u ^ key.second);
    }
  };
  using Key = std::pair<dev_t, ino_t>;

  void EvictOldest();

  std::mutex mutex_;
  std::unordered_map<Key, Names, KeyHash> folders_;
  uint64_t uses_ = 0;
};

}  // namespace host
