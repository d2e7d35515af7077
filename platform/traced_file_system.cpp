#include "platform/traced_file_system.h"

#include <cinttypes>
#include <memory>
#include <utility>

#include "platform/text.h"
#include "platform/trace.h"

namespace platform {

std::string FailureReasons::Suffix() const {
  const std::string reason = last != nullptr ? last() : std::string();
  return reason.empty() ? reason : ": " + reason;
}

namespace {

bool StartTracing(const FailureReasons& reasons) {
  if (!TraceEnabled()) return false;
  if (reasons.forget != nullptr) reasons.forget();
  return true;
}

std::string ResultOf(bool ok, const FailureReasons& reasons) {
  return ok ? "ok" : "failed" + reasons.Suffix();
}

// A file by the device path it was opened with.
class TracedFile : public FileWrapper {
 public:
  TracedFile(std::unique_ptr<File> target, std::string name, FailureReasons reasons)
      : FileWrapper(std::move(target)), name_(std::move(name)), reasons_(reasons) {}
  ~TracedFile() override { Trace("CloseHandle(%s)", name_.c_str()); }

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().Read(buffer, count, got);
    if (tracing) {
      Trace("ReadFile(%s, %u) -> %s, %u bytes", name_.c_str(), count, Result(ok).c_str(),
            ok && got != nullptr ? *got : 0u);
    }
    return ok;
  }
  bool ReadAt(uint64_t offset, void* buffer, uint32_t count, uint32_t* got) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().ReadAt(offset, buffer, count, got);
    if (tracing) {
      Trace("ReadFile(%s, %u at %" PRIu64 ") -> %s, %u bytes", name_.c_str(), count, offset,
            Result(ok).c_str(), ok && got != nullptr ? *got : 0u);
    }
    return ok;
  }
  bool Write(const void* buffer, uint32_t count) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().Write(buffer, count);
    if (tracing) Trace("WriteFile(%s, %u) -> %s", name_.c_str(), count, Result(ok).c_str());
    return ok;
  }
  bool Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) override {
    const bool tracing = StartTracing(reasons_);
    uint64_t position = 0;
    const bool ok = target().Seek(offset, origin, &position);
    if (ok && newPosition != nullptr) *newPosition = position;
    if (tracing) {
      Trace("SetFilePointer(%s, %" PRId64 ", %d) -> %s, %" PRIu64, name_.c_str(), offset,
            static_cast<int>(origin), Result(ok).c_str(), ok ? position : 0);
    }
    return ok;
  }
  bool GetSize(uint64_t* size) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().GetSize(size);
    if (tracing) {
      Trace("GetFileSize(%s) -> %s, %" PRIu64, name_.c_str(), Result(ok).c_str(), ok ? *size : 0);
    }
    return ok;
  }
  bool SetEnd() override { return Call("SetEndOfFile", &File::SetEnd); }
  bool Flush() override { return Call("FlushFileBuffers", &File::Flush); }
  bool GetTimes(FileTime* creation, FileTime* access, FileTime* write) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().GetTimes(creation, access, write);
    if (tracing) {
      Trace("GetFileTime(%s) -> %s, write %" PRIu64, name_.c_str(), Result(ok).c_str(),
            ok && write != nullptr ? write->value : 0);
    }
    return ok;
  }
  bool SetTimes(const FileTime* creation, const FileTime* access, const FileTime* write) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().SetTimes(creation, access, write);
    if (tracing) {
      Trace("SetFileTime(%s, write %" PRIu64 ") -> %s", name_.c_str(),
            write != nullptr ? write->value : 0, Result(ok).c_str());
    }
    return ok;
  }
  bool DenyWriters() override { return Call("DenyWriters", &File::DenyWriters); }
  // Traced as the call by path it spares; when the file does not take it,
  // that call follows and is traced itself.
  bool SetAttributes(uint32_t attributes) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target().SetAttributes(attributes);
    if (tracing && ok) Trace("SetFileAttributes(%s, 0x%08X) -> ok", name_.c_str(), attributes);
    return ok;
  }

 private:
  std::string Result(bool ok) const { return ResultOf(ok, reasons_); }

  bool Call(const char* call, bool (File::*method)()) {
    const bool tracing = StartTracing(reasons_);
    const bool ok = (target().*method)();
    if (tracing) Trace("%s(%s) -> %s", call, name_.c_str(), Result(ok).c_str());
    return ok;
  }

  std::string name_;
  FailureReasons reasons_;
};

