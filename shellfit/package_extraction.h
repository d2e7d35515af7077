// Unpacking the package into the flash drive folder.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/dialog.h"
#include "shellfit/package_verification.h"

class CZipReader;

namespace shellfit {

// Unpacks every entry into `target`, checking each written file's CRC-32 and
// size (at most kMaxAttempts tries per entry). Returns the entries that passed,
// -1 for a missing package or empty target, 0 when the password is refused.
inline constexpr int kMaxAttempts = 3;
int ExtractPackage(platform::Dialog& dialog, std::u16string_view package,
                   std::u16string_view target);

// Entries of the opened archive; with `filesOnly`, those that are no folder.
int CountEntries(CZipReader& reader, bool filesOnly);

// ExtractPackage over a package already opened and verified in `reader`;
// `spares` (see VerifyOpenPackage) decode the next entries in turn while
// one is written. With `zipError`, the reader error that ended it (0 if none)
// is the caller's to report; without, its message box says it.
int ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader, std::u16string_view package,
                       std::u16string_view target, const SpareReaders* spares = nullptr,
                       int32_t* zipError = nullptr);

}  // namespace shellfit
