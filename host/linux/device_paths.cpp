#include "host/linux/device_paths.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <system_error>

#include "platform/text.h"

namespace host {
namespace fs = std::filesystem;
namespace {

// Links followed in one look-up before it counts as a loop (the host's own limit).
constexpr int kMaxLinkHops = 40;

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
std::optional<fs::path> FollowLinkPath(const fs::path& path) {
  std::error_code error;
  if (!fs::is_symlink(fs::symlink_status(path, error))) return std::nullopt;
  const fs::path target = fs::read_symlink(path, error);
  if (error) return std::nullopt;
  return (target.is_absolute() ? target : path.parent_path() / target).lexically_normal();
}

std::vector<std::string> SplitHostPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

int OpenSubFolder(int dir, const std::string& name) {
  return openat(dir, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Kernels before 5.6 have no openat2; then every look-up walks by hand.
std::atomic<bool> openat2Missing{false};

// The folder `relative` (exact names) beneath `fsFd` in one call, links
// inside followed and any way out refused by the kernel; -1 when that is
// not possible and the walk by hand must decide.
int OpenBeneath(int fsFd, const std::string& relative) {
  if (openat2Missing.load(std::memory_order_relaxed)) return -1;
  open_how how{};
  how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  const long fd = syscall(SYS_openat2, fsFd, relative.c_str(), &how, sizeof how);
  if (fd < 0 && errno == ENOSYS) openat2Missing = true;
  return static_cast<int>(fd);
}

}  // namespace

DevicePaths::DevicePaths(const fs::path& root, FolderKeeping keeping) : keeping_(keeping) {
  std::error_code error;
  fsRoot_ = fs::absolute(root / "fs", error).lexically_normal();
  canonical_ = fs::weakly_canonical(fsRoot_, error);
  if (error) canonical_ = fsRoot_;
}

bool DevicePaths::StaysInside(const fs::path& hostPath) const {
  std::error_code error;
  fs::path path = hostPath;
  for (int hops = 0; hops < kMaxLinkHops; ++hops) {
    path = fs::weakly_canonical(path, error);
    if (error) return false;
    // weakly_canonical stops at a link that dangles; follow it by hand.
    const auto next = FollowLinkPath(path);
    if (!next) return IsWithin(path, canonical_);
    path = *next;
  }
  return false;  // a loop of links
}

// The file system's own folder is opened once and kept: everything below is
// reached from this descriptor.
int DevicePaths::FsFd() const {
  std::lock_guard lock(shared_->mutex);
  if (!shared_->fs.valid()) {
    shared_->fs.Reset(open(fsRoot_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return shared_->fs.get();
}

// Kept folders need inotify; without it every look-up walks.
WatchedFolders* DevicePaths::Watched(Use use) const {
  if (keeping_ == FolderKeeping::None) return nullptr;
  const int fsFd = FsFd();
  std::lock_guard lock(shared_->mutex);
  const bool due = keeping_ == FolderKeeping::Watched || use == Use::KeptNames ||
                   (use == Use::LookUp && ++shared_->lookUps >= kLookUpsBeforeWatching);
  if (!shared_->watched && fsFd >= 0 && due) {
    shared_->watched = std::make_unique<WatchedFolders>(fsRoot_, fsFd);
    // Made within a batch: it starts in it.
    for (int i = 0; i < shared_->batches; ++i) shared_->watched->BeginBatch();
  }
  return shared_->watched && shared_->watched->Usable() ? shared_->watched.get() : nullptr;
}

std::optional<DevicePaths::Place> DevicePaths::Root() const {
  const int fsFd = FsFd();
  if (fsFd < 0) return std::nullopt;
  Place place;
  place.dir = std::make_shared<UniqueFd>(fcntl(fsFd, F_DUPFD_CLOEXEC, 0));
  if (!place.dir->valid()) return std::nullopt;
  place.real.emplace();
  place.host = fsRoot_.string();
  return place;
}

std::optional<DevicePaths::Place> DevicePaths::OpenReal(
    const std::vector<std::string>& real) const {
  auto place = Root();
  if (!place) return std::nullopt;
  for (const auto& name : real) {
    UniqueFd next(OpenSubFolder(place->dir->get(), name));
    if (!next.valid()) return std::nullopt;
    place->dir = std::make_shared<UniqueFd>(std::move(next));
    place->host = HostChild(place->host, name);
  }
  place->real = real;
  return place;
}

std::string DevicePaths::MatchName(int dir, const std::u16string& component, struct stat* info,
                                   std::optional<FolderStamp>* stamp, bool* missing) const {
  *missing = false;
  std::string name = platform::ToUtf8(component);
  if (fstatat(dir, name.c_str(), info, AT_SYMLINK_NOFOLLOW) == 0) return name;
  if (errno != ENOENT) return {};
  FolderStamp state;
  const auto match = shared_->index.Match(dir, component, &state);
  if (stamp != nullptr) *stamp = state;
  if (!match) {
    *missing = true;
    return {};
  }
  // Gone since the index saw it: another process removed it just now.
  if (fstatat(dir, match->c_str(), info, AT_SYMLINK_NOFOLLOW) != 0) {
    *missing = errno == ENOENT;
    return {};
  }
  return *match;
}

std::string DevicePaths::MatchEntry(const Place& place, const std::u16string& component,
                                    struct stat* info, std::optional<FolderStamp>* stamp,
                                    bool* missing, bool* kept) const {
  *kept = false;
  if (place.watched != 0) {
    *kept = true;
    std::string name;
    WatchedFolders::Folder folder;
    folder.id = place.watched;
    switch (Watched()->FindEntry(folder, component, &name, info)) {
      case WatchedFolders::Answer::Found:
        *missing = false;
        return name;
      case WatchedFolders::Answer::Missing:
        *missing = true;
        return {};
      case WatchedFolders::Answer::Unwatched:
        *kept = false;
        break;
    }
  }
  return MatchName(place.dir->get(), component, info, stamp, missing);
}

bool DevicePaths::FollowLink(Place& place, std::string* name, int* hops) const {
  if (++*hops > kMaxLinkHops || !place.real) return false;
  place.watched = 0;  // wherever the link leads, it is reached by hand
  char buffer[4096];
  const ssize_t length = readlinkat(place.dir->get(), name->c_str(), buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return false;
  const std::string target(buffer, static_cast<std::size_t>(length));
  std::vector<std::string> steps = SplitHostPath(target);
  if (target.front() == '/') {
    // An absolute target counts only where it names a place inside.
    const fs::path absolute = fs::path(target).lexically_normal();
    const fs::path base = IsWithin(absolute, canonical_) ? canonical_ : fsRoot_;
    if (!IsWithin(absolute, base)) return false;
    steps.clear();
    for (const auto& part : absolute.lexically_relative(base)) {
      if (!part.empty() && part != ".") steps.push_back(part.string());
    }
    if (steps.empty()) steps = {"."};
    auto from = Root();
    if (!from) return false;
    place = std::move(*from);
  }
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const std::string& step = steps[i];
    const bool lastStep = i + 1 == steps.size();
    if (step == ".") {
      if (lastStep) name->assign(1, '.');
      continue;
    }
    if (step == "..") {
      if (place.real->empty()) return false;  // above the file system
      auto up = *place.real;
      up.pop_back();
      auto parent = OpenReal(up);
      if (!parent) return false;
      place = std::move(*parent);
      if (lastStep) name->assign(1, '.');
      continue;
    }
    if (lastStep) {
      *name = step;
      return true;
    }
    if (!Descend(place, step, hops)) return false;
  }
  if (steps.empty()) name->assign(1, '.');
  return true;
}

bool DevicePaths::Descend(Place& place, const std::string& name, int* hops) const {
  UniqueFd next(OpenSubFolder(place.dir->get(), name));
  if (next.valid()) {
    place.dir = std::make_shared<UniqueFd>(std::move(next));
    if (place.real) place.real->push_back(name);
    place.host = HostChild(place.host, name);
    return true;
  }
  struct stat info {};
  if ((errno != ENOTDIR && errno != ELOOP) ||
      fstatat(place.dir->get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(info.st_mode)) {
    return false;
  }
  const std::string shown = HostChild(place.host, name);
  std::string target = name;
  if (!FollowLink(place, &target, hops)) return false;
  // The link named an entry; it must be a folder (links again followed).
  struct stat own {};
  if (fstatat(place.dir->get(), target.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) return false;
  if (S_ISLNK(own.st_mode)) {
    if (!Descend(place, target, hops)) return false;
  } else if (target != ".") {
    UniqueFd folder(OpenSubFolder(place.dir->get(), target));
    if (!folder.valid()) return false;
    place.dir = std::make_shared<UniqueFd>(std::move(folder));
    place.real->push_back(target);
  } else if (!S_ISDIR(own.st_mode)) {
    return false;
  }
  place.host = shown;
  return true;
}

// By hand, component by component: exact names first, else the folder's
// case-insensitive index; links followed and checked step by step.
std::optional<DevicePaths::Place> DevicePaths::WalkFolder(const std::vector<std::u16string>& parts,
                                                          std::size_t count) const {
  auto place = Root();
  if (!place) return std::nullopt;
  int hops = 0;
  for (std::size_t i = 0; i < count; ++i) {
    struct stat info {};
    bool missing = false;
    const std::string name = MatchName(place->dir->get(), parts[i], &info, nullptr, &missing);
    if (name.empty() || !(S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode))) return std::nullopt;
    if (!Descend(*place, name, &hops)) return std::nullopt;
  }
  return place;
}

std::optional<DevicePaths::Place> DevicePaths::OpenFolder(const std::vector<std::u16string>& parts,
                                                          std::size_t count, bool knowReal) const {
  for (std::size_t i = 0; i < count; ++i) {
    if (IsForbiddenComponent(parts[i])) return std::nullopt;
  }
  if (WatchedFolders* watched = Watched(Use::LookUp)) {
    WatchedFolders::Folder folder;
    switch (watched->FindFolder(parts, count, &folder)) {
      case WatchedFolders::Answer::Found: {
        Place place;
        place.dir = std::move(folder.dir);
        place.real = std::move(folder.real);
        place.host = std::move(folder.host);
        place.watched = folder.id;
        return place;
      }
      case WatchedFolders::Answer::Missing:
        return std::nullopt;
      case WatchedFolders::Answer::Unwatched:
        break;
    }
  }
  if (count == 0) return Root();
  if (!knowReal) {
    // The usual case, every name exact: one call for the whole folder part.
    std::string relative;
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) relative += '/';
      relative += platform::ToUtf8(parts[i]);
    }
    const int fsFd = FsFd();
    UniqueFd fd(fsFd < 0 ? -1 : OpenBeneath(fsFd, relative));
    if (fd.valid()) {
      Place place;
      place.dir = std::make_shared<UniqueFd>(std::move(fd));
      place.host = HostChild(fsRoot_.string(), relative);
      return place;
    }
  }
  return WalkFolder(parts, count);
}

std::optional<Located> DevicePaths::Locate(std::u16string_view devicePath, LastLink last,
                                           bool mayBeMissing) const {
  const auto parts = platform::SplitPathComponents(devicePath);
  if (parts.empty()) {
    auto root = Root();
    if (!root) return std::nullopt;
    Located located;
    located.name.assign(1, '.');
    located.exists = fstat(root->dir->get(), &located.info) == 0;
    located.folder = std::move(root->dir);
    located.host = fsRoot_.string();
    return located.exists && !mayBeMissing ? std::optional<Located>(std::move(located))
                                           : std::nullopt;
  }
  if (IsForbiddenComponent(parts.back())) return std::nullopt;
  for (bool knowReal : {false, true}) {
    auto place = OpenFolder(parts, parts.size() - 1, knowReal);
    if (!place) return std::nullopt;
    Located located;
    bool missing = false, kept = false;
    located.name = MatchEntry(*place, parts.back(), &located.info, &located.stamp, &missing, &kept);
    located.exists = !located.name.empty();
    if (!located.exists) {
      if (!mayBeMissing || !missing) return std::nullopt;
      located.name = platform::ToUtf8(parts.back());
    }
    located.host = HostChild(place->host, located.name);
    if (located.exists && S_ISLNK(located.info.st_mode) && last == LastLink::Follow) {
      // Links are resolved from where they lie, which the quick way did not record.
      if (!place->real) continue;
      int hops = 0;
      std::string name = located.name;
      for (;;) {
        if (!FollowLink(*place, &name, &hops)) return std::nullopt;
        located.stamp.reset();
        if (fstatat(place->dir->get(), name.c_str(), &located.info, AT_SYMLINK_NOFOLLOW) != 0) {
          // A link that dangles inside names nothing yet, but may be created through.
          if (errno != ENOENT || !mayBeMissing) return std::nullopt;
          located.exists = false;
          break;
        }
        if (!S_ISLNK(located.info.st_mode)) break;
      }
      located.name = name;
    }
    located.namesCurrent = kept && place->watched != 0;
    if (located.namesCurrent) located.keptFolder = place->watched;
    located.folder = std::move(place->dir);
    return located;
  }
  return std::nullopt;
}

std::optional<Located> DevicePaths::LocateAsGiven(std::u16string_view devicePath) const {
  const auto parts = platform::SplitPathComponents(devicePath);
  if (parts.empty() || IsForbiddenComponent(parts.back())) return std::nullopt;
  auto place = OpenFolder(parts, parts.size() - 1, false);
  if (!place) return std::nullopt;
  Located located;
  located.name = platform::ToUtf8(parts.back());
  located.folder = std::move(place->dir);
  return located;
}

bool DevicePaths::TakesAnyName() const {
  WatchedFolders* watched = Watched(Use::KeptNames);
  return watched != nullptr && watched->PosixNames();
}

void DevicePaths::NoteCreated(const Located& where) const {
  if (where.stamp) shared_->index.Added(where.folder->get(), *where.stamp, where.name);
}

void DevicePaths::NoteFileCreated(const Located& where) const {
  WatchedFolders* watched = where.namesCurrent ? Watched() : nullptr;
  if (watched == nullptr || !watched->NoteOwnFile(where.keptFolder, where.name)) {
    NoteNamesChanged();
  }
  NoteCreated(where);
}

void DevicePaths::BeginBatch() const {
  WatchedFolders* watched = Watched();
  std::lock_guard lock(shared_->mutex);
  ++shared_->batches;
  if (watched != nullptr) watched->BeginBatch();
}

void DevicePaths::EndBatch() const {
  WatchedFolders* watched = Watched();
  std::lock_guard lock(shared_->mutex);
  --shared_->batches;
  if (watched != nullptr) watched->EndBatch();
}

void DevicePaths::NoteNamesChanged() const {
  if (WatchedFolders* watched = Watched()) watched->NoteOwnChange();
}

std::optional<fs::path> DevicePaths::ResolveExisting(std::u16string_view devicePath) const {
  const auto located = Locate(devicePath, LastLink::Follow, false);
  if (!located) return std::nullopt;
  return platform::SplitPathComponents(devicePath).empty() ? fsRoot_ : fs::path(located->host);
}

std::optional<fs::path> DevicePaths::ResolveForCreate(std::u16string_view devicePath) const {
  if (platform::SplitPathComponents(devicePath).empty()) return std::nullopt;
  const auto located = Locate(devicePath, LastLink::Follow, true);
  if (!located) return std::nullopt;
  return fs::path(located->host);
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
    device += platform::FromUtf8(part.string());
  }
  return device.empty() ? u"\\" : device;
}

}  // namespace host
