// Reading one entry: open, decrypt and inflate with a running CRC-32, close.
#include <algorithm>
#include <cstring>

#include "zipreader/zip_decode_ahead.h"
#include "zipreader/zip_reader.h"

namespace {

constexpr uint32_t kEncryptionHeaderSize = 12;

}  // namespace

void CZipReader::ReadEncryptionHeader(const CZipEntryHeader& header) {
  if (password.IsEmpty()) ThrowZipError(ErrBadPassword, false);
  // Less data than the encryption header itself: the sizes would wrap.
  if (header.compressedSize < kEncryptionHeaderSize) ThrowZipError(ErrBadArchive, false);
  keys.Init(password);
  uint8_t bytes[kEncryptionHeaderSize];
  storage.ReadBytes(bytes, kEncryptionHeaderSize, false);
  keys.Decrypt(bytes, kEncryptionHeaderSize);
  uint8_t check = header.HasDescriptor() ? static_cast<uint8_t>(header.modTime >> 8)
                                         : static_cast<uint8_t>(header.crc32 >> 24);
  if (bytes[kEncryptionHeaderSize - 1] != check) ThrowZipError(ErrBadPassword, false);
}

// An entry the other reader decodes: its header is made current here, and
// the rest comes from there, errors included.
bool CZipReader::OpenEntryAhead(uint16_t index) {
  if (!ahead->Take(index)) return false;
  directory.UseEntryHeader(index);
  aheadEntry = true;
  entryState = -1;
  return true;
}

bool CZipReader::OpenEntry(uint16_t index) {
  if (!directory.IsValidIndex(index) || entryState != 0) return false;
  context.readBuffer.Allocate(context.readBufferSize, false);
  directory.OpenEntryHeader(index);
  const CZipEntryHeader& header = *directory.CurrentHeader();
  if (header.IsEncrypted()) ReadEncryptionHeader(header);
  if (header.method != 0 && header.method != 8) ThrowZipError(ErrBadArchive, false);
  // Stored data is its own uncompressed form: sizes that disagree would have
  // the copy loop wait for bytes that never come.
  uint32_t dataSize = header.compressedSize - (header.IsEncrypted() ? kEncryptionHeaderSize : 0);
  if (header.method == 0 && dataSize != header.uncompressedSize) {
    ThrowZipError(ErrBadArchive, false);
  }
  if (header.method == 8) {
    context.stream.opaque = &blocks;
    CheckInflateResult(
        inflateInit2_(&context.stream, -15, "1.2.3", static_cast<int>(sizeof(z_stream))));
  }
  context.remainingCompressed = dataSize;
  context.remainingUncompressed = header.uncompressedSize;
  context.runningCrc = 0;
  context.stream.total_out = 0;
  context.stream.avail_in = 0;
  context.extraByteGiven = false;
  context.aheadSize = 0;
  context.aheadError = nullptr;
  entryState = -1;
  return true;
}

// Refills the read buffer from the archive. Past the entry's data, raw
// inflate gets one extra byte and no more: asking again, or a stored entry
// asking at all, means the sizes lie, and reading on would take whatever
// follows the entry.
void CZipReader::FillInput(bool stored) {
  if (TakeRunAhead()) return;
  uint32_t n = std::min(context.readBufferSize, context.remainingCompressed);
  uint8_t* bytes = context.readBuffer.Data();
  if (n > 0) {
    storage.ReadBytes(bytes, n, false);
    context.remainingCompressed -= n;
    if (directory.CurrentHeader()->IsEncrypted()) DecryptRun(bytes, n);
  } else {
    if (stored || context.extraByteGiven) ThrowZipError(ErrBadArchive, false);
    context.extraByteGiven = true;
    bytes[0] = 0;
    n = 1;
  }
  context.stream.avail_in = n;
  context.stream.next_in = bytes;
}

void CZipReader::ReadTogether(std::span<CZipReader* const> group) {
  if (group.size() < 2) return;
  for (std::size_t i = 0; i < group.size(); ++i) {
    group[i]->partner = group[(i + 1) % group.size()];
  }
}

void CZipReader::ReadApart(std::span<CZipReader* const> group) {
  for (CZipReader* reader : group) reader->partner = nullptr;
}

// Decrypts a run just read, with the next run of each reader of the group
// that has one to read.
void CZipReader::DecryptRun(uint8_t* bytes, uint32_t count) {
  constexpr int kMost = ZipCryptKeys::kMostTogether;
  ZipCryptKeys* chains[kMost] = {&keys};
  uint8_t* runs[kMost] = {bytes};
  uint32_t counts[kMost] = {count};
  int n = 1;
  for (CZipReader* other = partner; other != nullptr && other != this && n < kMost;
       other = other->partner) {
    const uint32_t got = other->WantsRunAhead() ? other->ReadRunAhead() : 0;
    if (got == 0) continue;
    chains[n] = &other->keys;
    runs[n] = other->context.aheadBuffer.Data();
    counts[n++] = got;
  }
  ZipCryptKeys::DecryptTogether(chains, runs, counts, n);
}

// Only a single archive file: a run that is not taken is given back by
// seeking to where it began, which a run across volumes would not allow.
bool CZipReader::WantsRunAhead() const {
  return entryState == -1 && !aheadEntry && context.aheadSize == 0 && !context.aheadError &&
         context.remainingCompressed > 0 && storage.Mode() != Split &&
         directory.CurrentHeader()->IsEncrypted();
}

