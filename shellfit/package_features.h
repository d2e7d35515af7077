// What a package uses that the device's reader cannot read.
#pragma once

#include <string>
#include <string_view>

class CZipReader;

namespace shellfit {

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

}  // namespace shellfit
