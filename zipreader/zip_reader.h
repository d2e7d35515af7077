// The ZIP archive reader: one CZipReader per pass over an archive. Open it,
// set the password, walk the entries with GetEntryInfo and extract them.
// Failures that are not results are thrown as CZipException.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <exception>
#include <list>
#include <span>
#include <string>

#include "zipreader/zip_byte_buffer.h"
#include "zipreader/zip_crypt.h"
#include "zipreader/zip_directory.h"
#include "zipreader/zip_entry_header.h"
#include "zipreader/zip_exception.h"
#include "zipreader/zip_host.h"
#include "zipreader/zip_path_parts.h"
#include "zipreader/zip_stream.h"
#include "zipreader/zip_volume_store.h"

// Every memory block inflate holds, so an abandoned entry can be freed
// without inflateEnd.
using ZipBlockList = std::list<void*>;

void* TrackedAlloc(void* opaque, unsigned items, unsigned size);
void TrackedFree(void* opaque, void* block);

// What the reader knows about the entry being read.
class CZipReadContext {
 public:
  CZipReadContext();
  virtual ~CZipReadContext() { readBuffer.Release(); }

  z_stream stream;
  uint32_t remainingUncompressed = 0;
  uint32_t remainingCompressed = 0;
  uint32_t runningCrc = 0;
  uint32_t readBufferSize = 65536;
  CZipByteBuffer readBuffer;
  // Raw inflate may take one byte past the entry's data; it gets it only once.
  bool extraByteGiven = false;
  // The entry's next run, read and decrypted ahead by another reader of its
  // group (CZipReader::ReadTogether), or the error that read raised; the next
  // refill takes it. `aheadFrom` is where the run began in the archive file.
  CZipByteBuffer aheadBuffer;
  uint32_t aheadSize = 0;
  uint32_t aheadFrom = 0;
  std::exception_ptr aheadError;
};

class ZipDecodeAhead;

class CZipReader {
 public:
  CZipReader();
  virtual ~CZipReader();
  CZipReader(const CZipReader&) = delete;
  CZipReader& operator=(const CZipReader&) = delete;

  // mode 0: open for reading and writing, 1: read-only. Does nothing when an
  // archive is open already.
  void OpenArchive(const std::u16string& path, int mode, int volumeSize);
  // Opens `path` read-only as a second reader of the archive `owner` has
  // open: its directory must be `owner`'s entry for entry (ErrBadArchive
  // otherwise), and `owner`'s headers and password serve here as well, with
  // no copy of the entry table. `owner` stays open and unchanged, and
  // outlives this reader.
  void OpenArchiveOf(const std::u16string& path, const CZipReader& owner);
  bool GetEntryInfo(CZipEntryHeader& header, unsigned index);
  bool SetPassword(const char16_t* password);
  bool SetPassword(const std::u16string& password) { return SetPassword(password.c_str()); }

  bool ExtractEntry(uint16_t index, const char16_t* targetFolder, bool fullPath,
                    const char16_t* newName, unsigned bufferSize);
  // From now on ExtractEntry takes what `ahead` decoded, where it can; none
  // ends that. `ahead` outlives its use here.
  void DecodeAheadWith(ZipDecodeAhead* ahead) { this->ahead = ahead; }
  bool OpenEntry(uint16_t index);
  unsigned ReadEntry(void* buffer, unsigned size);
  // Groups readers used by one thread (up to ZipCryptKeys::kMostTogether):
  // when one refills its buffer with encrypted data it reads the next run of
  // every other one that has one to read as well, and decrypts them all in
  // one loop (ZipCryptKeys::DecryptTogether). Every read gives what it gives
  // alone, errors included, each at its own reader's call.
  static void ReadTogether(std::span<CZipReader* const> group);
  static void ReadApart(std::span<CZipReader* const> group);
  // 1 complete and CRC correct, -1 not read to the end, -2 time or attributes
  // not set, 0 no entry open.
  int CloseEntry(const char16_t* path, bool afterException);
  int CloseExtractedFile(CZipStream& file);
  // The path an entry is written to. Names taken from the archive are kept
  // inside the folder: their "." and ".." components are dropped.
  static std::u16string BuildTargetPath(const std::u16string& entryName,
                                        const char16_t* targetFolder, bool fullPath,
                                        const char16_t* newName);

  [[noreturn]] void ThrowZipError(int32_t code, bool inflateResult);
  void CheckInflateResult(int result);
  void FreeTrackedBlocks();

  // The directory's entry table, for callers that look at every header.
  const std::vector<std::unique_ptr<CZipEntryHeader>>& Headers() const {
    return directory.Headers();
  }
  const CZipDirectory& Directory() const { return directory; }
  // The archive file the reader has open (the current volume); null before
  // OpenArchive.
  CZipStream* ArchiveFile() const { return storage.File(); }
  bool IsEntryOpen() const { return entryState == -1; }
  // Memory blocks inflate holds now.
  size_t TrackedBlockCount() const { return blocks.size(); }
  const CZipByteBuffer& Password() const { return password; }

 private:
  void ReadEncryptionHeader(const CZipEntryHeader& header);
  void FillInput(bool stored);
  void DecryptRun(uint8_t* bytes, uint32_t count);
  bool WantsRunAhead() const;
  uint32_t ReadRunAhead();
  bool TakeRunAhead();
  void ForgetRunAhead();
  bool Inflate(uint32_t& result);
  void CopyStored(uint32_t& result);
  bool ExtractDirectory(const CZipEntryHeader& header, const std::u16string& target);
  int EndStream(const CZipEntryHeader& header);
  void CreateTargetFile(CZipDiskFile& file, const std::u16string& target);
  void ReleaseEntry(bool afterException);
  bool OpenEntryAhead(uint16_t index);
  friend class ZipDecodeAhead;

  CZipReadContext context;
  CZipVolumeStore storage;
  CZipDirectory directory;
  int8_t entryState = 0;
  ZipBlockList blocks;
  CZipByteBuffer password;
  ZipCryptKeys keys;
  CZipByteBuffer extractBuffer;  // ExtractEntry's, kept from entry to entry
  std::u16string madeFolder;     // where the last extracted file was created
  ZipDecodeAhead* ahead = nullptr;
  bool aheadEntry = false;        // the entry open is read by `ahead`
  CZipReader* partner = nullptr;  // the next of its group, in a ring
};
