// Folders looked up before, kept open and watched with inotify, so that a
// look-up through them needs neither a walk from the top nor a folder scan.
// Every change to a watched folder's names, by anyone, is queued by the
// kernel before the call that made it returns; the queue is read before
// each look-up (within a batch, only after this process's own changes;
// a file it creates joins the names at once), and what a change touches
// is updated or dropped. Only
// folders reached from the file system's top without a link are kept.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/linux/folder_names.h"
#include "host/linux/unique_fd.h"

namespace host {

// The host path of `name` in the folder at `folder`. Host paths of look-ups
// are kept as text: a std::filesystem::path would split itself into its
// components at every copy, and every look-up copies one.
inline std::string HostChild(const std::string& folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());
  path.append(folder).append(1, '/').append(name);
  return path;
}

class WatchedFolders {
 public:
  enum class Answer {
    Found,
    Missing,    // a component (or the entry) names nothing
    Unwatched,  // not answered here: a link, a file, a failure or no inotify
  };

  struct Folder {
    std::shared_ptr<UniqueFd> dir;  // O_PATH
    std::vector<std::string> real;  // the host names from the file system's top
    std::string host;
    uint64_t id = 0;  // to find its names again in Entry
  };

  // `fsRoot` is the file system's top, `fsFd` a descriptor of it.
  WatchedFolders(std::filesystem::path fsRoot, int fsFd);
  ~WatchedFolders();
  WatchedFolders(const WatchedFolders&) = delete;
  WatchedFolders& operator=(const WatchedFolders&) = delete;

  // False when the host gives no inotify, or the file system may change
  // without it seeing: then nothing is kept.
  bool Usable() const { return inotify_.valid(); }
  // The file system takes any name of bytes but "/" and NUL up to NAME_MAX.
  bool PosixNames() const { return posixNames_; }
  // The folder named by the first `count` device components.
  Answer FindFolder(const std::vector<std::u16string>& parts, std::size_t count, Folder* out);
  // Within a batch the queue is read only at the first look-up after this
  // process changed a name, or after the batch began (see
  // platform::FileSystem::BeginLookUpBatch); outside one, before every look-up.
  void BeginBatch();
  void EndBatch();
  // This process has changed a name (created, renamed or removed an entry).
  void NoteOwnChange();
  // This process created the file `name` in the kept folder `folder` (an id
  // from FindFolder), where the name was missing. Within a batch the folder
  // learns it at once; the queue, which holds its creation too, is read
  // with the next other change, or after kOwnFilesPerRead of these, so that
  // it never fills. False when it could not be learned so (outside a batch,
  // or the folder is no longer kept): then it is an own change like others.
  bool NoteOwnFile(uint64_t folder, const std::string& name);
  // The entry `component` of a folder FindFolder gave: its host name and own
  // status (a link not followed).
  Answer FindEntry(const Folder& folder, const std::u16string& component, std::string* name,
                   struct stat* info);

 private:
  struct Node {
    std::shared_ptr<UniqueFd> dir;
    int watch = -1;
    uint64_t id = 0;
    Node* parent = nullptr;
    std::string name;  // in the parent
    std::string host;
    std::map<std::string, std::unique_ptr<Node>> children;
    std::optional<FolderNames> names;  // read on the first miss
    uint64_t lastUse = 0;
  };

  void ReadEvents();
  void OnEvent(int watch, uint32_t mask, const char* name);
  void Drop(Node* node);
  void Forget(Node* node);
  Node* Root();
  Answer Child(Node* node, const std::u16string& component, Node** child);
  Node* Adopt(Node* parent, const std::string& name, UniqueFd dir);
  // Drops the least recently used folder without kept sub-folders, other than `keep`.
  void EvictOne(const Node* keep);
  bool HaveNames(Node* node);

  std::filesystem::path fsRoot_;
  int fsFd_;
  dev_t device_ = 0;  // the file system's; folders on another are not kept
  bool posixNames_ = false;
  UniqueFd inotify_;
  std::mutex mutex_;
  std::unique_ptr<Node> root_;
  std::unordered_map<int, Node*> byWatch_;
  std::unordered_map<uint64_t, Node*> byId_;
  uint64_t nextId_ = 1;
  uint64_t uses_ = 0;
  int batches_ = 0;
  bool changedSinceRead_ = true;
  int ownFilesUnread_ = 0;
};

}  // namespace host
