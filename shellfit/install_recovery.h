// What every start of the updater does first: finish or undo an install that
// a power cut or a kill interrupted.
#pragma once

#include <optional>
#include <string_view>

#include "shellfit/install_record.h"

namespace shellfit {

struct Recovery {
  enum class What {
    Nothing,             // no install was under way
    FinishedStaged,      // a committed staging was moved into place and verified there
    FinishedVerified,    // no record read whole, but the new shell verified in place: finished
    StagedUnfinished,    // a committed staging could not be finished yet; the old shell is aside
    DiscardedStaging,    // a staging that never committed was removed
    ForeignRecord,       // a record that belongs to no staging here: not followed, old shell back
    DamagedStaging,      // the staging did not verify against its record: old shell back
    DamagedRecord,       // a record that does not read whole: old shell back
    PutBack,             // the new shell did not verify in place: old shell back
    PutBackInPart,       // as PutBack, but some of the old shell stays aside
    LeftAside,           // old files a finished install could not delete, moved back
    InterruptedInPlace,  // an in-place install stopped part-way; its record stays
  };
  What what = What::Nothing;
  std::optional<InstallRecord> record;
  int setAside = 0;  // things found where the kit keeps its own, moved aside
};

// Looks at the flash drive folder `target` and acts on what it finds; notes
// it for the outcome report.
Recovery RecoverInterruptedInstall(std::u16string_view target);

// True when the last install was undone: the old shell is what the flash
// drive holds.
bool OldShellRestored(const Recovery& recovery);

// True when `package` is the very package the interrupted install named: the
// same path, size and central directory.
bool IsRecordedPackage(const InstallRecord& record, std::u16string_view package);

}  // namespace shellfit
