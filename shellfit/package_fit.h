// Proving, before anything is ended or deleted, that the device can take the
// package: names it accepts, no file/folder clashes, and room enough.
#pragma once

#include <string>
#include <string_view>

class CZipReader;

namespace shellfit {

// True when every entry of the opened package can be written to the device
// once the old files are gone; otherwise false with the message to show.
bool CheckPackageFits(CZipReader& reader, std::u16string_view package, std::u16string_view target,
                      std::u16string* problem);

}  // namespace shellfit
