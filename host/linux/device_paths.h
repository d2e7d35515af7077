// Device paths ("\Flash Disk\a.txt") on the host: every path resolves inside
// <root>/fs, component by component, matching letter case loosely the way
// the device does. Nothing outside <root>/fs is ever reachable.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The components of a device path; "\" and "/" both separate, empty
// components (doubled or trailing separators) are dropped.
std::vector<std::u16string> SplitDevicePath(std::u16string_view path);

class DevicePaths {
 public:
  // `root` is the device root; the file system is `root`/fs.
  explicit DevicePaths(const std::filesystem::path& root);

  const std::filesystem::path& FsRoot() const { return fsRoot_; }

  // The host path of an existing entry; none when any component is missing,
  // is "." or "..", or when a symbolic link on the way leaves the file system.
  std::optional<std::filesystem::path> ResolveExisting(std::u16string_view devicePath) const;

  // For creating: the folder part must exist; the last component names the
  // existing entry that matches it, or else a new entry with the case given.
  // None as for ResolveExisting, and for the root itself.
  std::optional<std::filesystem::path> ResolveForCreate(std::u16string_view devicePath) const;

  // The device path ("\A\b.exe", "\" for the root) of a host path that lies
  // inside the file system; none otherwise.
  std::optional<std::u16string> ToDevicePath(const std::filesystem::path& hostPath) const;

  // True when `hostPath`, with every symbolic link followed, stays inside the
  // file system (a link that dangles counts by where it points).
  bool StaysInside(const std::filesystem::path& hostPath) const;

 private:
  // An entry of a folder and its own type (a link is not followed).
  struct Entry {
    std::filesystem::path path;
    std::filesystem::file_type type;
  };

  // The entry of `folder` named `component`: an exact match wins, otherwise
  // the first case-insensitive match in byte order; none when nothing matches.
  std::optional<Entry> MatchEntry(const std::filesystem::path& folder,
                                  const std::u16string& component) const;
  // Whether an entry of a folder that lies inside the file system stays
  // inside: only a symbolic link can lead out, so only a link is followed.
  bool EntryStaysInside(const Entry& entry) const;
  std::optional<std::filesystem::path> ResolveFolder(
      const std::vector<std::u16string>& parts, std::size_t count) const;

  std::filesystem::path fsRoot_;     // as given, absolute
  std::filesystem::path canonical_;  // with links resolved, for containment checks
};

}  // namespace platform
