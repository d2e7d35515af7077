// Device paths ("\Flash Disk\a.txt") as Windows paths inside <root>\fs.
//
// A device path becomes "\\?\<absolute root>\fs\<components>": the "\\?\"
// form, so that Windows neither strips trailing dots and blanks nor takes a
// name such as "CON" or "LPT1" for a device. Components may not be "." or
// "..", nor hold a character Windows gives a meaning of its own (":" for
// streams and drives, wildcards, "<>|\"" and control characters). A reparse
// point (a symbolic link or junction) on the way is followed only when its
// final path still lies inside <root>\fs. Letter case is the file system's
// business: Windows' file systems match names case-insensitively already.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

class Win32Paths {
 public:
  explicit Win32Paths(const std::filesystem::path& deviceRoot);

  // "\\?\C:\...\fs".
  const std::wstring& FsRoot() const { return fsRoot_; }

  // The Windows path of an existing entry; none when a component is missing
  // or not allowed, or when a reparse point on the way leaves the file system.
  std::optional<std::wstring> ResolveExisting(std::u16string_view devicePath) const;
  // For creating: the folder part must exist and lie inside; the last
  // component may be missing. None for the root itself.
  std::optional<std::wstring> ResolveForCreate(std::u16string_view devicePath) const;

  // The device path of a Windows path that lies inside the file system (with
  // reparse points resolved); none otherwise.
  std::optional<std::u16string> ToDevicePath(const std::wstring& hostPath) const;

  // True when the entry, with every reparse point followed, lies inside.
  bool StaysInside(const std::wstring& hostPath) const;

 private:
  // Joins `count` checked components below the root, checking each entry on
  // the way; none when one is missing or leads out.
  std::optional<std::wstring> ResolveFolder(const std::vector<std::u16string>& parts,
                                            std::size_t count) const;
  // The final path of an existing entry ("\\?\C:\..."), empty when it cannot
  // be opened.
  static std::wstring FinalPath(const std::wstring& hostPath);
  // The rest of `path` below the final root ("" for the root itself); none
  // when it does not lie below.
  std::optional<std::wstring> BelowRoot(const std::wstring& path) const;

  std::wstring fsRoot_;
  std::wstring finalRoot_;  // with reparse points resolved, for containment checks
};

}  // namespace host
