#include "zipreader/zip_entry_header.h"

#include <cstring>

#include "zipreader/zip_host.h"
#include "zipreader/zip_little_endian.h"
#include "zipreader/zip_volume_store.h"

namespace {

constexpr uint32_t kCentralSize = 46;
constexpr uint32_t kLocalSize = 30;

void ReadPart(CZipVolumeStore& store, CZipByteBuffer& buffer, uint16_t length) {
  if (length == 0) {
    buffer.Release();
    return;
  }
  store.ReadBytes(buffer.Allocate(length, false), length, true);
}

}  // namespace

bool CZipEntryHeader::ReadCentral(CZipVolumeStore& store) {
  uint8_t record[kCentralSize];
  store.ReadBytes(record, kCentralSize, true);
  std::memcpy(signature, record, 4);
  versionMadeBy = LoadLe16(record + 4);
  versionNeeded = LoadLe16(record + 6);
  flags = LoadLe16(record + 8);
  method = LoadLe16(record + 10);
  modTime = LoadLe16(record + 12);
  modDate = LoadLe16(record + 14);
  crc32 = LoadLe32(record + 16);
  compressedSize = LoadLe32(record + 20);
  uncompressedSize = LoadLe32(record + 24);
  diskStart = LoadLe16(record + 34);
  internalAttr = LoadLe16(record + 36);
  externalAttr = LoadLe32(record + 38);
  localHeaderOffset = LoadLe32(record + 42);
  if (!HasSignature(record, 0x01, 0x02)) return false;
  int volume = store.CurrentVolume();
  ReadPart(store, name, LoadLe16(record + 28));
  ReadPart(store, extraField, LoadLe16(record + 30));
  ReadPart(store, comment, LoadLe16(record + 32));
  return store.CurrentVolume() == volume;
}

bool CZipEntryHeader::ReadLocal(CZipVolumeStore& store) {
  uint8_t record[kLocalSize];
  store.ReadBytes(record, kLocalSize, true);
  if (!HasSignature(record, 0x03, 0x04)) return false;
  uint16_t localFlags = LoadLe16(record + 6);
  bool hasDescriptor = (localFlags & 0x0008) != 0;
  if ((localFlags & 0x000F) != (flags & 0x000F)) flags = localFlags;
  if (LoadLe16(record + 8) != method || (method != 0 && method != 8)) return false;
  localNameLength = LoadLe16(record + 26);
  if (!hasDescriptor && !CheckDescriptor(record + 14)) return false;
  localExtraLength = LoadLe16(record + 28);
  store.File()->Seek(localNameLength, SeekCurrent);
  return true;
}

bool CZipEntryHeader::CheckDescriptor(const uint8_t* bytes) const {
  return LoadLe32(bytes) == crc32 && LoadLe32(bytes + 4) == compressedSize &&
         LoadLe32(bytes + 8) == uncompressedSize;
}

// Archivers that write names in UTF-8 (7-Zip, Python, newer Info-ZIP) say so
// with flag bit 11; every other name is in the device's code page.
std::u16string CZipEntryHeader::GetEntryName() const {
  std::u16string text;
  ZipHost::MultiByteToWide(name, text, HasUtf8Name() ? false : UseAnsiCodePage);
  return text;
}

bool CZipEntryHeader::IsDirectory() const { return ZipHost::IsDirectoryAttr(GetSystemAttr()); }

bool CZipEntryHeader::EndsWithSeparator(const std::u16string& text) {
  return !text.empty() && (text.back() == u'\\' || text.back() == u'/');
}

uint32_t CZipEntryHeader::GetSystemAttr() const {
  int code = HostCode();
  bool knownHost = code == 0 || code == 3 || code == 6 || code == 7 || code == 10;
  // Most names tell by their last byte; only the others are converted.
  const bool useAnsi = HasUtf8Name() ? false : UseAnsiCodePage;
  bool endsWithSeparator =
      !ZipHost::CannotEndInSeparator(name, useAnsi) && EndsWithSeparator(GetEntryName());
  if (!knownHost) {
    return endsWithSeparator ? ZipHost::DefaultDirAttr() : ZipHost::DefaultFileAttr();
  }
  if (externalAttr == 0 && endsWithSeparator) return ZipHost::DefaultDirAttr();
  // A Unix archiver that had no mode to store leaves the upper half empty and
  // keeps the DOS attributes in the low byte, as Info-ZIP reads them too.
  uint32_t attributes = code == 3 && (externalAttr >> 16) == 0
                            ? externalAttr & 0xFF
                            : ConvertAttr(externalAttr, code, ZipHost::HostSystemCode());
  // A name that ends in a separator names a folder whatever the attributes say.
  if (endsWithSeparator) attributes |= platform::FILE_ATTRIBUTE_DIRECTORY;
  return attributes;
}

// DOS date and time as they stand, without a time-zone shift. Fields that form
// no calendar date (month 0, day 0, ...) give the DOS epoch, 1980-01-01.
platform::FileTime CZipEntryHeader::GetTime() const {
  platform::SystemTime time;
  time.year = static_cast<uint16_t>(1980 + (modDate >> 9));
  time.month = (modDate >> 5) & 0x0F;
  time.day = modDate & 0x1F;
  time.hour = modTime >> 11;
  time.minute = (modTime >> 5) & 0x3F;
  time.second = static_cast<uint16_t>(2 * (modTime & 0x1F));
  platform::FileTime result;
  if (platform::SystemTimeToFileTime(time, &result)) return result;
  static constexpr platform::FileTime kDosEpoch{119600064000000000ull};
  return kDosEpoch;
}

void CZipEntryHeader::ConvertName(bool toHost, bool oemConvert) {
  auto replace = [this](uint8_t from, uint8_t to) {
    uint8_t* bytes = name.Data();
    for (uint32_t i = 0; i < name.Size(); ++i) {
      if (bytes[i] == from) bytes[i] = to;
    }
  };
  bool oem = HostCode() == 0 && oemConvert;
  if (toHost) {
    if (ZipHost::HostSystemCode() == 0) replace('/', '\\');
    if (oem) ZipHost::ConvertOemAnsi(name, false);
  } else {
    if (oem) ZipHost::ConvertOemAnsi(name, true);
    replace('\\', '/');
  }
}
