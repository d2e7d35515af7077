#include "zipreader/zip_directory.h"

#include <algorithm>
#include <cstring>

#include "zipreader/zip_exception.h"
#include "zipreader/zip_little_endian.h"
#include "zipreader/zip_volume_store.h"

void CZipDirectory::Raise(int32_t code) const { store->Raise(code); }

namespace {

bool SameBytes(const CZipByteBuffer& a, const CZipByteBuffer& b) {
  return a.Size() == b.Size() && (a.Size() == 0 || std::memcmp(a.Data(), b.Data(), a.Size()) == 0);
}

// Everything of a central header that decides how its entry is read and
// where it goes.
bool SameEntry(const CZipEntryHeader& a, const CZipEntryHeader& b) {
  return a.versionMadeBy == b.versionMadeBy && a.flags == b.flags && a.method == b.method &&
         a.modTime == b.modTime && a.modDate == b.modDate && a.crc32 == b.crc32 &&
         a.compressedSize == b.compressedSize && a.uncompressedSize == b.uncompressedSize &&
         a.diskStart == b.diskStart && a.externalAttr == b.externalAttr &&
         a.localHeaderOffset == b.localHeaderOffset && SameBytes(a.name, b.name) &&
         SameBytes(a.extraField, b.extraField);
}

}  // namespace

void CZipDirectory::Init() {
  directoryRead = false;
  endRecord.endRecordPosition = 0;
  endRecord.bytesBeforeArchive = 0;
  endRecord.directorySize = 0;
  endRecord.directoryOffset = 0;
  currentHeader = nullptr;
  comment.Release();
}

void CZipDirectory::Clear(bool deleteHeaders) {
  currentHeader = nullptr;
  localExtra.Release();
  if (!deleteHeaders) return;
  headers.clear();
  borrowed = nullptr;
  comment.Release();
}

// Blocks are read backwards from the end and overlap by three bytes, so a
// signature cut by a block edge is still found; the last signature wins.
uint32_t CZipDirectory::LocateEndRecord() {
  CZipStream& file = *store->File();
  uint32_t length = file.GetLength();
  if (length == 0) Raise(ErrNoEndRecord);
  uint32_t limit = std::min(kSearchLimit, length);
  CZipByteBuffer block(searchBufferSize, false);
  uint32_t done = 0;
  uint32_t upto = 0;
  do {
    upto = std::min(limit, done + searchBufferSize);
    uint32_t size = upto - done;
    file.Seek(-static_cast<int32_t>(upto), SeekEnd);
    if (file.Read(block.Data(), size) != size) Raise(ErrBadArchive);
    for (int64_t at = static_cast<int64_t>(size) - 4; at >= 0; --at) {
      if (HasSignature(block.Data() + at, 0x05, 0x06)) {
        return static_cast<uint32_t>(at) + length - upto;
      }
    }
    done = upto - 3;
  } while (upto < limit);
  Raise(ErrNoEndRecord);
}

void CZipDirectory::ReadEndRecord() {
  CZipStream& file = *store->File();
  uint8_t record[kEndRecordSize];
  if (file.Read(record, kEndRecordSize) != kEndRecordSize) Raise(ErrBadArchive);
  std::memcpy(signature, record, 4);
  endRecord.thisDisk = LoadLe16(record + 4);
  endRecord.diskWithDirectory = LoadLe16(record + 6);
  endRecord.entriesOnThisDisk = LoadLe16(record + 8);
  endRecord.totalEntries = LoadLe16(record + 10);
  endRecord.directorySize = LoadLe32(record + 12);
  endRecord.directoryOffset = LoadLe32(record + 16);
  store->UpdateVolumeInfo(endRecord.thisDisk);
  // Computed in 64 bits: a directory whose offset plus size wraps past 4 GiB
  // must not pass for one that ends before the end record.
  uint64_t directoryEnd =
      static_cast<uint64_t>(endRecord.directoryOffset) + endRecord.directorySize;
  bool single = store->Mode() == SingleFile;
  if (single && endRecord.endRecordPosition < directoryEnd) Raise(ErrBadArchive);
  uint16_t commentLength = LoadLe16(record + 20);
  if (commentLength != 0 &&
      file.Read(comment.Allocate(commentLength, false), commentLength) != commentLength) {
    Raise(ErrBadArchive);
  }
  endRecord.bytesBeforeArchive =
      single ? static_cast<uint32_t>(endRecord.endRecordPosition - directoryEnd) : 0;
}

void CZipDirectory::ReadDirectory() {
  endRecord.endRecordPosition = LocateEndRecord();
  store->File()->Seek(static_cast<int32_t>(endRecord.endRecordPosition), SeekBegin);
  ReadEndRecord();
  if ((endRecord.directorySize == 0) != (endRecord.totalEntries == 0)) Raise(ErrBadArchive);
  directoryRead = true;
  store->ChangeVolume(endRecord.diskWithDirectory);
  if (endRecord.directorySize != 0) ReadHeaders();
}

