// Proving, before anything is ended or deleted, that the device can take the
// package: names it accepts, no file/folder clashes, and room enough.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"

class CZipReader;

namespace shellfit {

// What DeleteOldFiles will leave below a folder, worked out without deleting.
// Paths are CanonicalDevicePath keys.
struct RemovalPlan {
  std::map<std::u16string, uint64_t> keptFiles;  // key -> size
  std::set<std::u16string> keptFolders;          // folders that keep something
  std::set<std::u16string> keptTrees;            // dot folders, left whole
  uint64_t freedBytes = 0;                       // what the files deleted take
  std::u16string blocked;  // the first thing the deletion must change but cannot, and why
};
// Sizes count whole blocks of `blockSize` bytes.
RemovalPlan PlanOldFileRemoval(std::u16string_view folder, std::u16string_view keep,
                               uint64_t blockSize = 1);

// `bytes` rounded up to whole blocks (unchanged for a block size of 0 or 1).
uint64_t RoundToBlocks(uint64_t bytes, uint64_t blockSize);

// Empty when the device accepts `destination` (the device path an entry named
// `entryName` is written to); else why not, in a technician's words.
std::u16string NameProblem(std::u16string_view entryName, std::u16string_view destination);

// Where an entry is written: its own name when that is an absolute device
// path, else below `base` (the target folder with its "\").
std::u16string EntryDestination(const std::u16string& entryName, std::u16string_view base);

// True when every entry of the opened package can be written to the device
// once the old files are gone; otherwise false with the message to show.
bool CheckPackageFits(CZipReader& reader, std::u16string_view package, std::u16string_view target,
                      std::u16string* problem);

// Readers of the package besides the one that holds it, for decoding ahead.
using SpareReaders = std::vector<std::unique_ptr<CZipReader>>;

// Opens the package into `reader`, holds it against writers for as long as
// the reader lives and sets the password; nothing is inflated yet. False
// with the reader's error code, or (with `problem`) with the words for what
// the package uses that the reader cannot read (see UnreadableFeature).
bool OpenHeldPackage(CZipReader& reader, std::u16string_view package, int32_t* errorCode,
                     std::u16string* problem);

// Reads every file entry of the package opened by OpenHeldPackage through
// (decryption, inflate, CRC-32) without writing anything.
bool ReadPackageThrough(CZipReader& reader, std::u16string_view package, int32_t* errorCode,
                        platform::Dialog* dialog, SpareReaders* spares = nullptr);

// Both of the above: opens, holds and reads the package whole as
// VerifyPackage does.

// With `spares`, further readers of the same package (held against writers
// too), one per core, are left there for the extraction to decode ahead
// with; only while their copies of the entry table are small.
bool VerifyOpenPackage(CZipReader& reader, std::u16string_view package, int32_t* errorCode,
                       platform::Dialog* dialog, SpareReaders* spares = nullptr);

// Only the spares, for a package whose unpacking is its only reading.
void OpenSpareReaders(CZipReader& reader, std::u16string_view package, SpareReaders* spares);

// ExtractPackage over a package already opened and verified in `reader`;
// `spares` (see VerifyOpenPackage) decode the next entries in turn while
// one is written. With `zipError`, the reader error that ended it (0 if none)
// is the caller's to report; without, its message box says it.
int ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader, std::u16string_view package,
                       std::u16string_view target, const SpareReaders* spares = nullptr,
                       int32_t* zipError = nullptr);

// Why the opened package cannot be installed although it reads well: an
// entry compressed with a method the reader has not, ZIP64 records, no file
// at all. Empty when none of that holds; else a sentence for the refusal.
std::u16string UnreadableFeature(const CZipReader& reader);
inline constexpr std::u16string_view kUsesZip64 =
    u"it uses ZIP64, which this device's reader does not read.";
// Whether the package holds ZIP64 records at its end or (with the reader
// that opened it) in its local headers: why a package that reads as damaged
// was made so.
bool HasZip64Records(std::u16string_view package, const CZipReader* reader);

// The text of the message box that ends a run; every one of the updater's
// own refusals ends so.
inline constexpr std::u16string_view kNothingChanged = u" Nothing was changed.";

}  // namespace shellfit
