// The package's signature, checked on the very file the reader holds open
// for the whole run, before the package is read through or anything changes.
#pragma once

#include <string_view>

#include "platform/dialog.h"

class CZipReader;

namespace shellfit {

// Without update keys on the device this only notes that no signature was
// required. With them, "<package>.minisig" must be made by one of the keys,
// over the bytes of the package `reader` holds open, for this device's
// model; otherwise the refusal is shown and noted and the result is false.
bool CheckPackageSignature(platform::Dialog& dialog, CZipReader& reader,
                           std::u16string_view package);

// The same check said by its result alone, on the package opened by name:
// for "/upgrade", which unpacks main.exe to compare versions before START
// holds the package. True when no signature is required.
bool PackageSignatureHolds(std::u16string_view package);

}  // namespace shellfit
