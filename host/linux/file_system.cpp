#include "host/linux/file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>

#include "host/common/search_pattern.h"
#include "host/linux/attributes.h"
#include "host/linux/file.h"
#include "host/linux/file_times.h"
#include "host/linux/held_folder.h"
#include "platform/device_names.h"
#include "platform/text.h"
#include "platform/wildcard.h"

namespace host {
namespace fs = std::filesystem;
namespace {

// What a file the device creates may be: read and written by everyone the
// process's umask lets.
constexpr mode_t kNewFileMode = 0666;

int AccessFlags(uint32_t access) {
  if ((access & platform::AccessRead) && (access & platform::AccessWrite)) return O_RDWR;
  return (access & platform::AccessWrite) ? O_WRONLY : O_RDONLY;
}

// The device's name for a host name; none for bytes that are not UTF-8,
// which the device could not name back.
std::optional<std::u16string> DeviceName(const std::string& name) {
  std::u16string wide = platform::FromUtf8(name);
  if (platform::ToUtf8(wide) != name) return std::nullopt;
  return wide;
}

// What the kit creates must be a name the device would take.
bool HasValidLastName(std::u16string_view path) {
  const std::size_t end = path.find_last_not_of(u"\\/");
  if (end == std::u16string_view::npos) return false;
  const std::size_t separator = path.find_last_of(u"\\/", end);
  const std::size_t start = separator == std::u16string_view::npos ? 0 : separator + 1;
  return platform::IsValidDeviceName(path.substr(start, end + 1 - start));
}

}  // namespace

LinuxFileSystem::LinuxFileSystem(const fs::path& deviceRoot, uint64_t capacity,
                                 FolderKeeping keeping)
    : paths_(deviceRoot, keeping),
      capacity_(std::make_shared<DriveCapacity>(paths_.FsRoot(), capacity)) {}

std::unique_ptr<platform::File> LinuxFileSystem::OpenExisting(const Located& where, uint32_t access,
                                                              platform::Disposition disposition) {
  // Checked before opening (a device node is never opened) and again on the
  // open file, which is what counts.
  if (!S_ISREG(where.info.st_mode) || disposition == platform::Disposition::CreateNew)
    return nullptr;
  struct stat info {};
  const int fd =
      OpenRegularFileAt(where.folder->get(), where.name.c_str(), AccessFlags(access), 0, &info);
  if (fd < 0) return nullptr;
  // Permission bits bind no one running as root; the device's rule holds anyway.
  const bool changes =
      (access & platform::AccessWrite) != 0 || disposition == platform::Disposition::CreateAlways;
  bool ok = !changes || (info.st_mode & 0222) != 0;
  if (ok && disposition == platform::Disposition::CreateAlways) {
    ok = ftruncate(fd, 0) == 0;
    if (ok) capacity_->Release(static_cast<uint64_t>(info.st_size));
  }
  if (!ok) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<LinuxFile>(fd, access & (platform::AccessRead | platform::AccessWrite),
                                     where.host, capacity_);
}

std::unique_ptr<platform::File> LinuxFileSystem::OpenPath(std::u16string_view path, uint32_t access,
                                                          platform::Disposition disposition) {
  const bool create = disposition != platform::Disposition::OpenExisting;
  // Someone else may create the name between the look-up and the creation;
  // then it is looked up again and opened as an existing file.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const auto where = paths_.Locate(path, LastLink::Follow, create);
    if (!where || where->name == ".") return nullptr;
    if (where->exists) return OpenExisting(*where, access, disposition);
    struct stat info {};
    const uint64_t storesBefore = HostAttributeStores();
    const int fd = OpenRegularFileAt(where->folder->get(), where->name.c_str(),
                                     AccessFlags(access) | O_CREAT | O_EXCL, kNewFileMode, &info);
    const int error = errno;
    if (fd < 0) {
      // Even a creation that failed may have made and removed the name.
      paths_.NoteNamesChanged();
      if (error == EEXIST) continue;
      return nullptr;
    }
    paths_.NoteFileCreated(*where);
    return std::make_unique<LinuxFile>(fd, access & (platform::AccessRead | platform::AccessWrite),
                                       where->host, capacity_, storesBefore,
                                       CreatedFileMode(kNewFileMode));
  }
  return nullptr;
}

