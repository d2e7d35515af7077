// The reader's file interface. Offsets are 32-bit: archives and volumes stay
// below 4 GiB. Failures show only in the results (all ones, 0 or false).
#pragma once

#include <cstdint>
#include <string>

enum ZipSeekOrigin : int { SeekBegin = 0, SeekCurrent = 1, SeekEnd = 2 };

enum ZipOpenFlags : uint32_t {
  FileRead = 0x01,
  FileWrite = 0x02,
  FileDenyRead = 0x04,
  FileDenyWrite = 0x08,
  FileExclusive = 0x10,
  FileCreate = 0x20,
  FileKeep = 0x40,
};

inline constexpr uint32_t kZipBadPosition = 0xFFFFFFFF;

class CZipStream {
 public:
  virtual bool Open(const std::u16string& path, uint32_t openFlags, bool raiseOnFailure);
  virtual void Close() = 0;
  virtual bool Flush() = 0;
  virtual uint32_t GetPosition() = 0;
  virtual uint32_t Seek(int32_t offset, int origin) = 0;
  virtual uint32_t GetLength() = 0;
  virtual bool SetLength(uint32_t length) = 0;
  virtual uint32_t SeekToBegin();
  virtual uint32_t SeekToEnd();
  virtual std::u16string GetFilePath() = 0;
  virtual uint32_t Read(void* buffer, uint32_t count) = 0;
  virtual bool Write(const void* buffer, uint32_t count) = 0;
  virtual bool IsClosed() = 0;
  // Keeps others from changing the file while it is open; false when that
  // cannot be promised.
  virtual bool DenyWriters() { return false; }
  virtual ~CZipStream() = default;
};
