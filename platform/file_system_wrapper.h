// Pass-through bases for the file services: every call goes to the wrapped
// object, so a wrapper (a fault to inject, a call to count or trace)
// overrides only the calls it changes. The wrapped object must outlive the
// wrapper.
#pragma once

#include <memory>
#include <utility>

#include "platform/file_system.h"

namespace platform {

class FileWrapper : public File {
 public:
  explicit FileWrapper(std::unique_ptr<File> target) : target_(std::move(target)) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    return target_->Read(buffer, count, got);
  }
  bool Write(const void* buffer, uint32_t count) override { return target_->Write(buffer, count); }
  bool Seek(int64_t offset, SeekOrigin origin, uint64_t* newPosition) override {
    return target_->Seek(offset, origin, newPosition);
  }
  bool GetSize(uint64_t* size) override { return target_->GetSize(size); }
  bool SetEnd() override { return target_->SetEnd(); }
  bool Flush() override { return target_->Flush(); }
  bool GetTimes(FileTime* creation, FileTime* access, FileTime* write) override {
    return target_->GetTimes(creation, access, write);
  }
  bool SetTimes(const FileTime* creation, const FileTime* access, const FileTime* write) override {
    return target_->SetTimes(creation, access, write);
  }
  bool DenyWriters() override { return target_->DenyWriters(); }
  bool GetIdentity(FileIdentity* identity) override { return target_->GetIdentity(identity); }
  void StartFlush() override { target_->StartFlush(); }
  // SetAttributes is not passed on: a wrapper sees attributes change by the
  // path, as they always may.
  // Nor is ReadAt: a wrapper that changes what Read hands out (a verified
  // file) would be passed by, and its callers fall back to Read.

 protected:
  File& target() { return *target_; }

 private:
  std::unique_ptr<File> target_;
};

class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}

  std::unique_ptr<File> Open(std::u16string_view path, uint32_t access,
                             Disposition disposition) override {
    return target_.Open(path, access, disposition);
  }
  uint32_t GetAttributes(std::u16string_view path) override { return target_.GetAttributes(path); }
  EntryKind GetEntryKind(std::u16string_view path) override { return target_.GetEntryKind(path); }
  bool SetAttributes(std::u16string_view path, uint32_t attributes) override {
    return target_.SetAttributes(path, attributes);
  }
  bool DeleteFile(std::u16string_view path) override { return target_.DeleteFile(path); }
  // DeleteFileAnyway and OpenFolder are not passed on: they go through the
  // calls by path, which a wrapper may change. ReaderForAnotherThread is not
  // either: the reader would read past the wrapper.
  bool CreateDirectory(std::u16string_view path) override { return target_.CreateDirectory(path); }
  bool RemoveDirectory(std::u16string_view path) override { return target_.RemoveDirectory(path); }
  bool MoveFile(std::u16string_view from, std::u16string_view to) override {
    return target_.MoveFile(from, to);
  }
  bool MoveFolder(std::u16string_view from, std::u16string_view to) override {
    return target_.MoveFolder(from, to);
  }
  bool Flush(std::u16string_view path) override { return target_.Flush(path); }
  bool FlushVolume(std::u16string_view path) override { return target_.FlushVolume(path); }
  bool CanCreate(std::u16string_view path) override { return target_.CanCreate(path); }
  std::vector<FindData> Find(std::u16string_view pattern) override { return target_.Find(pattern); }
  // A wrapper that changes what Find shows changes this too.
  std::vector<FindData> FindEntries(std::u16string_view pattern, FindDetail detail) override {
    return target_.FindEntries(pattern, detail);
  }
  SystemTime Now() override { return target_.Now(); }
  bool GetFreeBytes(std::u16string_view path, uint64_t* bytes) override {
    return target_.GetFreeBytes(path, bytes);
  }
  bool GetVolumeRoom(std::u16string_view path, VolumeRoom* room) override {
    return target_.GetVolumeRoom(path, room);
  }
  bool CanChangeFolder(std::u16string_view path) override { return target_.CanChangeFolder(path); }
  void BeginLookUpBatch() override { target_.BeginLookUpBatch(); }
  void EndLookUpBatch() override { target_.EndLookUpBatch(); }

 protected:
  FileSystem& target() { return target_; }

 private:
  FileSystem& target_;
};

}  // namespace platform
