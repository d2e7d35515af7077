// What a package uses that the device's reader cannot read.
#pragma once

#include <string>
#include <string_view>

#include "shellfit/package_status.h"

class CZipReader;

namespace shellfit {

// Whether the opened package can be installed although it reads well: Ok,
// or kUnsupported with what it uses that the reader cannot read (an entry
// compressed with a method the reader has not, ZIP64 records) or that it
// holds no file at all.
PackageStatus CheckPackageFeatures(const CZipReader& reader);
inline constexpr std::u16string_view kUsesZip64 =
    u"it uses ZIP64, which this device's reader does not read.";
// Whether the package holds ZIP64 records at its end or (with the reader
// that opened it) in its local headers: why a package that reads as damaged
// was made so.
bool HasZip64Records(std::u16string_view package, const CZipReader* reader);

}  // namespace shellfit
