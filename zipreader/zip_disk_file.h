// CZipStream over a file of the device's file system. It never raises.
#pragma once

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

 private:
  std::unique_ptr<platform::File> handle_;
  std::u16string path_;
};
