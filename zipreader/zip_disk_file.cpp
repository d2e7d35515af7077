#include "zipreader/zip_disk_file.h"

#include "zipreader/zip_host.h"

namespace {

uint32_t AccessOf(uint32_t openFlags) {
  uint32_t access = 0;
  if (openFlags & FileRead) access |= platform::AccessRead;
  if (openFlags & FileWrite) access |= platform::AccessWrite;
  return access;
}

platform::Disposition DispositionOf(uint32_t openFlags) {
  if (!(openFlags & FileCreate)) return platform::Disposition::OpenExisting;
  return (openFlags & FileKeep) ? platform::Disposition::OpenAlways
                                : platform::Disposition::CreateAlways;
}

// The platform's share mode: 3 share read and write, 2 share write, 1 share
// read, 0 no sharing.
uint32_t ShareOf(uint32_t openFlags) {
  switch (openFlags & 0x1C) {
    case 0: return 3;
    case FileDenyRead: return 2;
    case FileDenyWrite: return 1;
    default: return 0;
  }
}

uint32_t ToPosition(uint64_t position) {
  return position >= kZipBadPosition ? kZipBadPosition : static_cast<uint32_t>(position);
}

}  // namespace

CZipDiskFile::CZipDiskFile(const std::u16string& path, uint32_t openFlags) {
  Open(path, openFlags, true);
}

CZipDiskFile::~CZipDiskFile() { Close(); }

bool CZipDiskFile::Open(const std::u16string& path, uint32_t openFlags, bool raiseOnFailure) {
  if (!IsClosed()) Close();
  handle_ = ZipHost::OpenFile(path, AccessOf(openFlags), DispositionOf(openFlags),
                              ShareOf(openFlags));
  if (handle_ == nullptr && !raiseOnFailure) return false;
  path_ = path;
  return true;
}

void CZipDiskFile::Close() { handle_.reset(); }

bool CZipDiskFile::Flush() { return handle_ != nullptr && ZipHost::FlushFile(*handle_); }

uint32_t CZipDiskFile::GetPosition() { return Seek(0, SeekCurrent); }

uint32_t CZipDiskFile::Seek(int32_t offset, int origin) {
  if (handle_ == nullptr) return kZipBadPosition;
  int64_t distance = offset;
  platform::SeekOrigin from = platform::SeekOrigin::Begin;
  if (origin == SeekBegin) {
    distance = static_cast<uint32_t>(offset);
  } else if (origin == SeekCurrent) {
    from = platform::SeekOrigin::Current;
  } else if (origin == SeekEnd) {
    from = platform::SeekOrigin::End;
  } else {
    return kZipBadPosition;
  }
  uint64_t position = 0;
  if (!handle_->Seek(distance, from, &position)) return kZipBadPosition;
  return ToPosition(position);
}

uint32_t CZipDiskFile::GetLength() {
  uint64_t size = 0;
  if (handle_ == nullptr || !handle_->GetSize(&size)) return kZipBadPosition;
  return ToPosition(size);
}

bool CZipDiskFile::SetLength(uint32_t length) {
  return handle_ != nullptr && ZipHost::TruncateFile(*handle_, length);
}

std::u16string CZipDiskFile::GetFilePath() { return path_; }

uint32_t CZipDiskFile::Read(void* buffer, uint32_t count) {
  uint32_t got = 0;
  if (handle_ == nullptr || count == 0 || !handle_->Read(buffer, count, &got)) return 0;
  return got;
}

bool CZipDiskFile::Write(const void* buffer, uint32_t count) {
  return handle_ != nullptr && handle_->Write(buffer, count);
}

bool CZipDiskFile::IsClosed() { return handle_ == nullptr; }

bool CZipDiskFile::DenyWriters() { return handle_ != nullptr && handle_->DenyWriters(); }
