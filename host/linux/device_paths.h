// Device paths ("\Flash Disk\a.txt") on the host: every path resolves inside
// <root>/fs, component by component, matching letter case loosely the way
// the device does. Nothing outside <root>/fs is ever reachable: paths are
// walked from a descriptor of <root>/fs with descriptors of the folders on
// the way, never by name from the top again, so a folder swapped for a link
// while the kit works cannot lead it out.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/linux/folder_index.h"
#include "host/linux/unique_fd.h"
#include "host/linux/watched_folders.h"

namespace host {

// A device path resolved: the folder that holds the entry, held open, and
// the entry's host name in it. Every operation on the entry is made
// relative to `folder`, so it lands where the check looked.
struct Located {
  // A descriptor (O_PATH) of a folder inside the file system, which may be
  // kept open for later look-ups too.
  std::shared_ptr<const UniqueFd> folder;
  std::string name;  // the entry's host name in `folder`; "." for the folder itself
  bool exists = false;
  struct stat info {};  // the entry's own status (a link not followed), when it exists
  // The folder's state when its names were consulted for a case-insensitive
  // match, so that an entry this process creates can join the index.
  std::optional<FolderStamp> stamp;
  std::string host;  // the host path as reached, for messages
  // The folder is kept and its names known to be current (see
  // WatchedFolders): a missing name is missing, whatever its case.
  bool namesCurrent = false;
  uint64_t keptFolder = 0;  // which kept folder, when namesCurrent
};

// What happens to a symbolic link as the last component.
enum class LastLink {
  Follow,  // resolve it to what it names (it must stay inside)
  Own,     // the link itself is the entry (deleting, creating over it)
};

// Whether folders looked up are kept open and watched (when the host has
// inotify), or every look-up walks from the top. WatchedWhenBusy keeps them
// from the kLookUpsBeforeWatching-th look-up on: a program that looks up
// little never sets up a watch, whose teardown at its exit waits for the
// kernel (5-19 ms measured).
enum class FolderKeeping { Watched, WatchedWhenBusy, None };
constexpr int kLookUpsBeforeWatching = 64;

class DevicePaths {
 public:
  // `root` is the device root; the file system is `root`/fs.
  explicit DevicePaths(const std::filesystem::path& root,
                       FolderKeeping keeping = FolderKeeping::Watched);

  const std::filesystem::path& FsRoot() const { return fsRoot_; }

  // The host path of an existing entry; none when any component is missing,
  // is "." or "..", or when a symbolic link on the way leaves the file system.
  std::optional<std::filesystem::path> ResolveExisting(std::u16string_view devicePath) const;

  // For creating: the folder part must exist; the last component names the
  // existing entry that matches it, or else a new entry with the case given.
  // None as for ResolveExisting, and for the root itself.
  std::optional<std::filesystem::path> ResolveForCreate(std::u16string_view devicePath) const;

  // The entry a device path names, with its folder open. With `mayBeMissing`
  // the folder part must exist and the last component may name nothing yet
  // (then `name` has the case given). None when a component is missing,
  // is "." or "..", or when a link on the way leaves the file system.
  std::optional<Located> Locate(std::u16string_view devicePath, LastLink last,
                                bool mayBeMissing) const;
  // The folder part as Locate finds it, the last component taken as given,
  // without looking it up (`exists` false, `info` and `host` empty). None when
  // the folder part names no folder or the last component is "." or "..".
  std::optional<Located> LocateAsGiven(std::u16string_view devicePath) const;
  // True when the file system takes every name the device does that fits
  // NAME_MAX: any bytes but "/" and NUL.
  bool TakesAnyName() const;
  // This process created `where.name` in `where.folder`.
  void NoteCreated(const Located& where) const;
  // ... as a file, where it was missing: a kept folder learns the name at
  // once, without reading the change queue for it.
  void NoteFileCreated(const Located& where) const;
  // A batch of look-ups, and this process's own changes to names within it
  // (see WatchedFolders).
  void BeginBatch() const;
  void EndBatch() const;
  void NoteNamesChanged() const;

  // The device path ("\A\b.exe", "\" for the root) of a host path that lies
  // inside the file system; none otherwise.
  std::optional<std::u16string> ToDevicePath(const std::filesystem::path& hostPath) const;

  // True when `hostPath`, with every symbolic link followed, stays inside the
  // file system (a link that dangles counts by where it points).
  bool StaysInside(const std::filesystem::path& hostPath) const;

 private:
  // A folder reached by the walk. `real` names it from the file system's
  // top with no link on the way, when known (links are resolved from it).
  struct Place {
    std::shared_ptr<UniqueFd> dir;
    std::optional<std::vector<std::string>> real;
    std::string host;
    uint64_t watched = 0;  // which kept folder it is, 0 when none
  };

  int FsFd() const;
  // The kept folders: made at once where the keeping says so; at a look-up
  // once look-ups are many; for a call that needs kept names (CanCreate's
  // answer without making the entry) at once.
  enum class Use { Other, LookUp, KeptNames };
  WatchedFolders* Watched(Use use = Use::Other) const;
  std::optional<Place> Root() const;
  std::optional<Place> OpenFolder(const std::vector<std::u16string>& parts, std::size_t count,
                                  bool knowReal) const;
  std::optional<Place> WalkFolder(const std::vector<std::u16string>& parts,
                                  std::size_t count) const;
  std::optional<Place> OpenReal(const std::vector<std::string>& real) const;
  // Steps from `place` into its sub-folder `name` (a link is followed).
  bool Descend(Place& place, const std::string& name, int* hops) const;
  // Replaces the link `*name` of `place` by what it names: `place` becomes
  // the folder of the target and `*name` its name there (which may be
  // missing). False when the target leaves the file system.
  bool FollowLink(Place& place, std::string* name, int* hops) const;
  // The host name in `dir` that `component` names (exact, else the first
  // case-insensitive match); `*info` its own status. Empty when none.
  // `*missing` tells a name that matches nothing from one that failed.
  std::string MatchName(int dir, const std::u16string& component, struct stat* info,
                        std::optional<FolderStamp>* stamp, bool* missing) const;
  // The same in a folder reached: a kept folder answers from its names.
  // `*kept`: the answer came from a kept folder's names.
  std::string MatchEntry(const Place& place, const std::u16string& component, struct stat* info,
                         std::optional<FolderStamp>* stamp, bool* missing, bool* kept) const;

  std::filesystem::path fsRoot_;     // as given, absolute
  std::filesystem::path canonical_;  // with links resolved, for containment checks
  FolderKeeping keeping_;
  // Shared by copies; opened on first use.
  struct Shared {
    std::mutex mutex;
    UniqueFd fs;
    FolderIndex index;
    std::unique_ptr<WatchedFolders> watched;
    int lookUps = 0;  // before the kept folders were made
    int batches = 0;  // look-up batches open
  };
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

}  // namespace host
