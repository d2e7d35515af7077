#include "tests/support/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace test_support {

class MemoryFile : public platform::File {
 public:
  MemoryFile(MemoryFileSystem* owner, MemoryNode* node, uint32_t access)
      : owner_(owner), node_(node), access_(access) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    owner_->largestRead = std::max<uint64_t>(owner_->largestRead, count);
    if (!(access_ & platform::AccessRead)) return false;
    const std::string& bytes = *node_->bytes;
    if (position_ < bytes.size()) {
      *got = static_cast<uint32_t>(std::min<uint64_t>(count, bytes.size() - position_));
      std::memcpy(buffer, bytes.data() + position_, *got);
      position_ += *got;
    }
    return true;
  }
  // Reads from several threads at once, as a host file does, while nothing
  // writes the file.
  bool ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    if (!(access_ & platform::AccessRead)) return false;
    const std::string& bytes = *node_->bytes;
    if (offset < bytes.size()) {
      *got = static_cast<uint32_t>(std::min<uint64_t>(count, bytes.size() - offset));
      std::memcpy(buffer, bytes.data() + offset, *got);
    }
    return true;
  }
  bool Write(const void* buffer, uint32_t count) override {
    if (!(access_ & platform::AccessWrite)) return false;
    std::string& bytes = *node_->bytes;
    if (owner_->maxFileBytes != 0 && position_ + count > owner_->maxFileBytes) return false;
    if (bytes.size() < position_ + count) bytes.resize(position_ + count);
    std::memcpy(bytes.data() + position_, buffer, count);
    position_ += count;
    return true;
  }
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override {
    int64_t base = origin == platform::SeekOrigin::Begin ? 0
                   : origin == platform::SeekOrigin::Current
                       ? static_cast<int64_t>(position_)
                       : static_cast<int64_t>(node_->bytes->size());
    if (base + offset < 0) return false;
    position_ = static_cast<uint64_t>(base + offset);
    if (newPosition != nullptr) *newPosition = position_;
    return true;
  }
  bool GetSize(uint64_t* size) override {
    *size = node_->bytes->size();
    return true;
  }
  bool SetEnd() override {
    node_->bytes->resize(position_);
    return true;
  }
  bool Flush() override {
    owner_->flushes.push_back("FlushFile " + platform::ToUtf8(node_->name));
    return true;
  }
  bool GetTimes(platform::FileTime* c, platform::FileTime* a, platform::FileTime* w) override {
    if (c) *c = node_->creation;
    if (a) *a = node_->access;
    if (w) *w = node_->write;
    return true;
  }
  bool SetTimes(const platform::FileTime* c, const platform::FileTime* a,
                const platform::FileTime* w) override {
    if (owner_->failSetTimes) return false;
    if (c) node_->creation = *c;
    if (a) node_->access = *a;
    if (w) node_->write = *w;
    return true;
  }

 private:
  MemoryFileSystem* owner_;
  MemoryNode* node_;
  uint32_t access_;
  uint64_t position_ = 0;
};

bool MemoryFileSystem::Key(std::u16string_view path, std::string* key) {
  key->clear();
  std::u16string component;
  auto flush = [&]() {
    if (component.empty()) return true;
    if (component == u"." || component == u"..") return false;
    if (!key->empty()) *key += '\\';
    *key += platform::ToUtf8(platform::ToLower(component));
    component.clear();
    return true;
  };
  for (char16_t unit : path) {
    if (unit == u'\\' || unit == u'/') {
      if (!flush()) return false;
    } else {
      component += unit;
    }
  }
  return flush();
}

