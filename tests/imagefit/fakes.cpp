#include "tests/imagefit/fakes.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

namespace imagefit_test {

// ---- in-memory files ----

class MemoryFile : public platform::File {
 public:
  MemoryFile(std::shared_ptr<Bytes> data, MemoryFileSystem& owner)
      : data_(std::move(data)), owner_(owner) {}
  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    owner_.largestRead = std::max<uint64_t>(owner_.largestRead, count);
    const uint64_t left = position_ < data_->size() ? data_->size() - position_ : 0;
    *got = uint32_t(std::min<uint64_t>(count, left));
    if (*got > 0) std::memcpy(buffer, data_->data() + position_, *got);
    position_ += *got;
    return true;
  }
  bool Write(const void* buffer, uint32_t count) override {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    if (data_->size() < position_ + count) data_->resize(position_ + count);
    std::memcpy(data_->data() + position_, bytes, count);
    position_ += count;
    return true;
  }
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override {
    int64_t base = origin == platform::SeekOrigin::Begin     ? 0
                   : origin == platform::SeekOrigin::Current ? int64_t(position_)
                                                             : int64_t(data_->size());
    if (base + offset < 0) return false;
    position_ = uint64_t(base + offset);
    if (newPosition != nullptr) *newPosition = position_;
    return true;
  }
  bool GetSize(uint64_t* size) override {
    *size = data_->size();
    return true;
  }
  bool SetEnd() override {
    data_->resize(position_);
    return true;
  }
  bool Flush() override { return true; }
  bool GetTimes(platform::FileTime*, platform::FileTime*, platform::FileTime*) override {
    return false;
  }
  bool SetTimes(const platform::FileTime*, const platform::FileTime*,
                const platform::FileTime*) override {
    return false;
  }

 private:
  std::shared_ptr<Bytes> data_;
  MemoryFileSystem& owner_;
  uint64_t position_ = 0;
};

void MemoryFileSystem::Put(const std::u16string& path, Bytes content) {
  files_[platform::ToLower(path)] = std::make_shared<Bytes>(std::move(content));
}

void MemoryFileSystem::Put(const std::u16string& path, const std::string& text) {
  Put(path, Bytes(text.begin(), text.end()));
}

std::unique_ptr<platform::File> MemoryFileSystem::Open(std::u16string_view path, uint32_t,
                                                       platform::Disposition disposition) {
  const std::u16string key = platform::ToLower(path);
  auto it = files_.find(key);
  if (it == files_.end()) {
    if (disposition == platform::Disposition::OpenExisting) return nullptr;
    it = files_.emplace(key, std::make_shared<Bytes>()).first;
  }
  return std::make_unique<MemoryFile>(it->second, *this);
}

uint32_t MemoryFileSystem::GetAttributes(std::u16string_view path) {
  const std::u16string key = platform::ToLower(path);
  if (files_.count(key)) return platform::FILE_ATTRIBUTE_ARCHIVE;
  for (const auto& [name, data] : files_) {
    if (name.size() > key.size() && name.compare(0, key.size(), key) == 0 &&
        name[key.size()] == u'\\')
      return platform::FILE_ATTRIBUTE_DIRECTORY;
  }
  return platform::kInvalidAttributes;
}

bool MemoryFileSystem::DeleteFile(std::u16string_view path) {
  return files_.erase(platform::ToLower(path)) > 0;
}

// Only "<folder>\*<suffix>" patterns, which is all the updater asks for.
std::vector<platform::FindData> MemoryFileSystem::Find(std::u16string_view pattern) {
  const std::u16string lower = platform::ToLower(pattern);
  const std::size_t star = lower.rfind(u'*');
  const std::u16string folder = lower.substr(0, lower.rfind(u'\\') + 1);
  const std::u16string suffix = lower.substr(star + 1);
  std::vector<platform::FindData> found;
  for (const auto& [name, data] : files_) {
    if (name.compare(0, folder.size(), folder) != 0) continue;
    const std::u16string rest = name.substr(folder.size());
    if (rest.find(u'\\') != std::u16string::npos || rest.size() < suffix.size()) continue;
    if (rest.compare(rest.size() - suffix.size(), suffix.size(), suffix) != 0) continue;
    found.push_back({rest, platform::FILE_ATTRIBUTE_ARCHIVE, data->size(), {}});
  }
  return found;
}

// ---- registry ----

void MemoryRegistry::PutString(const std::u16string& key, const std::u16string& name,
                               const std::u16string& value) {
  platform::RegistryValue entry;
  entry.type = platform::REG_SZ;
  for (char16_t unit : value + u'\0') {
    entry.data.push_back(uint8_t(unit));
    entry.data.push_back(uint8_t(unit >> 8));
  }
  values_[platform::ToLower(key + u"\n" + name)] = entry;
}

