// Unpacking the package onto the flash drive, reading every written file back
// to check its CRC-32 and size.
#include "shellfit/package_extraction.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/install_record.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "zipreader/zip_decode_ahead.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kBufferSize = 65536;
// Handing an entry to another thread and back costs about what decrypting
// and inflating a few hundred bytes does: a package whose entries are
// smaller than this on average is decoded where it is written.
constexpr uint64_t kDecodeAheadFrom = 512;

// How one attempt at an entry went.
struct EntryResult {
  bool written = false;
  const char* failure = nullptr;  // why the check failed; null when it passed
};

// Writes one entry and checks the written file against the entry's header.
EntryResult ExtractAndCheck(platform::Dialog& dialog, CZipReader& reader,
                            const CZipEntryHeader& header, uint16_t index,
                            const std::u16string& base) {
  const std::u16string name = header.GetEntryName();
  frame::ShowStatus(dialog, u"Copying...", name);
  const std::u16string destination = EntryDestination(name, base);
  // Usually nothing is there yet: one look-up then spares the two of a delete.
  if (frame::FileExists(destination)) frame::ForceDeleteFile(destination);
  EntryResult result;
  result.written = reader.ExtractEntry(index, nullptr, true, destination.c_str(), kBufferSize);
  uint32_t crc = 0, size = 0;
  // Only a folder passes without a file to read back; an empty file entry
  // that could not be written would otherwise match its CRC 0 and size 0.
  const bool readBack = GetFileCrc(destination, &crc, &size) || header.IsDirectory();
  const bool matches = readBack && crc == header.crc32 && size == header.uncompressedSize;
  // The reason names the first thing that went wrong.
  if (matches) return result;
  if (!result.written) {
    result.failure = "not written";
  } else if (!readBack) {
    result.failure = "not readable";
  } else {
    result.failure = crc != header.crc32 ? "crc" : "size";
  }
  return result;
}

void ReportCrcError(platform::Dialog& dialog, const std::u16string& entryName) {
  frame::ShowMessageBox(dialog, entryName + u" CRC error!", kNoticeStyle);
}

// What is left to write from an entry on: all its bytes and those after it,
// and the smallest file with data after it.
struct Remaining {
  uint64_t bytes = 0;
  uint64_t smallestLater = UINT64_MAX;
};

std::vector<Remaining> RemainingFromEachEntry(CZipReader& reader) {
  const auto& headers = reader.Headers();
  std::vector<Remaining> left(headers.size() + 1);
  for (std::size_t i = headers.size(); i-- > 0;) {
    const uint64_t size = headers[i]->IsDirectory() ? 0 : headers[i]->uncompressedSize;
    left[i].bytes = left[i + 1].bytes + size;
    left[i].smallestLater = left[i + 1].smallestLater;
    if (i + 1 < headers.size()) {
      const auto& next = *headers[i + 1];
      if (!next.IsDirectory() && next.uncompressedSize > 0) {
        left[i].smallestLater = std::min<uint64_t>(left[i].smallestLater, next.uncompressedSize);
      }
    }
  }
  return left;
}

std::u16string Number(uint64_t value) {
  const std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

// Empty unless the failed entry failed for a reason that fails every later
// one as well: the flash drive gone, or no room for this entry nor for any
// later one with data.
std::u16string DeviceFault(std::u16string_view target, const CZipEntryHeader& header,
                           const Remaining& left) {
  // Unpacking beside the old shell, a stop leaves the old shell as it was.
  const std::u16string stopped =
      u" The update stopped at " + header.GetEntryName() +
      (IsStagingFolder(target) ? u": the old shell is kept." : u": the new shell is incomplete.");
  if (platform::Files().GetAttributes(target) == platform::kInvalidAttributes) {
    return std::u16string(target) + u" cannot be reached any more." + stopped;
  }
  if (!platform::Files().CanChangeFolder(target)) {
    return std::u16string(target) + u" cannot be written any more (it is read-only now)." + stopped;
  }
  uint64_t free = 0;
  if (platform::Files().GetFreeBytes(target, &free) && free < header.uncompressedSize &&
      free < left.smallestLater) {
    return u"The flash drive is full: the entries left need " + Number(left.bytes) + u" bytes, " +
           Number(free) + u" bytes are free (" + Number(left.bytes - free) + u" bytes missing)." +
           stopped;
  }
  return {};
}

// Releases what an entry abandoned by an exception still holds.
void CloseAfterException(CZipReader& reader) {
  try {
    reader.CloseEntry(nullptr, true);
  } catch (const CZipException&) {
  }
}

// The spare readers decode the file entries, in turn, in the order they
// are written; none where the entries are too small to be worth it.
std::unique_ptr<ZipDecodeAhead> DecodeAhead(CZipReader& reader, const SpareReaders* spares) {
  if (spares == nullptr || spares->empty()) return nullptr;
  std::vector<uint16_t> files;
  uint64_t stored = 0;
  const auto& headers = reader.Headers();
  for (std::size_t i = 0; i < headers.size() && i <= 0xFFFF; ++i) {
    if (headers[i]->IsDirectory()) continue;
    files.push_back(static_cast<uint16_t>(i));
    stored += headers[i]->compressedSize;
  }
  if (stored < kDecodeAheadFrom * files.size()) return nullptr;
  std::vector<CZipReader*> decoders;
  for (const auto& spare : *spares) decoders.push_back(spare.get());
  return std::make_unique<ZipDecodeAhead>(std::move(decoders), std::move(files), kBufferSize,
                                          ZipCryptKeys::kMostTogether);
}

}  // namespace

