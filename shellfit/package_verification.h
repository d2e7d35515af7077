// Reading the whole package through before anything changes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialog.h"
#include "shellfit/package_status.h"

class CZipReader;

namespace shellfit {

// Reads the whole package as extraction would (password, decryption, inflate,
// CRC-32) without writing anything: Ok, or kUnreadable with the ZIP error
// code that stopped it. With a dialog, one message is pumped per entry so
// the window stays alive.
PackageStatus VerifyPackage(std::u16string_view package, platform::Dialog* dialog = nullptr);

// Readers of the package besides the one that holds it, for decoding ahead.
using SpareReaders = std::vector<std::unique_ptr<CZipReader>>;

// Opens the package into `reader`, holds it against writers for as long as
// the reader lives and sets the password; nothing is inflated yet. Ok, or
// kUnreadable with the reader's error code. What the package uses that the
// reader cannot read is CheckPackageFeatures' to tell.
PackageStatus OpenHeldPackage(CZipReader& reader, std::u16string_view package);

// Reads every file entry of the package opened by OpenHeldPackage through
// (decryption, inflate, CRC-32) without writing anything: Ok, or kUnreadable
// with the code of the first entry in order that failed.
PackageStatus ReadPackageThrough(CZipReader& reader, std::u16string_view package,
                                 platform::Dialog* dialog, SpareReaders* spares = nullptr);

// Both of the above: opens, holds and reads the package whole as
// VerifyPackage does.
// With `spares`, further readers of the same package (held against writers
// too), one per core, are left there for the extraction to decode ahead
// with; only while their copies of the entry table are small.
PackageStatus VerifyOpenPackage(CZipReader& reader, std::u16string_view package,
                                platform::Dialog* dialog, SpareReaders* spares = nullptr);

// True when spare readers are worth their cost for this package: handing an
// entry to another thread and back costs about what decrypting and inflating
// a few hundred bytes does, so a package whose file entries are smaller than
// that on average is decoded where it is written. The spares are opened, and
// used, only when this holds.
bool WorthDecodingAhead(const CZipReader& reader);

// Only the spares, for a package whose unpacking is its only reading.
void OpenSpareReaders(CZipReader& reader, std::u16string_view package, SpareReaders* spares);

}  // namespace shellfit