// Reads the next run of the entry into the read-ahead buffer: its length,
// or 0 when the read failed, whose error the next refill raises.
uint32_t CZipReader::ReadRunAhead() {
  const uint32_t n = std::min(context.readBufferSize, context.remainingCompressed);
  context.aheadBuffer.Allocate(context.readBufferSize, false);
  context.aheadFrom = storage.File()->GetPosition();
  try {
    storage.ReadBytes(context.aheadBuffer.Data(), n, false);
  } catch (...) {
    context.aheadError = std::current_exception();
    return 0;
  }
  context.remainingCompressed -= n;
  context.aheadSize = n;
  return n;
}

bool CZipReader::TakeRunAhead() {
  if (context.aheadError) {
    std::exception_ptr error = nullptr;
    std::swap(error, context.aheadError);
    std::rethrow_exception(error);
  }
  if (context.aheadSize == 0) return false;
  context.readBuffer.Swap(context.aheadBuffer);
  context.stream.avail_in = context.aheadSize;
  context.stream.next_in = context.readBuffer.Data();
  context.aheadSize = 0;
  return true;
}

// A run read ahead and never taken goes back unread, so that what follows
// the entry's data is read from where it would have been.
void CZipReader::ForgetRunAhead() {
  if (context.aheadSize == 0 && !context.aheadError) return;
  context.remainingCompressed += context.aheadSize;
  context.aheadSize = 0;
  context.aheadError = nullptr;
  storage.File()->Seek(static_cast<int32_t>(context.aheadFrom), SeekBegin);
}

// One inflate step; true when the stream has ended.
bool CZipReader::Inflate(uint32_t& result) {
  z_stream& s = context.stream;
  uLong before = s.total_out;
  Bytef* out = s.next_out;
  int status = inflate(&s, Z_SYNC_FLUSH);
  uint32_t produced = static_cast<uint32_t>(s.total_out - before);
  context.runningCrc = static_cast<uint32_t>(crc32(context.runningCrc, out, produced));
  result += produced;
  context.remainingUncompressed -= produced;
  if (status == Z_STREAM_END) return true;
  CheckInflateResult(status);
  return false;
}

void CZipReader::CopyStored(uint32_t& result) {
  z_stream& s = context.stream;
  uint32_t count = std::min(s.avail_out, s.avail_in);
  std::memcpy(s.next_out, s.next_in, count);
  context.runningCrc = static_cast<uint32_t>(crc32(context.runningCrc, s.next_out, count));
  s.next_out += count;
  s.next_in += count;
  s.total_out += count;
  s.avail_in -= count;
  s.avail_out -= count;
  result += count;
  context.remainingUncompressed -= count;
}

unsigned CZipReader::ReadEntry(void* buffer, unsigned size) {
  if (entryState != -1 || buffer == nullptr || size == 0) return 0;
  if (aheadEntry) return ahead->Read(buffer, size);
  z_stream& s = context.stream;
  bool stored = directory.CurrentHeader()->method == 0;
  s.next_out = static_cast<Bytef*>(buffer);
  s.avail_out = std::min<uint32_t>(size, context.remainingUncompressed);
  bool drain = s.avail_out == 0;
  uint32_t result = 0;
  while (s.avail_out > 0 || (drain && context.remainingCompressed > 0)) {
    if (s.avail_in == 0) FillInput(stored);
    if (stored) {
      CopyStored(result);
    } else if (Inflate(result)) {
      return result;
    }
  }
  return result;
}

// The end of a complete stream: -1 when the entry was not read to its end, an
// ErrBadCrc exception when it was and its CRC-32 differs, else 1.
int CZipReader::EndStream(const CZipEntryHeader& header) {
  if (aheadEntry) return ahead->End();
  int result = 1;
  if (context.remainingUncompressed != 0) {
    result = -1;
  } else if (context.runningCrc != header.crc32) {
    ThrowZipError(ErrBadCrc, false);
  }
  if (header.method == 8) inflateEnd(&context.stream);
  return result;
}

// The read buffer stays for the next entry: one allocation per reader.
void CZipReader::ReleaseEntry(bool afterException) {
  if (aheadEntry) {
    ahead->Release(afterException);
    aheadEntry = false;
    afterException = true;  // the other reader checked what follows the data
  }
  ForgetRunAhead();
  directory.CloseEntryHeader(afterException);
  entryState = 0;
  FreeTrackedBlocks();
}

int CZipReader::CloseEntry(const char16_t* path, bool afterException) {
  if (entryState != -1) return 0;
  const CZipEntryHeader& header = *directory.CurrentHeader();
  int result = 1;
  if (!afterException) {
    result = EndStream(header);
    if (path != nullptr) {
      if (!ZipHost::SetFileModTime(path, header.GetTime()) ||
          !ZipHost::SetFileAttr(path, header.GetSystemAttr())) {
        result = -2;
      }
    }
  }
  ReleaseEntry(afterException);
  return result;
}

// A file without a path still passes one, the empty one: no file can take the
// entry's time there, so the result is -2 rather than a success. A file still
// open takes its time through its own handle before it is closed, which
// spares finding and opening it again by name.
int CZipReader::CloseExtractedFile(CZipStream& file) {
  std::u16string path = file.GetFilePath();
  auto* disk = dynamic_cast<CZipDiskFile*>(&file);
  platform::File* handle = disk != nullptr ? disk->Handle() : nullptr;
  if (entryState != -1 || handle == nullptr || path.empty()) {
    file.Close();
    return CloseEntry(path.c_str(), false);
  }
  const CZipEntryHeader& header = *directory.CurrentHeader();
  int result = EndStream(header);
  const bool timeSet = ZipHost::SetFileModTime(*handle, header.GetTime());
  const uint32_t attributes = header.GetSystemAttr();
  const bool attributesSet = ZipHost::SetFileAttr(*handle, attributes);
  file.Close();
  if (!timeSet || !(attributesSet || ZipHost::SetFileAttr(path, attributes))) result = -2;
  ReleaseEntry(false);
  return result;
}