bool MemoryRegistry::KeyExists(std::u16string_view key) {
  const std::u16string prefix = platform::ToLower(std::u16string(key) + u"\n");
  return std::any_of(values_.begin(), values_.end(), [&](const auto& entry) {
    return entry.first.compare(0, prefix.size(), prefix) == 0;
  });
}

std::optional<platform::RegistryValue> MemoryRegistry::QueryValue(std::u16string_view key,
                                                                  std::u16string_view name) {
  auto it = values_.find(platform::ToLower(std::u16string(key) + u"\n" + std::u16string(name)));
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

// ---- drivers ----

namespace {

class ScriptedHandle : public platform::DriverHandle {
 public:
  ScriptedHandle(ScriptedDrivers& owner, std::string device)
      : owner_(owner), device_(std::move(device)) {}
  ~ScriptedHandle() override { ++owner_.closed; }
  bool IoControl(uint32_t code, const void* input, uint32_t inputLength, void* output,
                 uint32_t outputLength) override {
    const auto* bytes = static_cast<const uint8_t*>(input);
    owner_.calls.push_back({device_, code, bytes ? Bytes(bytes, bytes + inputLength) : Bytes()});
    if (owner_.failAlways.count(code)) return false;
    if (auto once = owner_.failOnce.find(code); once != owner_.failOnce.end()) {
      owner_.failOnce.erase(once);
      return false;
    }
    if (output != nullptr && outputLength >= 4) {
      auto* out = static_cast<uint8_t*>(output);
      for (int i = 0; i < 4; ++i) out[i] = uint8_t(owner_.boardRevision >> (8 * i));
    }
    return true;
  }

 private:
  ScriptedDrivers& owner_;
  std::string device_;
};

}  // namespace

std::unique_ptr<platform::DriverHandle> ScriptedDrivers::Open(std::u16string_view name) {
  std::string device = platform::ToUtf8(name);
  if (!device.empty() && device.back() == ':') device.pop_back();
  if (absent.count(device)) return nullptr;
  ++opened;
  return std::make_unique<ScriptedHandle>(*this, device);
}

std::vector<uint32_t> ScriptedDrivers::CodesSent(const std::string& device) const {
  std::vector<uint32_t> codes;
  for (const DriverCall& call : calls)
    if (call.device == device) codes.push_back(call.code);
  return codes;
}

// ---- kernel ----

uint32_t ScriptedKernel::GetSystemPowerStatusEx2(platform::PowerStatusRecord* record,
                                                 uint32_t length, bool) {
  calls.push_back("GetSystemPowerStatusEx2");
  ++powerChecks;
  record->bytes[0] = acLine.empty() ? 1 : acLine.front();
  if (acLine.size() > 1) acLine.pop_front();
  return length;
}

std::optional<bool> ScriptedKernel::GetSystemMemoryDivision(platform::MemoryDivision* out) {
  if (!coreDll) return std::nullopt;
  calls.push_back("GetSystemMemoryDivision");
  if (getDivisionWorks) *out = division;
  return getDivisionWorks;
}

std::optional<uint32_t> ScriptedKernel::SetSystemMemoryDivision(uint32_t storePages) {
  if (!coreDll) return std::nullopt;
  calls.push_back("SetSystemMemoryDivision");
  setPages.push_back(storePages);
  return setResult;
}

std::optional<bool> ScriptedKernel::KernelIoControl(uint32_t, const void*, uint32_t, void*,
                                                    uint32_t) {
  if (!coreDll) return std::nullopt;
  calls.push_back("KernelIoControl");
  return true;
}

// ---- dialog ----

void RecordingDialog::SetItemText(int id, std::u16string_view text) {
  texts[id] = text;
  if (id == 1005) statusHistory.emplace_back(text);
}

void RecordingDialog::SetProgressRange(int, uint16_t low, uint16_t high) {
  ranges.emplace_back(low, high);
}

void RecordingDialog::SetProgressPos(int, int position) { positions.push_back(position); }

int RecordingDialog::MessageBox(std::u16string_view text, std::u16string_view caption,
                                uint32_t style) {
  boxes.push_back({std::u16string(text), std::u16string(caption), style});
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  if ((style & 0xF) == platform::MB_OK) return platform::IDOK;
  return (style & platform::MB_DEFBUTTON2) ? platform::IDNO : platform::IDYES;
}

bool RecordingDialog::PumpOneMessage() {
  ++pumps;
  if (onPump) onPump();
  return false;
}

platform::Environment FakeDevice::MakeEnvironment() {
  platform::Environment env;
  env.files = &files;
  env.registry = &registry;
  env.drivers = &drivers;
  env.kernel = &kernel;
  env.system = &system;
  return env;
}

}  // namespace imagefit_test