std::string MemoryFileSystem::Parent(const std::string& key) {
  size_t slash = key.rfind('\\');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

namespace {

std::u16string LastComponent(std::u16string_view path) {
  while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.remove_suffix(1);
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::unique_ptr<platform::File> MemoryFileSystem::Open(std::u16string_view path, uint32_t access,
                                                       platform::Disposition disposition) {
  std::string key;
  if (!Key(path, &key) || key.empty() || failOpen.count(key)) return nullptr;
  auto found = nodes_.find(key);
  bool exists = found != nodes_.end();
  if (exists && found->second.directory) return nullptr;
  if (exists && (access & platform::AccessWrite) &&
      (found->second.attributes & platform::FILE_ATTRIBUTE_READONLY)) {
    return nullptr;
  }
  using D = platform::Disposition;
  if (!exists) {
    if (disposition == D::OpenExisting) return nullptr;
    std::string parent = Parent(key);
    if (!parent.empty() && (!nodes_.count(parent) || !nodes_[parent].directory)) return nullptr;
    MemoryNode node;
    node.name = LastComponent(path);
    found = nodes_.emplace(key, node).first;
  } else if (disposition == D::CreateNew) {
    return nullptr;
  } else if (disposition == D::CreateAlways) {
    found->second.bytes->clear();
  }
  return std::make_unique<MemoryFile>(this, &found->second, access);
}

uint32_t MemoryFileSystem::GetAttributes(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key)) return platform::kInvalidAttributes;
  if (key.empty()) return platform::FILE_ATTRIBUTE_DIRECTORY;
  auto found = nodes_.find(key);
  return found == nodes_.end() ? platform::kInvalidAttributes : found->second.attributes;
}

bool MemoryFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  calls.push_back("SetAttributes " + platform::ToUtf8(path) + " " + std::to_string(attributes));
  std::string key;
  if (failSetAttributes || !Key(path, &key)) return false;
  auto found = nodes_.find(key);
  if (found == nodes_.end()) return false;
  uint32_t kind = found->second.directory ? platform::FILE_ATTRIBUTE_DIRECTORY : 0;
  found->second.attributes = (attributes & 0x27) | kind;
  return true;
}

bool MemoryFileSystem::DeleteFile(std::u16string_view path) {
  calls.push_back("DeleteFile " + platform::ToUtf8(path));
  std::string key;
  if (!Key(path, &key)) return false;
  auto found = nodes_.find(key);
  if (found == nodes_.end() || found->second.directory) return false;
  nodes_.erase(found);
  return true;
}

bool MemoryFileSystem::CreateDirectory(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key) || key.empty() || nodes_.count(key)) return false;
  std::string parent = Parent(key);
  if (!parent.empty() && (!nodes_.count(parent) || !nodes_[parent].directory)) return false;
  MemoryNode node;
  node.name = LastComponent(path);
  node.directory = true;
  node.attributes = platform::FILE_ATTRIBUTE_DIRECTORY;
  nodes_.emplace(key, node);
  createdDirectories.push_back(key);
  return true;
}

// Only an empty folder goes, as on the device.
bool MemoryFileSystem::RemoveDirectory(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key)) return false;
  const auto found = nodes_.find(key);
  if (found == nodes_.end() || !found->second.directory) return false;
  // A name such as "<key>.txt" may sort between the folder and what it holds.
  const auto inside = nodes_.lower_bound(key + '\\');
  if (inside != nodes_.end() && inside->first.starts_with(key + '\\')) return false;
  nodes_.erase(found);
  return true;
}

// The node keeps its address (open files point at it) under its new key.
bool MemoryFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  std::string source, target;
  if (!Key(from, &source) || !Key(to, &target) || source.empty() || target.empty()) return false;
  const auto found = nodes_.find(source);
  if (found == nodes_.end() || found->second.directory) return false;
  if (source == target) return true;
  const auto replaced = nodes_.find(target);
  if (replaced != nodes_.end() && replaced->second.directory) return false;
  const std::string parent = Parent(target);
  if (!parent.empty() && (!nodes_.count(parent) || !nodes_[parent].directory)) return false;
  if (replaced != nodes_.end()) nodes_.erase(replaced);
  auto node = nodes_.extract(source);
  node.key() = target;
  node.mapped().name = LastComponent(to);
  nodes_.insert(std::move(node));
  return true;
}

bool MemoryFileSystem::MoveFolder(std::u16string_view from, std::u16string_view to) {
  std::string source, target;
  if (!Key(from, &source) || !Key(to, &target) || source.empty() || target.empty()) return false;
  const auto found = nodes_.find(source);
  if (found == nodes_.end() || !found->second.directory || nodes_.count(target) ||
      target.starts_with(source + '\\')) {
    return false;
  }
  const std::string parent = Parent(target);
  if (!parent.empty() && (!nodes_.count(parent) || !nodes_[parent].directory)) return false;
  // What lies inside follows "<source>\" in key order; a name such as
  // "<source>.txt" may come between.
  std::vector<std::string> moving{source};
  for (auto it = nodes_.lower_bound(source + '\\');
       it != nodes_.end() && it->first.starts_with(source + '\\'); ++it) {
    moving.push_back(it->first);
  }
  for (const std::string& key : moving) {
    auto node = nodes_.extract(key);
    node.key() = target + key.substr(source.size());
    nodes_.insert(std::move(node));
  }
  nodes_.at(target).name = LastComponent(to);
  return true;
}

