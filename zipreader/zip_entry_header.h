// One entry of the archive: its central header fields, the lengths taken from
// its local header, and its name, extra field and comment as stored.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file_system.h"
#include "zipreader/zip_byte_buffer.h"

class CZipVolumeStore;

class CZipEntryHeader {
 public:
  CZipEntryHeader() = default;
  CZipEntryHeader(const CZipEntryHeader&) = default;
  CZipEntryHeader& operator=(const CZipEntryHeader&) = default;
  ~CZipEntryHeader() = default;

  bool ReadCentral(CZipVolumeStore& store);
  bool ReadLocal(CZipVolumeStore& store);
  bool CheckDescriptor(const uint8_t* bytes) const;

  std::u16string GetEntryName() const;
  bool IsDirectory() const;
  uint32_t GetSystemAttr() const;
  platform::FileTime GetTime() const;
  void ConvertName(bool toHost, bool oemConvert);
  static uint32_t ConvertAttr(uint32_t attributes, int fromCode, int toCode);
  static bool EndsWithSeparator(const std::u16string& text);

  int HostCode() const { return versionMadeBy >> 8; }
  bool IsEncrypted() const { return (flags & 0x0001) != 0; }
  bool HasDescriptor() const { return (flags & 0x0008) != 0; }
  bool HasUtf8Name() const { return (flags & 0x0800) != 0; }
  // Bytes of the central header as stored: fixed part, name, extra, comment.
  uint64_t CentralSize() const { return 46ull + name.Size() + extraField.Size() + comment.Size(); }

  uint8_t signature[4] = {0, 0, 0, 0};
  uint16_t versionMadeBy = 0;
  uint16_t versionNeeded = 0;
  uint16_t flags = 0;
  uint16_t method = 8;
  uint16_t modTime = 0;
  uint16_t modDate = 0;
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint16_t diskStart = 0;
  uint16_t internalAttr = 0;
  uint32_t externalAttr = 0;
  uint16_t localNameLength = 0;
  uint16_t localExtraLength = 0;
  uint32_t localHeaderOffset = 0;
  CZipByteBuffer extraField;
  CZipByteBuffer name;
  CZipByteBuffer comment;
};
