// The central directory: the end record, the table of entry headers ordered by
// the position of their local headers, and opening and closing one entry.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "zipreader/zip_byte_buffer.h"
#include "zipreader/zip_entry_header.h"

class CZipVolumeStore;

struct EndRecordInfo {
  uint32_t endRecordPosition = 0;
  uint32_t bytesBeforeArchive = 0;
  uint16_t thisDisk = 0;
  uint16_t diskWithDirectory = 0;
  uint16_t entriesOnThisDisk = 0;
  uint16_t totalEntries = 0;
  uint32_t directorySize = 0;
  uint32_t directoryOffset = 0;
};

class CZipDirectory {
 public:
  explicit CZipDirectory(CZipVolumeStore* store = nullptr) : store(store) {}
  virtual ~CZipDirectory() { Clear(true); }
  CZipDirectory(const CZipDirectory&) = delete;
  CZipDirectory& operator=(const CZipDirectory&) = delete;

  using HeaderTable = std::vector<std::unique_ptr<CZipEntryHeader>>;

  void Init();
  void ReadDirectory();
  // Reads this archive's directory only to prove it is `owner`'s, entry for
  // entry (ErrBadArchive when not), and from then on uses `owner`'s headers
  // instead of a copy of its own. Only reads them: every entry opened here
  // works on a copy of its header. `owner` outlives this directory and its
  // headers stay as they are while this directory uses them.
  void ReadDirectoryOf(const CZipDirectory& owner);
  int GetCount() const { return static_cast<int>(Table().size()); }
  bool IsValidIndex(int index) const { return index >= 0 && index < GetCount(); }
  const CZipEntryHeader& Header(int index) const { return *Table()[index]; }
  const HeaderTable& Headers() const { return Table(); }
  void OpenEntryHeader(int index);
  void CloseEntryHeader(bool skipCheck);
  // The entry's header made current without reading its local header, for an
  // entry whose data another reader reads.
  void UseEntryHeader(int index);
  void Clear(bool deleteHeaders);

  CZipEntryHeader* CurrentHeader() const { return currentHeader; }
  const EndRecordInfo& EndRecord() const { return endRecord; }
  const CZipByteBuffer& Comment() const { return comment; }
  const CZipByteBuffer& LocalExtra() const { return localExtra; }
  bool IsRead() const { return directoryRead; }
  void SetStore(CZipVolumeStore* newStore) { store = newStore; }

  static constexpr uint32_t kEndRecordSize = 22;
  static constexpr uint32_t kSearchLimit = kEndRecordSize + 65535;

 private:
  uint32_t LocateEndRecord();
  void ReadEndRecord();
  const HeaderTable& Table() const { return borrowed != nullptr ? *borrowed : headers; }
  // The header an entry is opened with: its own, or a copy of the owner's.
  CZipEntryHeader& HeaderToOpen(int index);
  void ReadHeaders();
  void SortHeaders();
  void MatchHeaders(const CZipDirectory& owner);
  [[noreturn]] void Raise(int32_t code) const;

  uint8_t signature[4] = {0, 0, 0, 0};
  CZipByteBuffer comment;
  CZipByteBuffer localExtra;
  CZipEntryHeader* currentHeader = nullptr;
  CZipVolumeStore* store = nullptr;
  uint32_t searchBufferSize = 32768;
  HeaderTable headers;
  const HeaderTable* borrowed = nullptr;  // the owner's, read only
  CZipEntryHeader openCopy;               // the entry open, when borrowed
  bool convertNamesOnLoad = true;
  bool oemConvert = true;
  EndRecordInfo endRecord;
  bool directoryRead = false;
};
