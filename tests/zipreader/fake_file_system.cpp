#include "tests/zipreader/fake_file_system.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace zip_test {

class FakeFile : public platform::File {
 public:
  FakeFile(FakeFileSystem* owner, FakeNode* node, uint32_t access)
      : owner_(owner), node_(node), access_(access) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    if (!(access_ & platform::AccessRead)) return false;
    const std::string& bytes = *node_->bytes;
    if (position_ < bytes.size()) {
      *got = static_cast<uint32_t>(std::min<uint64_t>(count, bytes.size() - position_));
      std::memcpy(buffer, bytes.data() + position_, *got);
      position_ += *got;
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
    int64_t base = origin == platform::SeekOrigin::Begin     ? 0
                   : origin == platform::SeekOrigin::Current ? static_cast<int64_t>(position_)
                                                             : static_cast<int64_t>(node_->bytes->size());
    if (base + offset < 0) return false;
    position_ = static_cast<uint64_t>(base + offset);
    *newPosition = position_;
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
  bool Flush() override { return true; }
  bool GetTimes(platform::FileTime* c, platform::FileTime* a, platform::FileTime* w) override {
    *c = node_->creation;
    *a = node_->access;
    *w = node_->write;
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
  FakeFileSystem* owner_;
  FakeNode* node_;
  uint32_t access_;
  uint64_t position_ = 0;
};

bool FakeFileSystem::Key(std::u16string_view path, std::string* key) {
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

std::string FakeFileSystem::Parent(const std::string& key) {
  size_t slash = key.rfind('\\');
  return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::unique_ptr<platform::File> FakeFileSystem::Open(std::u16string_view path, uint32_t access,
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
    found = nodes_.emplace(key, FakeNode{}).first;
  } else if (disposition == D::CreateNew) {
    return nullptr;
  } else if (disposition == D::CreateAlways) {
    found->second.bytes->clear();
  }
  return std::make_unique<FakeFile>(this, &found->second, access);
}

uint32_t FakeFileSystem::GetAttributes(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key)) return platform::kInvalidAttributes;
  if (key.empty()) return platform::FILE_ATTRIBUTE_DIRECTORY;
  auto found = nodes_.find(key);
  return found == nodes_.end() ? platform::kInvalidAttributes : found->second.attributes;
}

bool FakeFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  std::string key;
  if (failSetAttributes || !Key(path, &key)) return false;
  auto found = nodes_.find(key);
  if (found == nodes_.end()) return false;
  uint32_t kind = found->second.directory ? platform::FILE_ATTRIBUTE_DIRECTORY : 0;
  found->second.attributes = (attributes & 0x27) | kind;
  return true;
}

bool FakeFileSystem::DeleteFile(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key)) return false;
  auto found = nodes_.find(key);
  if (found == nodes_.end() || found->second.directory) return false;
  nodes_.erase(found);
  return true;
}

bool FakeFileSystem::CreateDirectory(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key) || key.empty() || nodes_.count(key)) return false;
  std::string parent = Parent(key);
  if (!parent.empty() && (!nodes_.count(parent) || !nodes_[parent].directory)) return false;
  FakeNode node;
  node.directory = true;
  node.attributes = platform::FILE_ATTRIBUTE_DIRECTORY;
  nodes_.emplace(key, node);
  createdDirectories.push_back(key);
  return true;
}

bool FakeFileSystem::RemoveDirectory(std::u16string_view path) {
  std::string key;
  if (!Key(path, &key)) return false;
  return nodes_.erase(key) == 1;
}

std::vector<platform::FindData> FakeFileSystem::Find(std::u16string_view) { return {}; }

void FakeFileSystem::Put(const std::string& path, const std::string& bytes) {
  std::string key;
  Key(platform::FromUtf8(path), &key);
  for (std::string parent = Parent(key); !parent.empty(); parent = Parent(parent)) {
    nodes_[parent].directory = true;
    nodes_[parent].attributes = platform::FILE_ATTRIBUTE_DIRECTORY;
  }
  FakeNode node;
  *node.bytes = bytes;
  nodes_[key] = node;
}

const FakeNode* FakeFileSystem::Node(const std::string& path) const {
  std::string key;
  if (!Key(platform::FromUtf8(path), &key)) return nullptr;
  auto found = nodes_.find(key);
  return found == nodes_.end() ? nullptr : &found->second;
}

bool FakeFileSystem::Has(const std::string& path) const { return Node(path) != nullptr; }

std::string FakeFileSystem::Get(const std::string& path) const {
  const FakeNode* node = Node(path);
  return node != nullptr ? *node->bytes : std::string();
}

size_t FakeFileSystem::FileCount() const {
  return std::count_if(nodes_.begin(), nodes_.end(),
                       [](const auto& entry) { return !entry.second.directory; });
}

std::vector<std::string> FakeFileSystem::Keys() const {
  std::vector<std::string> keys;
  for (const auto& entry : nodes_) keys.push_back(entry.first);
  return keys;
}

bool FakeCodePage::WideToAnsi(std::u16string_view text, std::string* bytes) {
  bytes->clear();
  for (char16_t unit : text) {
    if (unit > 0xFF) return false;
    bytes->push_back(static_cast<char>(unit));
  }
  return true;
}

bool FakeCodePage::AnsiToWide(std::string_view bytes, std::u16string* text) {
  text->clear();
  for (char byte : bytes) text->push_back(static_cast<unsigned char>(byte));
  return true;
}

// Without a limit the fake has room for anything; with one, each file may
// grow to maxFileBytes, so that much is free.
bool FakeFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  if (GetAttributes(path) == platform::kInvalidAttributes) return false;
  *bytes = maxFileBytes != 0 ? maxFileBytes : UINT64_MAX;
  return true;
}

FakeDevice::FakeDevice() {
  platform::Environment env;
  env.files = &files;
  env.codePage = &codePage;
  scope_ = std::make_unique<platform::ScopedEnvironment>(env);
}

}  // namespace zip_test