std::unique_ptr<platform::File> LinuxFileSystem::Open(std::u16string_view path, uint32_t access,
                                                      platform::Disposition disposition) {
  std::unique_ptr<platform::File> file;
  const bool named = disposition == platform::Disposition::OpenExisting || HasValidLastName(path);
  if (named && !EndsWithSeparator(path)) file = OpenPath(path, access, disposition);
  return file;
}

std::unique_ptr<platform::FileSystem> LinuxFileSystem::ReaderForAnotherThread() {
  // It only reads: the drive's capacity is this one's to keep.
  return std::make_unique<LinuxFileSystem>(paths_.FsRoot().parent_path(), 0, FolderKeeping::None);
}

uint32_t LinuxFileSystem::GetAttributes(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  const uint32_t attributes =
      where ? ReadHostAttributesAt(where->folder->get(), where->name, where->info)
            : platform::kInvalidAttributes;
  return attributes;
}

platform::EntryKind LinuxFileSystem::GetEntryKind(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Own, false);
  if (!where || !where->exists) return platform::EntryKind::None;
  if (S_ISREG(where->info.st_mode)) return platform::EntryKind::File;
  if (S_ISDIR(where->info.st_mode)) return platform::EntryKind::Folder;
  return platform::EntryKind::Other;
}

bool LinuxFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  const bool ok =
      where && WriteHostAttributesAt(where->folder->get(), where->name, where->info, attributes);
  return ok;
}

// A link is deleted itself, never what it names; it is read-only when what
// it names is.
bool LinuxFileSystem::Deletable(std::u16string_view path, const Located& where) {
  if (where.name == "." || S_ISDIR(where.info.st_mode)) return false;
  const struct stat* info = &where.info;
  std::optional<Located> target;
  if (S_ISLNK(where.info.st_mode)) {
    // A link that leads nowhere inside names nothing, as for every look-up.
    target = paths_.Locate(path, LastLink::Follow, false);
    if (!target) return false;
    info = &target->info;
  }
  return S_ISDIR(info->st_mode) || (info->st_mode & 0222) != 0;
}

bool LinuxFileSystem::DeleteFile(std::u16string_view path) {
  const NamesChange change(paths_);
  const auto where = paths_.Locate(path, LastLink::Own, false);
  const bool ok = where && Deletable(path, *where) &&
                  unlinkat(where->folder->get(), where->name.c_str(), 0) == 0;
  if (ok && S_ISREG(where->info.st_mode)) {
    capacity_->Release(static_cast<uint64_t>(where->info.st_size));
  }
  return ok;
}

// Only the read-only check and the drive's count of used bytes need the
// file's status, so an unlimited drive spares that look-up. A name in another
// letter case than the host's is not found as given and takes the checked way.
bool LinuxFileSystem::DeleteFileAnyway(std::u16string_view path) {
  const NamesChange change(paths_);
  if (!capacity_->Limited()) {
    const auto where = paths_.LocateAsGiven(path);
    if (where && unlinkat(where->folder->get(), where->name.c_str(), 0) == 0) return true;
    if (where && errno != ENOENT) return false;  // a folder, a locked file, a read-only folder
  }
  return FileSystem::DeleteFileAnyway(path);
}

