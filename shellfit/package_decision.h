// What START decides of an opened package before anything changes, as one
// call that shows nothing: what the reader cannot read, whether the device
// can take it (every name, the room, a shell left to start), the install
// order, and whether every entry reads through. shellfit acts on the
// decision; fitkit check renders it, so the two cannot decide differently.
#pragma once

#include <string>

#include "platform/dialog.h"
#include "shellfit/package_status.h"
#include "shellfit/package_verification.h"

class CZipReader;

namespace shellfit {

struct PackageDecision {
  PackageStatus status = PackageStatus::Ok();  // fine, or the first check that refuses
  bool fits = false;                           // the reader can read it and the device can take it
  bool staged = false;                         // the new shell goes beside the old one first
  bool readThrough = false;                    // every entry was read and matched its CRC-32
};

// When the decision reads every entry through: START leaves it to the
// staging pass, which reads and checks every byte before anything is deleted;
// a check that writes nothing must read them itself.
enum class ReadThrough { kAlways, kUnlessStaged };

// `reader` holds the package as OpenHeldPackage left it. `progress` shows the
// read-through (null: nothing shown); `spares` receive the readers that
// decode ahead (null: none).
PackageDecision DecidePackage(CZipReader& reader, const std::u16string& package,
                              const std::u16string& target, ReadThrough when,
                              platform::Dialog* progress, SpareReaders* spares);

}  // namespace shellfit