// A folder held open, traced as the calls by path it stands for.
class TracedFolder : public Folder {
 public:
  TracedFolder(std::unique_ptr<Folder> target, std::u16string path, FailureReasons reasons)
      : target_(std::move(target)), path_(std::move(path)), reasons_(reasons) {}

  std::vector<FindData> List(FindDetail detail) override {
    std::vector<FindData> found = target_->List(detail);
    if (TraceEnabled()) {
      Trace("FindFirstFile(%s\\*.*) -> %lu entries", ToUtf8(path_).c_str(),
            static_cast<unsigned long>(found.size()));
    }
    return found;
  }
  std::unique_ptr<Folder> OpenFolder(std::u16string_view name) override {
    std::unique_ptr<Folder> folder = target_->OpenFolder(name);
    if (folder == nullptr) return nullptr;
    return std::make_unique<TracedFolder>(std::move(folder), EntryOfFolder(path_, name), reasons_);
  }
  bool DeleteFileAnyway(std::u16string_view name) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target_->DeleteFileAnyway(name);
    if (tracing) {
      Trace("DeleteFile(%s, any attributes) -> %s", ToUtf8(EntryOfFolder(path_, name)).c_str(),
            ResultOf(ok, reasons_).c_str());
    }
    return ok;
  }
  bool RemoveFolder(std::u16string_view name) override {
    const bool tracing = StartTracing(reasons_);
    const bool ok = target_->RemoveFolder(name);
    if (tracing) {
      Trace("RemoveDirectory(%s) -> %s", ToUtf8(EntryOfFolder(path_, name)).c_str(),
            ResultOf(ok, reasons_).c_str());
    }
    return ok;
  }

 private:
  std::unique_ptr<Folder> target_;
  std::u16string path_;  // without a trailing backslash
  FailureReasons reasons_;
};

}  // namespace

bool TracedFileSystem::Tracing() const { return StartTracing(reasons_); }

std::string TracedFileSystem::Result(bool ok) const { return ResultOf(ok, reasons_); }

bool TracedFileSystem::PathCall(const char* call, bool (FileSystem::*method)(std::u16string_view),
                                std::u16string_view path, bool question) {
  const bool tracing = Tracing();
  const bool ok = (target().*method)(path);
  if (tracing) {
    Trace("%s(%s) -> %s", call, ToUtf8(path).c_str(),
          question ? (ok ? "yes" : "no") : Result(ok).c_str());
  }
  return ok;
}

std::unique_ptr<File> TracedFileSystem::Open(std::u16string_view path, uint32_t access,
                                             Disposition disposition) {
  const bool tracing = Tracing();
  auto file = target().Open(path, access, disposition);
  if (tracing) {
    Trace("CreateFile(%s, access %u, disposition %d) -> %s", ToUtf8(path).c_str(), access,
          static_cast<int>(disposition), Result(file != nullptr).c_str());
  }
  if (file == nullptr) return file;
  return std::make_unique<TracedFile>(std::move(file), ToUtf8(path), reasons_);
}

uint32_t TracedFileSystem::GetAttributes(std::u16string_view path) {
  const bool tracing = Tracing();
  const uint32_t attributes = target().GetAttributes(path);
  if (tracing) {
    Trace("GetFileAttributes(%s) -> 0x%08X%s", ToUtf8(path).c_str(), attributes,
          attributes == kInvalidAttributes ? reasons_.Suffix().c_str() : "");
  }
  return attributes;
}

bool TracedFileSystem::SetAttributes(std::u16string_view path, uint32_t attributes) {
  const bool tracing = Tracing();
  const bool ok = target().SetAttributes(path, attributes);
  if (tracing) {
    Trace("SetFileAttributes(%s, 0x%08X) -> %s", ToUtf8(path).c_str(), attributes,
          Result(ok).c_str());
  }
  return ok;
}

bool TracedFileSystem::DeleteFile(std::u16string_view path) {
  return PathCall("DeleteFile", &FileSystem::DeleteFile, path, false);
}

// The host's own way, traced as one call.
bool TracedFileSystem::DeleteFileAnyway(std::u16string_view path) {
  const bool tracing = Tracing();
  const bool ok = target().DeleteFileAnyway(path);
  if (tracing)
    Trace("DeleteFile(%s, any attributes) -> %s", ToUtf8(path).c_str(), Result(ok).c_str());
  return ok;
}

bool TracedFileSystem::CreateDirectory(std::u16string_view path) {
  return PathCall("CreateDirectory", &FileSystem::CreateDirectory, path, false);
}