void CZipDirectory::ReadHeaders() {
  uint32_t start = endRecord.directoryOffset + endRecord.bytesBeforeArchive;
  store->File()->Seek(static_cast<int32_t>(start), SeekBegin);
  headers.clear();
  headers.reserve(endRecord.totalEntries);
  uint64_t bytesRead = 0;
  for (uint32_t i = 0; i < endRecord.totalEntries; ++i) {
    headers.push_back(std::make_unique<CZipEntryHeader>());
    CZipEntryHeader& header = *headers.back();
    if (!header.ReadCentral(*store)) Raise(ErrBadArchive);
    bytesRead += header.CentralSize();
    if (convertNamesOnLoad) header.ConvertName(true, oemConvert);
  }
  // An end record that counts fewer entries than the directory holds (or more
  // bytes than its entries take) would install part of the package silently.
  if (bytesRead != endRecord.directorySize) Raise(ErrBadArchive);
  SortHeaders();
}

// Entries are numbered in the order of their local headers. Two central
// headers naming the same local header make the archive unusable.
void CZipDirectory::SortHeaders() {
  auto key = [](const std::unique_ptr<CZipEntryHeader>& h) {
    return (static_cast<uint64_t>(h->diskStart) << 32) | h->localHeaderOffset;
  };
  std::sort(headers.begin(), headers.end(),
            [&key](const auto& a, const auto& b) { return key(a) < key(b); });
  auto same = [&key](const auto& a, const auto& b) { return key(a) == key(b); };
  if (std::adjacent_find(headers.begin(), headers.end(), same) != headers.end()) {
    RaiseZipError(ErrBadArchive, nullptr);
  }
}

void CZipDirectory::ReadDirectoryOf(const CZipDirectory& owner) {
  endRecord.endRecordPosition = LocateEndRecord();
  store->File()->Seek(static_cast<int32_t>(endRecord.endRecordPosition), SeekBegin);
  ReadEndRecord();
  const EndRecordInfo& theirs = owner.endRecord;
  if (endRecord.endRecordPosition != theirs.endRecordPosition ||
      endRecord.bytesBeforeArchive != theirs.bytesBeforeArchive ||
      endRecord.totalEntries != theirs.totalEntries ||
      endRecord.directorySize != theirs.directorySize ||
      endRecord.directoryOffset != theirs.directoryOffset ||
      endRecord.diskWithDirectory != theirs.diskWithDirectory ||
      static_cast<std::size_t>(theirs.totalEntries) != owner.headers.size()) {
    Raise(ErrBadArchive);
  }
  directoryRead = true;
  store->ChangeVolume(endRecord.diskWithDirectory);
  if (endRecord.directorySize != 0) MatchHeaders(owner);
  headers.clear();
  borrowed = &owner.headers;
}

// Each central header as stored is found among the owner's (sorted by the
// position of their local headers) and must be the same there, and every
// one of the owner's is found once.
void CZipDirectory::MatchHeaders(const CZipDirectory& owner) {
  uint32_t start = endRecord.directoryOffset + endRecord.bytesBeforeArchive;
  store->File()->Seek(static_cast<int32_t>(start), SeekBegin);
  auto key = [](const CZipEntryHeader& h) {
    return (static_cast<uint64_t>(h.diskStart) << 32) | h.localHeaderOffset;
  };
  std::vector<bool> seen(owner.headers.size());
  CZipEntryHeader header;
  for (uint32_t i = 0; i < endRecord.totalEntries; ++i) {
    if (!header.ReadCentral(*store)) Raise(ErrBadArchive);
    if (convertNamesOnLoad) header.ConvertName(true, oemConvert);
    const auto found = std::lower_bound(
        owner.headers.begin(), owner.headers.end(), key(header),
        [&key](const std::unique_ptr<CZipEntryHeader>& h, uint64_t k) { return key(*h) < k; });
    if (found == owner.headers.end() || !SameEntry(**found, header)) Raise(ErrBadArchive);
    const auto at = static_cast<std::size_t>(found - owner.headers.begin());
    if (seen[at]) Raise(ErrBadArchive);
    seen[at] = true;
  }
}

CZipEntryHeader& CZipDirectory::HeaderToOpen(int index) {
  if (borrowed == nullptr) return *headers[index];
  openCopy = *(*borrowed)[index];
  return openCopy;
}

void CZipDirectory::UseEntryHeader(int index) { currentHeader = &HeaderToOpen(index); }

void CZipDirectory::OpenEntryHeader(int index) {
  CZipEntryHeader& header = HeaderToOpen(index);
  store->ChangeVolume(header.diskStart);
  uint64_t position =
      static_cast<uint64_t>(endRecord.bytesBeforeArchive) + header.localHeaderOffset;
  if (position >= kZipBadPosition) Raise(ErrBadArchive);
  store->File()->Seek(static_cast<int32_t>(position), SeekBegin);
  if (!header.ReadLocal(*store)) Raise(ErrBadArchive);
  currentHeader = &header;
  localExtra.Release();
  if (header.localExtraLength == 0) return;
  int volume = store->CurrentVolume();
  store->ReadBytes(localExtra.Allocate(header.localExtraLength, false), header.localExtraLength,
                   true);
  if (store->CurrentVolume() != volume) Raise(ErrBadArchive);
}

void CZipDirectory::CloseEntryHeader(bool skipCheck) {
  if (currentHeader == nullptr) return;
  localExtra.Release();
  if (!skipCheck && currentHeader->HasDescriptor()) {
    uint8_t bytes[12];
    store->ReadBytes(bytes, 4, false);
    if (!HasSignature(bytes, 0x07, 0x08)) store->File()->Seek(-4, SeekCurrent);
    store->ReadBytes(bytes, 12, false);
    if (!currentHeader->CheckDescriptor(bytes)) Raise(ErrBadArchive);
  }
  currentHeader = nullptr;
}
