#include "host/linux/watched_folders.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/text.h"

namespace host {
namespace {

// Folders kept open at once; the least recently used without kept
// sub-folders goes first.
constexpr std::size_t kMaxFolders = 128;

// Own file creations learned before the queue is read: far below the
// kernel's default queue length (16384 events), whose overflow would cost
// every kept folder.
constexpr int kOwnFilesPerRead = 256;

// Changes to a folder's names, and to the folder itself.
constexpr uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
constexpr uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;

// File systems whose every change, by any process, passes through this
// kernel and so reaches inotify. On a network or FUSE file system another
// machine's changes would not: there every look-up walks. The first group
// takes any name of bytes but "/" and NUL; the second refuses some.
enum class LocalKind { None, PosixNames, OwnNames };

LocalKind LocalFileSystem(int dir) {
  struct statfs info {};
  if (fstatfs(dir, &info) != 0) return LocalKind::None;
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // xfs
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // f2fs
    case 0x2FC12FC1:  // zfs
      return LocalKind::PosixNames;
    case 0x794C7630:  // overlayfs (names as its upper layer takes them)
    case 0x4D44:      // vfat
    case 0x2011BAB0:  // exfat
    case 0x7366746E:  // ntfs3
      return LocalKind::OwnNames;
    default:
      return LocalKind::None;
  }
}

int WatchDescriptor(int inotify, int dir) {
  const std::string self = "/proc/self/fd/" + std::to_string(dir);
  return inotify_add_watch(inotify, self.c_str(), kWatchMask);
}

}  // namespace

WatchedFolders::WatchedFolders(std::filesystem::path fsRoot, int fsFd)
    : fsRoot_(std::move(fsRoot)), fsFd_(fsFd) {
  struct stat info {};
  const LocalKind kind = LocalFileSystem(fsFd);
  if (kind != LocalKind::None && fstat(fsFd, &info) == 0) {
    device_ = info.st_dev;
    posixNames_ = kind == LocalKind::PosixNames;
    inotify_.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  }
}

WatchedFolders::~WatchedFolders() = default;

void WatchedFolders::ReadEvents() {
  ownFilesUnread_ = 0;
  alignas(inotify_event) char buffer[32 * 1024];
  for (;;) {
    const ssize_t length = read(inotify_.get(), buffer, sizeof buffer);
    if (length <= 0) {
      // EAGAIN is the usual answer: nothing changed. Anything else leaves
      // nothing to trust.
      if (length < 0 && errno != EAGAIN && errno != EINTR && root_) Drop(root_.get());
      return;
    }
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      OnEvent(event->wd, event->mask, event->len > 0 ? event->name : nullptr);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    // A buffer with room left held every queued event.
    if (static_cast<std::size_t>(length) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof buffer) {
      return;
    }
  }
}

void WatchedFolders::OnEvent(int watch, uint32_t mask, const char* name) {
  if (mask & IN_Q_OVERFLOW) {
    if (root_) Drop(root_.get());
    return;
  }
  const auto found = byWatch_.find(watch);
  if (found == byWatch_.end()) return;
  Node* node = found->second;
  if (mask & kSelfGone) {
    Drop(node);
    return;
  }
  if (name == nullptr) return;
  const std::string entry = name;
  if (node->names) {
    if (mask & (IN_CREATE | IN_MOVED_TO)) node->names->Add(entry);
    if (mask & (IN_DELETE | IN_MOVED_FROM)) node->names->Remove(entry);
  }
  // Whatever happened to a kept sub-folder's name, it may no longer be the
  // folder that name leads to.
  const auto child = node->children.find(entry);
  if (child != node->children.end()) Drop(child->second.get());
}

// Forgets `node` and everything below it.
void WatchedFolders::Drop(Node* node) {
  Forget(node);
  if (node->parent == nullptr) {
    root_.reset();
  } else {
    node->parent->children.erase(node->name);
  }
}

void WatchedFolders::Forget(Node* node) {
  for (auto& [name, child] : node->children) Forget(child.get());
  if (node->watch >= 0) {
    inotify_rm_watch(inotify_.get(), node->watch);
    byWatch_.erase(node->watch);
  }
  byId_.erase(node->id);
}

WatchedFolders::Node* WatchedFolders::Root() {
  if (!root_) {
    UniqueFd dir(fcntl(fsFd_, F_DUPFD_CLOEXEC, 0));
    if (!dir.valid()) return nullptr;
    auto node = std::make_unique<Node>();
    node->watch = WatchDescriptor(inotify_.get(), dir.get());
    if (node->watch < 0) return nullptr;
    node->dir = std::make_shared<UniqueFd>(std::move(dir));
    node->id = nextId_++;
    node->host = fsRoot_.string();
    byWatch_[node->watch] = node.get();
    byId_[node->id] = node.get();
    root_ = std::move(node);
  }
  return root_.get();
}

