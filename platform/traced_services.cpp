#include "platform/traced_services.h"

#include "platform/text.h"
#include "platform/trace.h"

namespace platform {
namespace {

void Forget(const FailureReasons& reasons) {
  if (TraceEnabled() && reasons.forget != nullptr) reasons.forget();
}

std::string OrNone(const std::optional<std::u16string>& text) {
  return text ? ToUtf8(*text) : "none";
}

class TracedCodePage : public CodePage {
 public:
  TracedCodePage(std::unique_ptr<CodePage> target, std::string name)
      : target_(std::move(target)), name_(std::move(name)) {}

  bool WideToAnsi(std::u16string_view text, std::string* bytes) override {
    const bool ok = target_->WideToAnsi(text, bytes);
    if (!TraceEnabled()) return ok;
    Trace("WideCharToMultiByte(%s, \"%s\") -> %s, %lu bytes", name_.c_str(), ToUtf8(text).c_str(),
          ok ? "ok" : "failed",
          static_cast<unsigned long>(ok && bytes != nullptr ? bytes->size() : 0));
    return ok;
  }
  bool AnsiToWide(std::string_view bytes, std::u16string* text) override {
    const bool ok = target_->AnsiToWide(bytes, text);
    if (!TraceEnabled()) return ok;
    Trace("MultiByteToWideChar(%s, %lu bytes) -> %s, \"%s\"", name_.c_str(),
          static_cast<unsigned long>(bytes.size()), ok ? "ok" : "failed",
          ok && text != nullptr ? ToUtf8(*text).c_str() : "");
    return ok;
  }
  bool KeepsAscii() const override { return target_->KeepsAscii(); }

 private:
  std::unique_ptr<CodePage> target_;
  std::string name_;
};

const char* Describe(MutexResult result) {
  switch (result) {
    case MutexResult::Created:
      return "created";
    case MutexResult::AlreadyExists:
      return "already exists";
    case MutexResult::Failed:
      return "failed";
  }
  return "?";
}

class TracedSystem : public SystemServices {
 public:
  TracedSystem(std::unique_ptr<SystemServices> target, FailureReasons reasons)
      : target_(std::move(target)), reasons_(reasons) {}

  MutexResult CreateNamedMutex(std::u16string_view name) override {
    Forget(reasons_);
    const MutexResult result = target_->CreateNamedMutex(name);
    Trace("CreateMutex(\"%s\") -> %s%s", ToUtf8(name).c_str(), Describe(result),
          result == MutexResult::Failed ? reasons_.Suffix().c_str() : "");
    return result;
  }
  MutexResult LockDeviceUpdate(std::u16string_view program, std::u16string* holder) override {
    Forget(reasons_);
    const MutexResult result = target_->LockDeviceUpdate(program, holder);
    Trace("LockDeviceUpdate(\"%s\") -> %s%s%s", ToUtf8(program).c_str(), Describe(result),
          holder->empty() ? "" : (", held by " + ToUtf8(*holder)).c_str(),
          result == MutexResult::Failed ? reasons_.Suffix().c_str() : "");
    return result;
  }
  std::optional<std::u16string> ModuleFileName() override {
    auto path = target_->ModuleFileName();
    Trace("GetModuleFileName() -> %s", OrNone(path).c_str());
    return path;
  }

 private:
  std::unique_ptr<SystemServices> target_;
  FailureReasons reasons_;
};

class TracedProcesses : public ProcessTable {
 public:
  TracedProcesses(std::unique_ptr<ProcessTable> target, FailureReasons reasons)
      : target_(std::move(target)), reasons_(reasons) {}

  std::optional<std::vector<ProcessEntry>> Snapshot() override {
    Forget(reasons_);
    auto list = target_->Snapshot();
    if (list) {
      Trace("CreateToolhelp32Snapshot -> %lu processes on the device",
            static_cast<unsigned long>(list->size()));
    } else {
      Trace("CreateToolhelp32Snapshot -> failed%s", reasons_.Suffix().c_str());
    }
    return list;
  }
  std::optional<std::u16string> ProgramPath(uint32_t id) override {
    auto path = target_->ProgramPath(id);
    Trace("GetModuleFileName(%u) -> %s", id, OrNone(path).c_str());
    return path;
  }
  bool Terminate(uint32_t id, uint32_t exitCode) override {
    Forget(reasons_);
    const bool ended = target_->Terminate(id, exitCode);
    Trace("TerminateProcess(%u, %u) -> %s", id, exitCode,
          ended ? "ok" : ("failed" + reasons_.Suffix()).c_str());
    return ended;
  }

 private:
  std::unique_ptr<ProcessTable> target_;
  FailureReasons reasons_;
};

class TracedRegistry : public Registry {
 public:
  explicit TracedRegistry(std::unique_ptr<Registry> target) : target_(std::move(target)) {}

  bool KeyExists(std::u16string_view key) override {
    const bool exists = target_->KeyExists(key);
    Trace("RegOpenKeyEx(HKLM\\%s) -> %s", ToUtf8(key).c_str(), exists ? "ok" : "missing");
    return exists;
  }
  std::optional<RegistryValue> QueryValue(std::u16string_view key,
                                          std::u16string_view name) override {
    auto value = target_->QueryValue(key, name);
    const std::string found = value ? "type " + std::to_string(value->type) + ", " +
                                          std::to_string(value->data.size()) + " bytes"
                                    : "missing";
    Trace("RegQueryValueEx(HKLM\\%s, \"%s\") -> %s", ToUtf8(key).c_str(), ToUtf8(name).c_str(),
          found.c_str());
    return value;
  }

 private:
  std::unique_ptr<Registry> target_;
};

class TracedVersions : public VersionResources {
 public:
  explicit TracedVersions(std::unique_ptr<VersionResources> target) : target_(std::move(target)) {}

  std::optional<std::vector<uint8_t>> ReadVersionBlock(std::u16string_view path) override {
    auto block = target_->ReadVersionBlock(path);
    const std::string found = block ? std::to_string(block->size()) + " bytes" : "none";
    Trace("ReadVersionBlock(%s) -> %s", ToUtf8(path).c_str(), found.c_str());
    return block;
  }

 private:
  std::unique_ptr<VersionResources> target_;
};

}  // namespace

std::unique_ptr<CodePage> TraceCodePage(std::unique_ptr<CodePage> target, std::string name) {
  if (target == nullptr) return target;
  return std::make_unique<TracedCodePage>(std::move(target), std::move(name));
}

std::unique_ptr<SystemServices> TraceSystem(std::unique_ptr<SystemServices> target,
                                            FailureReasons reasons) {
  if (target == nullptr) return target;
  return std::make_unique<TracedSystem>(std::move(target), reasons);
}

std::unique_ptr<ProcessTable> TraceProcesses(std::unique_ptr<ProcessTable> target,
                                             FailureReasons reasons) {
  if (target == nullptr) return target;
  return std::make_unique<TracedProcesses>(std::move(target), reasons);
}

std::unique_ptr<Registry> TraceRegistry(std::unique_ptr<Registry> target) {
  if (target == nullptr) return target;
  return std::make_unique<TracedRegistry>(std::move(target));
}

std::unique_ptr<VersionResources> TraceVersions(std::unique_ptr<VersionResources> target) {
  if (target == nullptr) return target;
  return std::make_unique<TracedVersions>(std::move(target));
}

}  // namespace platform
