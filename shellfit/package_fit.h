// Proving, before anything is ended or deleted, that the device can take the
// package: names it accepts, no file/folder clashes, and room enough.
#pragma once

#include <string>
#include <string_view>

#include "shellfit/package_status.h"

class CZipReader;

namespace shellfit {

// Ok when every entry of the opened package can be written to the device
// once the old files are gone, and a shell that has a main.exe gets one
// again; otherwise kUnfit, with why not.
PackageStatus CheckPackageFits(CZipReader& reader, std::u16string_view package,
                               std::u16string_view target);

}  // namespace shellfit