// rename() replaces a file of the new name in one step, as the device's
// MoveFileEx does; a folder is never moved nor replaced.
bool LinuxFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  const NamesChange change(paths_);
  const auto source = paths_.Locate(from, LastLink::Own, false);
  const auto where = HasValidLastName(to) ? paths_.Locate(to, LastLink::Own, true) : std::nullopt;
  const bool movable = source && source->name != "." && !S_ISDIR(source->info.st_mode) && where &&
                       where->name != "." && !(where->exists && S_ISDIR(where->info.st_mode));
  const bool replaced =
      movable && where->exists && S_ISREG(where->info.st_mode) &&
      !(source->info.st_dev == where->info.st_dev && source->info.st_ino == where->info.st_ino);
  const bool ok = movable && renameat(source->folder->get(), source->name.c_str(),
                                      where->folder->get(), where->name.c_str()) == 0;
  if (ok) {
    paths_.NoteCreated(*where);
    if (replaced) capacity_->Release(static_cast<uint64_t>(where->info.st_size));
  }
  return ok;
}

bool LinuxFileSystem::MoveFolder(std::u16string_view from, std::u16string_view to) {
  const NamesChange change(paths_);
  const auto source = paths_.Locate(from, LastLink::Own, false);
  const auto where = HasValidLastName(to) ? paths_.Locate(to, LastLink::Own, true) : std::nullopt;
  const bool ok = source && source->name != "." && S_ISDIR(source->info.st_mode) && where &&
                  where->name != "." && !where->exists &&
                  renameat2(source->folder->get(), source->name.c_str(), where->folder->get(),
                            where->name.c_str(), RENAME_NOREPLACE) == 0;
  if (ok) paths_.NoteCreated(*where);
  return ok;
}