// Keeps the folder `dir`, found as `name` in `parent`. The watch comes
// before anything is read from it, so no change can fall between.
WatchedFolders::Node* WatchedFolders::Adopt(Node* parent, const std::string& name, UniqueFd dir) {
  // A file system mounted below the top was not checked as the top was.
  struct stat info {};
  if (fstat(dir.get(), &info) != 0 || info.st_dev != device_) return nullptr;
  const int watch = WatchDescriptor(inotify_.get(), dir.get());
  // A folder watched already under another name (a bind mount) is not kept twice.
  if (watch < 0 || byWatch_.count(watch) != 0) return nullptr;
  if (byId_.size() >= kMaxFolders) EvictOne(parent);
  auto node = std::make_unique<Node>();
  node->dir = std::make_shared<UniqueFd>(std::move(dir));
  node->watch = watch;
  node->id = nextId_++;
  node->parent = parent;
  node->name = name;
  node->host = HostChild(parent->host, name);
  byWatch_[watch] = node.get();
  byId_[node->id] = node.get();
  Node* kept = node.get();
  parent->children[name] = std::move(node);
  return kept;
}

void WatchedFolders::EvictOne(const Node* keep) {
  Node* oldest = nullptr;
  for (const auto& [id, node] : byId_) {
    if (node != keep && node->parent != nullptr && node->children.empty() &&
        (oldest == nullptr || node->lastUse < oldest->lastUse)) {
      oldest = node;
    }
  }
  if (oldest != nullptr) Drop(oldest);
}

bool WatchedFolders::HaveNames(Node* node) {
  if (!node->names) {
    FolderNames names;
    if (!names.Scan(node->dir->get())) return false;
    node->names = std::move(names);
  }
  return true;
}

// The sub-folder of `node` that `component` names: a kept one by its exact
// name, else by the folder's names, opened and kept on first use.
WatchedFolders::Answer WatchedFolders::Child(Node* node, const std::u16string& component,
                                             Node** child) {
  std::string name = platform::ToUtf8(component);
  auto kept = node->children.find(name);
  if (kept == node->children.end() && node->names) {
    const auto match = node->names->Match(component);
    if (!match) return Answer::Missing;
    name = *match;
    kept = node->children.find(name);
  }
  if (kept != node->children.end()) {
    *child = kept->second.get();
    return Answer::Found;
  }
  UniqueFd dir(
      openat(node->dir->get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!dir.valid() && errno == ENOENT && !node->names) {
    if (!HaveNames(node)) return Answer::Unwatched;
    return Child(node, component, child);
  }
  if (!dir.valid()) return errno == ENOENT ? Answer::Missing : Answer::Unwatched;
  *child = Adopt(node, name, std::move(dir));
  return *child != nullptr ? Answer::Found : Answer::Unwatched;
}

WatchedFolders::Answer WatchedFolders::FindFolder(const std::vector<std::u16string>& parts,
                                                  std::size_t count, Folder* out) {
  if (!inotify_.valid()) return Answer::Unwatched;
  std::lock_guard lock(mutex_);
  if (batches_ == 0 || changedSinceRead_) {
    changedSinceRead_ = false;
    ReadEvents();
  }
  Node* node = Root();
  if (node == nullptr) return Answer::Unwatched;
  node->lastUse = ++uses_;
  std::vector<std::string> real;
  real.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    Node* child = nullptr;
    const Answer answer = Child(node, parts[i], &child);
    if (answer != Answer::Found) return answer;
    node = child;
    node->lastUse = ++uses_;
    real.push_back(node->name);
  }
  out->dir = node->dir;
  out->real = std::move(real);
  out->host = node->host;
  out->id = node->id;
  return Answer::Found;
}

void WatchedFolders::BeginBatch() {
  std::lock_guard lock(mutex_);
  ++batches_;
  changedSinceRead_ = true;
}

void WatchedFolders::EndBatch() {
  std::lock_guard lock(mutex_);
  if (batches_ > 0) --batches_;
}

void WatchedFolders::NoteOwnChange() {
  std::lock_guard lock(mutex_);
  changedSinceRead_ = true;
}

bool WatchedFolders::NoteOwnFile(uint64_t folder, const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto found = byId_.find(folder);
  if (batches_ == 0 || found == byId_.end() || !found->second->names) return false;
  found->second->names->Add(name);
  if (++ownFilesUnread_ >= kOwnFilesPerRead) changedSinceRead_ = true;
  return true;
}

WatchedFolders::Answer WatchedFolders::FindEntry(const Folder& folder,
                                                 const std::u16string& component, std::string* name,
                                                 struct stat* info) {
  std::lock_guard lock(mutex_);
  const auto found = byId_.find(folder.id);
  if (found == byId_.end()) return Answer::Unwatched;
  Node* node = found->second;
  const int dir = node->dir->get();
  if (!node->names) {
    *name = platform::ToUtf8(component);
    if (fstatat(dir, name->c_str(), info, AT_SYMLINK_NOFOLLOW) == 0) return Answer::Found;
    if (errno != ENOENT || !HaveNames(node)) return Answer::Unwatched;
  }
  const auto match = node->names->Match(component);
  if (!match) return Answer::Missing;
  *name = *match;
  if (fstatat(dir, name->c_str(), info, AT_SYMLINK_NOFOLLOW) == 0) return Answer::Found;
  // Gone since the last events were read: someone removed it just now.
  return errno == ENOENT ? Answer::Missing : Answer::Unwatched;
}

}  // namespace host
