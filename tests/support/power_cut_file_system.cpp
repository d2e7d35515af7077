#include "tests/support/power_cut_file_system.h"

#include <utility>

namespace test_support {

// An open file of the power-cut file system: its writes count, and its
// flush puts its data on the medium.
class PowerCutFile : public platform::FileWrapper {
 public:
  PowerCutFile(std::unique_ptr<platform::File> file, PowerCutFileSystem& owner,
               const MemoryNode& node)
      : FileWrapper(std::move(file)), owner_(owner), node_(node) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    return !owner_.cut_ && FileWrapper::Read(buffer, count, got);
  }
  bool Write(const void* buffer, uint32_t count) override {
    return owner_.Change() && FileWrapper::Write(buffer, count);
  }
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override {
    return !owner_.cut_ && FileWrapper::Seek(offset, origin, newPosition);
  }
  bool GetSize(uint64_t* size) override { return !owner_.cut_ && FileWrapper::GetSize(size); }
  bool SetEnd() override { return owner_.Change() && FileWrapper::SetEnd(); }
  bool Flush() override {
    if (!owner_.Change() || !FileWrapper::Flush()) return false;
    owner_.StoreData(node_);
    return true;
  }
  bool GetTimes(platform::FileTime* c, platform::FileTime* a, platform::FileTime* w) override {
    return !owner_.cut_ && FileWrapper::GetTimes(c, a, w);
  }
  bool SetTimes(const platform::FileTime* c, const platform::FileTime* a,
                const platform::FileTime* w) override {
    return owner_.Change() && FileWrapper::SetTimes(c, a, w);
  }

 private:
  PowerCutFileSystem& owner_;
  const MemoryNode& node_;  // stays where it is while the file is open
};

PowerCutFileSystem::PowerCutFileSystem(MemoryFileSystem& memory)
    : FileSystemWrapper(memory), memory_(memory) {
  StoreEverything();
}

bool PowerCutFileSystem::Change() {
  if (cut_) return false;
  ++changes;
  if (cutAt != 0 && changes >= cutAt) cut_ = true;
  return !cut_;
}

void PowerCutFileSystem::StoreData(const MemoryNode& node) {
  StoredData& stored = data_[node.bytes.get()];
  stored.identity = node.bytes;
  stored.bytes = *node.bytes;
  stored.attributes = node.attributes;
  stored.creation = node.creation;
  stored.access = node.access;
  stored.write = node.write;
}

namespace {

std::string LastKeyComponent(const std::string& key) {
  const std::size_t slash = key.rfind('\\');
  return slash == std::string::npos ? key : key.substr(slash + 1);
}

uintptr_t Identity(const std::shared_ptr<std::string>& data) {
  return reinterpret_cast<uintptr_t>(data.get());
}

}  // namespace

uintptr_t PowerCutFileSystem::ParentIdentity(const std::string& key) {
  const std::string parent = MemoryFileSystem::Parent(key);
  return parent.empty() ? 0 : Identity(memory_.Nodes().at(parent).bytes);
}

void PowerCutFileSystem::StoreFolder(const std::string& folder) {
  const uintptr_t identity = folder.empty() ? 0 : Identity(memory_.Nodes().at(folder).bytes);
  for (auto it = entries_.begin(); it != entries_.end();) {
    it = it->first.first == identity ? entries_.erase(it) : std::next(it);
  }
  for (const auto& [key, node] : memory_.Nodes()) {
    if (MemoryFileSystem::Parent(key) != folder) continue;
    entries_[{identity, LastKeyComponent(key)}] =
        StoredEntry{node.name, node.directory, node.attributes, node.bytes};
  }
}

void PowerCutFileSystem::StoreEverything() {
  entries_.clear();
  data_.clear();
  for (const auto& [key, node] : memory_.Nodes()) {
    entries_[{ParentIdentity(key), LastKeyComponent(key)}] =
        StoredEntry{node.name, node.directory, node.attributes, node.bytes};
    if (!node.directory) StoreData(node);
  }
}

