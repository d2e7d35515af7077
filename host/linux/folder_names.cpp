#include "host/linux/folder_names.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include "platform/text.h"

namespace host {
namespace {

// FNV-1a over the case-folded units, made without a folded copy: it runs for
// every name created or looked up.
constexpr std::size_t kHashStart = 14695981039346656037ull;

std::size_t Fold(std::size_t hash, char16_t unit) {
  return (hash ^ platform::LowerUnit(unit)) * 1099511628211ull;
}

std::size_t FoldedHash(std::u16string_view name) {
  std::size_t hash = kHashStart;
  for (char16_t unit : name) hash = Fold(hash, unit);
  return hash;
}

// The same of a host name, whose ASCII bytes are its units.
std::size_t FoldedHash(const std::string& name) {
  std::size_t hash = kHashStart;
  for (char byte : name) {
    if (static_cast<unsigned char>(byte) >= 0x80) return FoldedHash(platform::FromUtf8(name));
    hash = Fold(hash, static_cast<char16_t>(byte));
  }
  return hash;
}

}  // namespace

void FolderNames::Add(const std::string& name) {
  const std::size_t hash = FoldedHash(name);
  const auto [begin, end] = byFoldedHash_.equal_range(hash);
  for (auto it = begin; it != end; ++it) {
    if (it->second == name) return;
  }
  byFoldedHash_.emplace(hash, name);
}

void FolderNames::Remove(const std::string& name) {
  const auto [begin, end] = byFoldedHash_.equal_range(FoldedHash(name));
  for (auto it = begin; it != end; ++it) {
    if (it->second == name) {
      byFoldedHash_.erase(it);
      return;
    }
  }
}

std::optional<std::string> FolderNames::Match(std::u16string_view component) const {
  const auto [begin, end] = byFoldedHash_.equal_range(FoldedHash(component));
  // A name about to be created matches nothing, as a rule.
  if (begin == end) return std::nullopt;
  const std::string exact = platform::ToUtf8(component);
  std::optional<std::string> first;
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
