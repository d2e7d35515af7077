// CZipStream over a file of the device's file system. It never raises. A
// file opened without write access reads ahead in blocks: the many small
// reads of headers then cost one host read per block instead of one each.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/file_system.h"
#include "zipreader/zip_stream.h"

class CZipDiskFile : public CZipStream {
 public:
  CZipDiskFile() = default;
  CZipDiskFile(const std::u16string& path, uint32_t openFlags);
  ~CZipDiskFile() override;

  // With raiseOnFailure set a failed open still returns true and keeps the
  // path, so that later errors name the file that could not be opened.
  bool Open(const std::u16string& path, uint32_t openFlags, bool raiseOnFailure) override;
  void Close() override;
  bool Flush() override;
  uint32_t GetPosition() override;
  // From the beginning the offset counts as unsigned, so the whole 32-bit
  // range is reachable.
  uint32_t Seek(int32_t offset, int origin) override;
  uint32_t GetLength() override;
  bool SetLength(uint32_t length) override;
  std::u16string GetFilePath() override;
  uint32_t Read(void* buffer, uint32_t count) override;
  bool Write(const void* buffer, uint32_t count) override;
  bool IsClosed() override;
  bool DenyWriters() override;

  // The open file itself, or null.
  platform::File* Handle() const { return handle_.get(); }

  static constexpr uint32_t kReadAheadSize = 65536;
  // Reads shorter than `size` are served from a block of that size read
  // ahead; before the first read only.
  void SetReadAheadSize(uint32_t size) { aheadSize_ = size; }

 private:
  uint32_t TakeBuffered(uint8_t* out, uint32_t count);
  bool SeekWithin(uint64_t target);
  uint64_t LogicalPosition() const { return hostPosition_ - (aheadEnd_ - aheadNext_); }
  uint32_t HostSeek(int64_t distance, platform::SeekOrigin from);

  std::unique_ptr<platform::File> handle_;
  std::u16string path_;
  bool readAhead_ = false;
  std::unique_ptr<uint8_t[]> ahead_;
  uint32_t aheadSize_ = kReadAheadSize;
  uint32_t aheadNext_ = 0;     // next unread byte in ahead_
  uint32_t aheadEnd_ = 0;      // bytes held in ahead_
  uint64_t hostPosition_ = 0;  // the host file's position: just past ahead_'s bytes
};