// A folder renamed where only one of its two parents reached the medium is
// in both places or in neither; `above` keeps a folder from holding itself.
void PowerCutFileSystem::Rebuild(uintptr_t folder, const std::string& key,
                                 std::set<uintptr_t>& above,
                                 std::map<std::string, MemoryNode>& nodes) const {
  for (auto it = entries_.lower_bound({folder, std::string()});
       it != entries_.end() && it->first.first == folder; ++it) {
    const StoredEntry& entry = it->second;
    const std::string path = key.empty() ? it->first.second : key + '\\' + it->first.second;
    MemoryNode node;
    node.name = entry.name;
    node.directory = entry.directory;
    node.attributes = entry.attributes;
    // A folder stays the same folder; a file comes back as a new one.
    if (entry.directory) node.bytes = entry.data;
    const auto stored = data_.find(entry.data.get());
    if (!entry.directory && stored != data_.end()) {
      *node.bytes = stored->second.bytes;
      node.attributes = stored->second.attributes;
      node.creation = stored->second.creation;
      node.access = stored->second.access;
      node.write = stored->second.write;
    }
    nodes.emplace(path, std::move(node));
    if (entry.directory && above.insert(Identity(entry.data)).second) {
      Rebuild(Identity(entry.data), path, above, nodes);
      above.erase(Identity(entry.data));
    }
  }
}

// Whatever lies in a folder that did not reach the medium is gone with it.
void PowerCutFileSystem::Restart(bool afterKill) {
  if (afterKill) StoreEverything();
  std::map<std::string, MemoryNode> nodes;
  std::set<uintptr_t> above;
  Rebuild(0, std::string(), above, nodes);
  memory_.Nodes() = std::move(nodes);
  cut_ = false;
  cutAt = 0;
  changes = 0;
  StoreEverything();
}

std::unique_ptr<platform::File> PowerCutFileSystem::Open(std::u16string_view path, uint32_t access,
                                                         platform::Disposition disposition) {
  const bool changing =
      (access & platform::AccessWrite) != 0 || disposition != platform::Disposition::OpenExisting;
  if (changing ? !Change() : cut_) return nullptr;
  auto file = FileSystemWrapper::Open(path, access, disposition);
  std::string key;
  if (file == nullptr || !MemoryFileSystem::Key(path, &key)) return file;
  return std::make_unique<PowerCutFile>(std::move(file), *this, memory_.Nodes().at(key));
}

uint32_t PowerCutFileSystem::GetAttributes(std::u16string_view path) {
  return cut_ ? platform::kInvalidAttributes : FileSystemWrapper::GetAttributes(path);
}

bool PowerCutFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  return Change() && FileSystemWrapper::SetAttributes(path, attributes);
}

bool PowerCutFileSystem::DeleteFile(std::u16string_view path) {
  return Change() && FileSystemWrapper::DeleteFile(path);
}

bool PowerCutFileSystem::CreateDirectory(std::u16string_view path) {
  return Change() && FileSystemWrapper::CreateDirectory(path);
}

bool PowerCutFileSystem::RemoveDirectory(std::u16string_view path) {
  return Change() && FileSystemWrapper::RemoveDirectory(path);
}

bool PowerCutFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  return Change() && FileSystemWrapper::MoveFile(from, to);
}

// A folder's flush keeps its entries; a file's keeps its data.
bool PowerCutFileSystem::Flush(std::u16string_view path) {
  std::string key;
  if (!Change() || !FileSystemWrapper::Flush(path) || !MemoryFileSystem::Key(path, &key)) {
    return false;
  }
  const auto found = memory_.Nodes().find(key);
  if (key.empty() || (found != memory_.Nodes().end() && found->second.directory)) {
    StoreFolder(key);
  } else if (found != memory_.Nodes().end()) {
    StoreData(found->second);
  }
  return true;
}

bool PowerCutFileSystem::FlushVolume(std::u16string_view path) {
  if (!volumeFlush || !Change() || !FileSystemWrapper::FlushVolume(path)) return false;
  StoreEverything();
  return true;
}

// Trying a name makes and removes a folder: both count.
bool PowerCutFileSystem::CanCreate(std::u16string_view path) { return FileSystem::CanCreate(path); }

std::vector<platform::FindData> PowerCutFileSystem::Find(std::u16string_view pattern) {
  return cut_ ? std::vector<platform::FindData>{} : FileSystemWrapper::Find(pattern);
}

bool PowerCutFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  return !cut_ && FileSystemWrapper::GetFreeBytes(path, bytes);
}

}  // namespace test_support