std::unique_ptr<platform::Folder> LinuxFileSystem::OpenFolder(std::u16string_view path) {
  const auto where = paths_.Locate(path, LastLink::Follow, false);
  if (!where || !S_ISDIR(where->info.st_mode)) return nullptr;
  UniqueFd dir(openat(where->folder->get(), where->name.c_str(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid()) return nullptr;
  return std::make_unique<HeldFolder>(*this, std::move(dir), platform::HeldFolderPath(path));
}

bool LinuxFileSystem::CreateDirectory(std::u16string_view path) {
  const NamesChange change(paths_);
  const auto where =
      HasValidLastName(path) ? paths_.Locate(path, LastLink::Own, true) : std::nullopt;
  const bool ok =
      where && !where->exists && mkdirat(where->folder->get(), where->name.c_str(), 0777) == 0;
  if (ok) paths_.NoteCreated(*where);
  return ok;
}

// A name missing from a kept folder's current names, on a file system that
// takes any name that fits, can be created: no need to make it and remove
// it again.
bool LinuxFileSystem::CanCreate(std::u16string_view path) {
  if (HasValidLastName(path) && paths_.TakesAnyName()) {
    const auto where = paths_.Locate(path, LastLink::Own, true);
    if (where && !where->exists && where->namesCurrent && where->name.size() <= NAME_MAX) {
      return true;
    }
  }
  return platform::FileSystem::CanCreate(path);
}

bool LinuxFileSystem::RemoveDirectory(std::u16string_view path) {
  const NamesChange change(paths_);
  const auto where = paths_.Locate(path, LastLink::Own, false);
  const bool ok = where && where->name != "." &&
                  unlinkat(where->folder->get(), where->name.c_str(), AT_REMOVEDIR) == 0;
  return ok;
}

std::vector<platform::FindData> LinuxFileSystem::Find(std::u16string_view pattern) {
  return FindEntries(pattern, platform::FindDetail::Full);
}

std::vector<platform::FindData> LinuxFileSystem::FindEntries(std::u16string_view pattern,
                                                             platform::FindDetail detail) {
  const auto parts = platform::SplitPathComponents(pattern);
  const std::u16string folder = parts.empty() ? u"" : FolderOf(parts);
  const auto where = parts.empty() || EndsWithSeparator(pattern)
                         ? std::nullopt
                         : paths_.Locate(folder, LastLink::Follow, false);
  UniqueFd dir;
  if (where && S_ISDIR(where->info.st_mode)) {
    dir.Reset(openat(where->folder->get(), where->name.c_str(),
                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!dir.valid()) return {};
  return ListFolder(std::move(dir), folder, parts.back(), detail);
}

std::vector<platform::FindData> LinuxFileSystem::ListFolder(UniqueFd dir,
                                                            const std::u16string& folder,
                                                            std::u16string_view wildcard,
                                                            platform::FindDetail detail) {
  // With the entry's type as the listing gave it (DT_UNKNOWN where the file
  // system does not tell).
  struct Listed {
    std::string name;
    std::u16string deviceName;
    unsigned char type;
  };
  std::vector<Listed> names;
  if (DIR* stream = fdopendir(fcntl(dir.get(), F_DUPFD_CLOEXEC, 0))) {
    while (const dirent* entry = readdir(stream)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      auto deviceName = DeviceName(name);
      if (deviceName && platform::MatchWildcard(wildcard, *deviceName)) {
        names.push_back({std::move(name), std::move(*deviceName), entry->d_type});
      }
    }
    closedir(stream);
  }
  std::sort(names.begin(), names.end(),
            [](const Listed& a, const Listed& b) { return a.name < b.name; });
  std::vector<const std::string*> unknown;
  for (const Listed& entry : names) {
    const bool known =
        detail == platform::FindDetail::Kinds && (entry.type == DT_REG || entry.type == DT_DIR);
    if (!known) unknown.push_back(&entry.name);
  }
  const std::vector<std::optional<EntryStatus>> statuses = StatusesOf(dir.get(), unknown);
  std::vector<platform::FindData> found;
  found.reserve(names.size());
  std::size_t next = 0;
  for (auto& [name, deviceName, type] : names) {
    if (next == unknown.size() || unknown[next] != &name) {
      platform::FindData data;
      data.name = std::move(deviceName);
      data.attributes =
          type == DT_DIR ? platform::FILE_ATTRIBUTE_DIRECTORY : platform::FILE_ATTRIBUTE_NORMAL;
      found.push_back(std::move(data));
      continue;
    }
    const std::optional<EntryStatus>& status = statuses[next++];
    if (!status) continue;
    auto data = Describe(dir.get(), name, std::move(deviceName), folder, detail, *status);
    if (data) found.push_back(std::move(*data));
  }
  return found;
}

std::optional<platform::FindData> LinuxFileSystem::Describe(int dir, const std::string& name,
                                                            std::u16string deviceName,
                                                            const std::u16string& folder,
                                                            platform::FindDetail detail,
                                                            const EntryStatus& status) {
  struct stat info = status.AsStat();
  platform::FindData data;
  data.locked = status.locked;
  data.name = std::move(deviceName);
  if (S_ISLNK(info.st_mode)) {
    // Only a link that stays inside is listed. The device has no links: it
    // is listed as an entry of its own, never as a folder, so a walk over the
    // tree (the old-file removal) does not descend into what it points at,
    // and deleting it removes only the link.
    const auto target = paths_.Locate(folder + u"\\" + data.name, LastLink::Follow, false);
    if (!target) return std::nullopt;
    info = target->info;
    data.attributes = ReadHostAttributesAt(target->folder->get(), target->name, info) &
                      ~platform::FILE_ATTRIBUTE_DIRECTORY;
  } else {
    data.attributes = detail == platform::FindDetail::Full ? ReadHostAttributesAt(dir, name, info)
                                                           : StatusAttributes(info);
  }
  data.size = S_ISDIR(info.st_mode) ? 0 : static_cast<uint64_t>(info.st_size);
  data.writeTime = FileTimeFromTimespec(info.st_mtim);
  return data;
}

platform::SystemTime LinuxFileSystem::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  platform::SystemTime time;
  platform::FileTimeToSystemTime(FileTimeFromTimespec(now), &time);
  return time;
}

}  // namespace host
