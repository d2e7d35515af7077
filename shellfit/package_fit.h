// Proving, before anything is ended or deleted, that the device can take the
// package: names it accepts, no file/folder clashes, and room enough.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <memory>
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
  uint64_t freedBytes = 0;                       // sizes of the files deleted
};
RemovalPlan PlanOldFileRemoval(std::u16string_view folder, std::u16string_view keep);

// Empty when the device accepts `destination` (the device path an entry named
// `entryName` is written to); else why not, in a technician's words.
std::u16string NameProblem(std::u16string_view entryName, std::u16string_view destination);

// Where an entry is written: its own name when that is an absolute device
// path, else below `base` (the target folder with its "\").
std::u16string EntryDestination(const std::u16string& entryName, std::u16string_view base);

// True when every entry of the opened package can be written to the device
// once the old files are gone; otherwise false with the message to show.
bool CheckPackageFits(CZipReader& reader, std::u16string_view package,
                      std::u16string_view target, std::u16string* problem);

// Opens the package into `reader`, holds it against writers for as long as the
// reader lives, and reads it whole as VerifyPackage does.
// Readers of the package besides the one that holds it, for decoding ahead.
using SpareReaders = std::vector<std::unique_ptr<CZipReader>>;

// With `spares`, further readers of the same package (held against writers
// too), one per core, are left there for the extraction to decode ahead
// with; only while their copies of the entry table are small.
bool VerifyOpenPackage(CZipReader& reader, std::u16string_view package, int32_t* errorCode,
                       platform::Dialog* dialog, SpareReaders* spares = nullptr);

// ExtractPackage over a package already opened and verified in `reader`;
// `spares` (see VerifyOpenPackage) decode the next entries in turn while
// one is written.
int ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader,
                       std::u16string_view package, std::u16string_view target,
                       const SpareReaders* spares = nullptr);

// The text of the message box that ends a run; every one of the updater's
// own refusals ends so.
inline constexpr std::u16string_view kNothingChanged = u" Nothing was changed.";

}  // namespace shellfit