bool MemoryFileSystem::Flush(std::u16string_view path) {
  flushes.push_back("Flush " + platform::ToUtf8(path));
  return GetAttributes(path) != platform::kInvalidAttributes;
}

bool MemoryFileSystem::FlushVolume(std::u16string_view path) {
  flushes.push_back("FlushVolume " + platform::ToUtf8(path));
  return true;
}

std::vector<platform::FindData> MemoryFileSystem::Find(std::u16string_view pattern) {
  const size_t slash = pattern.find_last_of(u"\\/");
  const std::u16string_view folderPath =
      slash == std::u16string_view::npos ? std::u16string_view() : pattern.substr(0, slash);
  std::u16string suffix =
      platform::ToLower(pattern.substr(slash == std::u16string_view::npos ? 0 : slash + 1));
  if (suffix.empty() || suffix[0] != u'*') return {};
  suffix.erase(0, 1);
  if (suffix == u".*") suffix.clear();
  std::string folder;
  if (!Key(folderPath, &folder)) return {};
  std::vector<platform::FindData> found;
  for (const auto& [key, node] : nodes_) {
    if (Parent(key) != folder || (folder.empty() && key.find('\\') != std::string::npos)) continue;
    const std::u16string name = platform::ToLower(node.name);
    if (name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    found.push_back({node.name, node.attributes, node.bytes->size(), node.write});
  }
  return found;
}

MemoryNode& MemoryFileSystem::PutNode(std::u16string_view path) {
  std::string key;
  Key(path, &key);
  std::u16string parentPath(path);
  for (std::string parent = Parent(key); !parent.empty(); parent = Parent(parent)) {
    parentPath = parentPath.substr(0, parentPath.find_last_of(u"\\/"));
    MemoryNode& folder = nodes_[parent];
    if (folder.name.empty()) folder.name = LastComponent(parentPath);
    folder.directory = true;
    folder.attributes = platform::FILE_ATTRIBUTE_DIRECTORY;
  }
  MemoryNode node;
  node.name = LastComponent(path);
  return nodes_[key] = node;
}

void MemoryFileSystem::Put(const std::string& path, const std::string& bytes) {
  Put(platform::FromUtf8(path), bytes);
}

void MemoryFileSystem::Put(const std::u16string& path, const std::string& bytes) {
  *PutNode(path).bytes = bytes;
}

void MemoryFileSystem::Put(const std::u16string& path, const std::vector<uint8_t>& bytes) {
  Put(path, std::string(bytes.begin(), bytes.end()));
}

void MemoryFileSystem::PutWithAttributes(const std::u16string& path, uint32_t attributes) {
  MemoryNode& node = PutNode(path);
  node.directory = (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
  node.attributes = attributes;
}

const MemoryNode* MemoryFileSystem::Node(const std::string& path) const {
  std::string key;
  if (!Key(platform::FromUtf8(path), &key)) return nullptr;
  auto found = nodes_.find(key);
  return found == nodes_.end() ? nullptr : &found->second;
}

bool MemoryFileSystem::Has(const std::string& path) const { return Node(path) != nullptr; }

std::string MemoryFileSystem::Get(const std::string& path) const {
  const MemoryNode* node = Node(path);
  return node != nullptr ? *node->bytes : std::string();
}

size_t MemoryFileSystem::FileCount() const {
  return std::count_if(nodes_.begin(), nodes_.end(),
                       [](const auto& entry) { return !entry.second.directory; });
}

std::vector<std::string> MemoryFileSystem::Keys() const {
  std::vector<std::string> keys;
  for (const auto& entry : nodes_) keys.push_back(entry.first);
  return keys;
}

bool Latin1CodePage::WideToAnsi(std::u16string_view text, std::string* bytes) {
  bytes->clear();
  for (char16_t unit : text) {
    if (unit > 0xFF) return false;
    bytes->push_back(static_cast<char>(unit));
  }
  return true;
}

bool Latin1CodePage::AnsiToWide(std::string_view bytes, std::u16string* text) {
  text->clear();
  for (char byte : bytes) text->push_back(static_cast<unsigned char>(byte));
  return true;
}

// Without a limit the fake has room for anything; with one, each file may
// grow to maxFileBytes, so that much is free.
bool MemoryFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  if (GetAttributes(path) == platform::kInvalidAttributes) return false;
  *bytes = maxFileBytes != 0 ? maxFileBytes : UINT64_MAX;
  return true;
}

}  // namespace test_support
