#include "host/linux/device_paths.h"

#include <algorithm>
#include <system_error>

#include "platform/text.h"

namespace platform {
namespace fs = std::filesystem;
namespace {

bool IsForbiddenComponent(const std::u16string& part) {
  return part == u"." || part == u".." || part.find(u'\0') != std::u16string::npos;
}

bool IsWithin(const fs::path& path, const fs::path& base) {
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p) {
    if (b->empty()) continue;  // a trailing separator of the base
    if (p == path.end() || *p != *b) return false;
  }
  return true;
}

// Follows the link at `path`, if any, to where it points.
std::optional<fs::path> FollowLink(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return std::nullopt;
  const fs::path target = fs::read_symlink(path, error);
  if (error) return std::nullopt;
  return (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
}

}  // namespace

std::vector<std::u16string> SplitDevicePath(std::u16string_view path) {
  std::vector<std::u16string> parts;
  std::u16string current;
  for (const char16_t unit : path) {
    if (unit == u'\\' || unit == u'/') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current += unit;
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

DevicePaths::DevicePaths(const fs::path& root) {
  std::error_code error;
  fsRoot_ = fs::absolute(root / "fs", error).lexically_normal();
  canonical_ = fs::weakly_canonical(fsRoot_, error);
  if (error) canonical_ = fsRoot_;
}

bool DevicePaths::StaysInside(const fs::path& hostPath) const {
  std::error_code error;
  fs::path path = hostPath;
  for (int hops = 0; hops < 40; ++hops) {
    path = fs::weakly_canonical(path, error);
    if (error) return false;
    // weakly_canonical stops at a link that dangles; follow it by hand.
    const auto next = FollowLink(path);
    if (!next) return IsWithin(path, canonical_);
    path = *next;
  }
  return false;  // a loop of links
}

std::optional<DevicePaths::Entry> DevicePaths::MatchEntry(const fs::path& folder,
                                                          const std::u16string& component) const {
  const fs::path exact = folder / ToUtf8(component);
  std::error_code error;
  const fs::file_status own = fs::symlink_status(exact, error);
  if (fs::exists(own)) return Entry{exact, own.type()};
  std::optional<std::string> best;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (EqualsNoCase(FromUtf8(name), component) && (!best || name < *best)) best = name;
  }
  if (!best) return std::nullopt;
  const fs::path match = folder / *best;
  return Entry{match, fs::symlink_status(match, error).type()};
}

bool DevicePaths::EntryStaysInside(const Entry& entry) const {
  return entry.type != fs::file_type::symlink || StaysInside(entry.path);
}

// Each folder on the way is known to lie inside before its entries are
// looked at, so a plain entry costs one lstat and only links are resolved.
std::optional<fs::path> DevicePaths::ResolveFolder(const std::vector<std::u16string>& parts,
                                                   std::size_t count) const {
  fs::path current = fsRoot_;
  std::error_code error;
  for (std::size_t i = 0; i < count; ++i) {
    if (IsForbiddenComponent(parts[i])) return std::nullopt;
    const auto next = MatchEntry(current, parts[i]);
    if (!next || !EntryStaysInside(*next)) return std::nullopt;
    const bool folder = next->type == fs::file_type::symlink
                            ? fs::is_directory(next->path, error)
                            : next->type == fs::file_type::directory;
    if (!folder) return std::nullopt;
    current = next->path;
  }
  return current;
}

std::optional<fs::path> DevicePaths::ResolveExisting(std::u16string_view devicePath) const {
  const auto parts = SplitDevicePath(devicePath);
  std::error_code error;
  if (parts.empty()) {
    if (!fs::is_directory(fsRoot_, error)) return std::nullopt;
    return fsRoot_;
  }
  const auto folder = ResolveFolder(parts, parts.size() - 1);
  if (!folder || IsForbiddenComponent(parts.back())) return std::nullopt;
  const auto entry = MatchEntry(*folder, parts.back());
  if (!entry || !EntryStaysInside(*entry)) return std::nullopt;
  // A link that dangles inside names nothing.
  if (entry->type == fs::file_type::symlink && !fs::exists(entry->path, error)) {
    return std::nullopt;
  }
  return entry->path;
}

std::optional<fs::path> DevicePaths::ResolveForCreate(std::u16string_view devicePath) const {
  const auto parts = SplitDevicePath(devicePath);
  if (parts.empty() || IsForbiddenComponent(parts.back())) return std::nullopt;
  const auto folder = ResolveFolder(parts, parts.size() - 1);
  if (!folder) return std::nullopt;
  const auto entry = MatchEntry(*folder, parts.back());
  // A new entry in a folder inside stays inside.
  if (!entry) return *folder / ToUtf8(parts.back());
  if (!EntryStaysInside(*entry)) return std::nullopt;
  return entry->path;
}

std::optional<std::u16string> DevicePaths::ToDevicePath(const fs::path& hostPath) const {
  std::error_code error;
  const fs::path path = fs::weakly_canonical(hostPath, error);
  if (error || !IsWithin(path, canonical_)) return std::nullopt;
  const fs::path relative = path.lexically_relative(canonical_);
  std::u16string device;
  for (const auto& part : relative) {
    if (part.empty() || part == ".") continue;
    device += u'\\';
    device += FromUtf8(part.string());
  }
  return device.empty() ? u"\\" : device;
}

}  // namespace platform
