#include "host/linux/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/text.h"

namespace host {
namespace {

std::size_t FoldedHash(std::u16string_view name) {
  return std::hash<std::u16string>()(platform::ToLower(name));
}

}  // namespace

void FolderNames::Add(const std::string& name) {
  const std::size_t hash = FoldedHash(platform::FromUtf8(name));
  const auto [begin, end] = byFoldedHash_.equal_range(hash);
  for (auto it = begin; it != end; ++it) {
    if (it->second == name) return;
  }
  byFoldedHash_.emplace(hash, name);
}

void FolderNames::Remove(const std::string& name) {
  const auto [begin, end] = byFoldedHash_.equal_range(FoldedHash(platform::FromUtf8(name)));
  for (auto it = begin; it != end; ++it) {
    if (it->second == name) {
      byFoldedHash_.erase(it);
      return;
    }
  }
}

std::optional<std::string> FolderNames::Match(std::u16string_view component) const {
  const std::string exact = platform::ToUtf8(component);
  std::optional<std::string> first;
  const auto [begin, end] = byFoldedHash_.equal_range(FoldedHash(component));
  for (auto it = begin; it != end; ++it) {
    if (it->second == exact) return exact;
    if ((!first || it->second < *first) &&
        platform::EqualsNoCase(platform::FromUtf8(it->second), component)) {
      first = it->second;
    }
  }
  return first;
}

bool FolderNames::Scan(int dir) {
  const int fd = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  DIR* stream = fdopendir(fd);
  if (stream == nullptr) {
    close(fd);
    return false;
  }
  byFoldedHash_.clear();
  while (const dirent* entry = readdir(stream)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") Add(name);
  }
  closedir(stream);
  return true;
}

}  // namespace host
