#include "zipreader/zip_disk_file.h"

#include <algorithm>
#include <cstring>

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
    case 0:
      return 3;
    case FileDenyRead:
      return 2;
    case FileDenyWrite:
      return 1;
    default:
      return 0;
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
  handle_ =
      ZipHost::OpenFile(path, AccessOf(openFlags), DispositionOf(openFlags), ShareOf(openFlags));
  readAhead_ = (openFlags & FileWrite) == 0;
  aheadNext_ = aheadEnd_ = 0;
  hostPosition_ = 0;
  if (handle_ == nullptr && !raiseOnFailure) return false;
  path_ = path;
  return true;
}

void CZipDiskFile::Close() {
  handle_.reset();
  aheadNext_ = aheadEnd_ = 0;
}

bool CZipDiskFile::Flush() { return handle_ != nullptr && ZipHost::FlushFile(*handle_); }

uint32_t CZipDiskFile::GetPosition() { return Seek(0, SeekCurrent); }

uint32_t CZipDiskFile::HostSeek(int64_t distance, platform::SeekOrigin from) {
  uint64_t position = 0;
  if (!handle_->Seek(distance, from, &position)) return kZipBadPosition;
  hostPosition_ = position;
  return ToPosition(position);
}

// A target among the bytes read ahead moves only within them.
bool CZipDiskFile::SeekWithin(uint64_t target) {
  const uint64_t start = hostPosition_ - aheadEnd_;
  if (aheadEnd_ == 0 || target < start || target > hostPosition_) return false;
  aheadNext_ = static_cast<uint32_t>(target - start);
  return true;
}

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
  if (!readAhead_ || aheadEnd_ == 0) return HostSeek(distance, from);
  const uint64_t logical = LogicalPosition();
  if (from == platform::SeekOrigin::Current) {
    const int64_t target = static_cast<int64_t>(logical) + distance;
    if (target < 0) return kZipBadPosition;
    from = platform::SeekOrigin::Begin;
    distance = target;
  }
  if (from == platform::SeekOrigin::Begin && SeekWithin(static_cast<uint64_t>(distance))) {
    return ToPosition(static_cast<uint64_t>(distance));
  }
  // Leaving the bytes read ahead: the host file takes the position over, and
  // keeps the logical one when the seek fails.
  aheadNext_ = aheadEnd_ = 0;
  const uint32_t result = HostSeek(distance, from);
  if (result == kZipBadPosition) {
    HostSeek(static_cast<int64_t>(logical), platform::SeekOrigin::Begin);
  }
  return result;
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

uint32_t CZipDiskFile::TakeBuffered(uint8_t* out, uint32_t count) {
  const uint32_t taken = std::min(count, aheadEnd_ - aheadNext_);
  if (taken > 0) std::memcpy(out, ahead_.get() + aheadNext_, taken);
  aheadNext_ += taken;
  return taken;
}

uint32_t CZipDiskFile::Read(void* buffer, uint32_t count) {
  uint32_t got = 0;
  if (handle_ == nullptr || count == 0) return 0;
  if (!readAhead_) return handle_->Read(buffer, count, &got) ? got : 0;
  auto* out = static_cast<uint8_t*>(buffer);
  const uint32_t taken = TakeBuffered(out, count);
  if (taken == count) return taken;
  // Large reads go straight to the caller's buffer.
  aheadNext_ = aheadEnd_ = 0;
  if (count - taken >= aheadSize_) {
    if (!handle_->Read(out + taken, count - taken, &got)) return taken;
    hostPosition_ += got;
    return taken + got;
  }
  if (ahead_ == nullptr) ahead_ = std::make_unique<uint8_t[]>(aheadSize_);
  if (!handle_->Read(ahead_.get(), aheadSize_, &got)) return taken;
  hostPosition_ += got;
  aheadNext_ = 0;
  aheadEnd_ = got;
  return taken + TakeBuffered(out + taken, count - taken);
}

bool CZipDiskFile::Write(const void* buffer, uint32_t count) {
  return handle_ != nullptr && handle_->Write(buffer, count);
}

bool CZipDiskFile::IsClosed() { return handle_ == nullptr; }

bool CZipDiskFile::DenyWriters() { return handle_ != nullptr && handle_->DenyWriters(); }