std::unique_ptr<Folder> TracedFileSystem::OpenFolder(std::u16string_view path) {
  std::unique_ptr<Folder> folder = target().OpenFolder(path);
  if (folder == nullptr) return nullptr;
  return std::make_unique<TracedFolder>(std::move(folder), HeldFolderPath(path), reasons_);
}

bool TracedFileSystem::RemoveDirectory(std::u16string_view path) {
  return PathCall("RemoveDirectory", &FileSystem::RemoveDirectory, path, false);
}

bool TracedFileSystem::MoveFile(std::u16string_view from, std::u16string_view to) {
  const bool tracing = Tracing();
  const bool ok = target().MoveFile(from, to);
  if (tracing) {
    Trace("MoveFile(%s, %s) -> %s", ToUtf8(from).c_str(), ToUtf8(to).c_str(), Result(ok).c_str());
  }
  return ok;
}

bool TracedFileSystem::MoveFolder(std::u16string_view from, std::u16string_view to) {
  const bool tracing = Tracing();
  const bool ok = target().MoveFolder(from, to);
  if (tracing) {
    Trace("MoveFile(%s, %s) -> %s (a folder)", ToUtf8(from).c_str(), ToUtf8(to).c_str(),
          Result(ok).c_str());
  }
  return ok;
}

bool TracedFileSystem::Flush(std::u16string_view path) {
  return PathCall("FlushFileBuffers", &FileSystem::Flush, path, false);
}

bool TracedFileSystem::FlushVolume(std::u16string_view path) {
  return PathCall("FlushVolume", &FileSystem::FlushVolume, path, false);
}

bool TracedFileSystem::CanCreate(std::u16string_view path) {
  return PathCall("CanCreate", &FileSystem::CanCreate, path, true);
}

std::vector<FindData> TracedFileSystem::Find(std::u16string_view pattern) {
  return Found(pattern, target().Find(pattern));
}

std::vector<FindData> TracedFileSystem::FindEntries(std::u16string_view pattern,
                                                    FindDetail detail) {
  return Found(pattern, target().FindEntries(pattern, detail));
}

std::vector<FindData> TracedFileSystem::Found(std::u16string_view pattern,
                                              std::vector<FindData> found) const {
  if (TraceEnabled()) {
    Trace("FindFirstFile(%s) -> %lu entries", ToUtf8(pattern).c_str(),
          static_cast<unsigned long>(found.size()));
  }
  return found;
}

SystemTime TracedFileSystem::Now() {
  const SystemTime time = target().Now();
  Trace("GetSystemTime() -> %04u-%02u-%02u %02u:%02u:%02u", time.year, time.month, time.day,
        time.hour, time.minute, time.second);
  return time;
}

bool TracedFileSystem::GetFreeBytes(std::u16string_view path, uint64_t* bytes) {
  const bool tracing = Tracing();
  const bool ok = target().GetFreeBytes(path, bytes);
  if (tracing) {
    Trace("GetDiskFreeSpaceEx(%s) -> %s, %" PRIu64 " bytes", ToUtf8(path).c_str(),
          Result(ok).c_str(), ok ? *bytes : 0);
  }
  return ok;
}

bool TracedFileSystem::GetVolumeRoom(std::u16string_view path, VolumeRoom* room) {
  const bool tracing = Tracing();
  const bool ok = target().GetVolumeRoom(path, room);
  if (tracing) {
    Trace("GetVolumeRoom(%s) -> %s, free %" PRIu64 ", over %" PRIu64 ", blocks of %" PRIu64,
          ToUtf8(path).c_str(), Result(ok).c_str(), room->free, room->overdrawn, room->blockSize);
  }
  return ok;
}

bool TracedFileSystem::CanChangeFolder(std::u16string_view path) {
  return PathCall("CanChangeFolder", &FileSystem::CanChangeFolder, path, true);
}

namespace {

// Holds the reader it traces: a base, so that it is there before the
// tracing base takes it.
struct HeldReader {
  std::unique_ptr<FileSystem> reader;
};

class TracedReader : private HeldReader, public TracedFileSystem {
 public:
  TracedReader(std::unique_ptr<FileSystem> reader, FailureReasons reasons)
      : HeldReader{std::move(reader)}, TracedFileSystem(*HeldReader::reader, reasons) {}
};

}  // namespace

std::unique_ptr<FileSystem> TracedFileSystem::ReaderForAnotherThread() {
  auto reader = target().ReaderForAnotherThread();
  if (reader == nullptr) return nullptr;
  return std::make_unique<TracedReader>(std::move(reader), reasons_);
}

}  // namespace platform
