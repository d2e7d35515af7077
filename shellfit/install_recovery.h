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
    FinishedStaged,      // a committed staging was moved into place
    StagedUnfinished,    // a committed staging could not be finished yet
    DiscardedStaging,    // a staging that never committed was removed
    InterruptedInPlace,  // an in-place install stopped part-way; its record stays
  };
  What what = What::Nothing;
  std::optional<InstallRecord> record;
};

// Looks at the flash drive folder `target` and acts on what it finds; notes
// it for the outcome report.
Recovery RecoverInterruptedInstall(std::u16string_view target);

// True when `package` is the very package the interrupted install named: the
// same path, size and central directory.
bool IsRecordedPackage(const InstallRecord& record, std::u16string_view package);

}  // namespace shellfit
