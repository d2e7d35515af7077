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

// How an extraction ended: the entries that passed, and the reader's error
// that stopped it (0 if none), which is the caller's to say.
struct Extraction {
  int passed = 0;
  int32_t zipError = 0;
};

// ExtractPackage over a package already opened and verified in `reader`;
// `spares` (see VerifyOpenPackage) decode the next entries in turn while
// one is written.
Extraction ExtractOpenPackage(platform::Dialog& dialog, CZipReader& reader,
                              std::u16string_view target, const SpareReaders* spares = nullptr);

}  // namespace shellfit