int CountEntries(CZipReader& reader, bool filesOnly) {
  int count = 0;
  for (const auto& header : reader.Headers()) {
    if (!filesOnly || !header->IsDirectory()) ++count;
  }
  return count;
}

Extraction ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader,
                              std::u16string_view target, const SpareReaders* spares) {
  const std::u16string base = WithBackslash(target);
  const std::unique_ptr<ZipDecodeAhead> ahead = DecodeAhead(reader, spares);
  reader.DecodeAheadWith(ahead.get());
  CZipEntryHeader header;
  int passed = 0, written = 0;
  const int entries = CountEntries(reader, false);
  int32_t zipError = 0;
  std::u16string unfinished;  // the file being written, gone again if it fails
  // The kit alone writes here: others' changes are learned entry by entry.
  const platform::LookUpBatch batch(platform::Files());
  // What is written goes to the medium while later entries are written, so
  // that the barrier after the last one waits for little; it stays the
  // barrier.
  const auto flushing = platform::Files().FlushVolumeInBackground(target);
  try {
    dialog.SetProgressRange(kProgressControl, 0, static_cast<uint16_t>(CountEntries(reader, true)));
    const std::vector<Remaining> left = RemainingFromEachEntry(reader);
    int attempts = 0;
    for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index);) {
      if (!header.IsDirectory()) unfinished = EntryDestination(header.GetEntryName(), base);
      const EntryResult result =
          ExtractAndCheck(dialog, reader, header, static_cast<uint16_t>(index), base);
      const bool passes = result.failure == nullptr;
      if (!passes && !unfinished.empty()) frame::ForceDeleteFile(unfinished);
      unfinished.clear();
      if (passes) {
        dialog.SetProgressPos(kProgressControl, ++passed);
      } else {
        ReportCrcError(dialog, header.GetEntryName());
        // A full or vanished drive fails every entry after this one too: one
        // more box says so and the extraction ends.
        const std::u16string fault = DeviceFault(target, header, left[index]);
        if (!fault.empty()) {
          NoteEntryFailed(header.GetEntryName(), result.failure, attempts + 1);
          frame::ShowMessageBox(dialog, fault, kNoticeStyle);
          break;
        }
        // An entry that can never be written must not hold up the rest of
        // the package for ever.
        if (++attempts < kMaxAttempts) continue;
        NoteEntryFailed(header.GetEntryName(), result.failure, attempts);
      }
      if (result.written) ++written;
      ++index;
      attempts = 0;
    }
  } catch (const CZipException& error) {
    // The package verified before; the card may have been pulled since.
    zipError = error.code;
    if (!unfinished.empty()) frame::ForceDeleteFile(unfinished);
  }
  CloseAfterException(reader);
  reader.DecodeAheadWith(nullptr);
  NoteExtraction(entries, written, passed, zipError);
  return Extraction{passed, zipError};
}

int ExtractPackage(platform::Dialog& dialog, std::u16string_view package,
                   std::u16string_view target) {
  if (platform::Files().GetAttributes(package) == platform::kInvalidAttributes || target.empty()) {
    NoteExtraction(0, 0, 0, 0);
    return -1;
  }
  CZipReader reader;
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    if (!reader.SetPassword(std::u16string(kPackagePassword))) {
      NoteExtraction(CountEntries(reader, false), 0, 0, ErrBadPassword);
      return 0;
    }
  } catch (const CZipException& error) {
    NoteExtraction(0, 0, 0, error.code);
    ReportPackageError(dialog, package, error.code);
    return 0;
  }
  const Extraction done = ExtractOpenPackage(dialog, reader, target);
  if (done.zipError != 0) ReportPackageError(dialog, package, done.zipError);
  return done.passed;
}

}  // namespace shellfit
