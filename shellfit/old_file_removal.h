// Deleting the old shell's files before the new ones are unpacked.
#pragma once

#include <string>
#include <string_view>

#include "platform/dialog.h"

namespace shellfit {

// Deletes every file below `folder` except the preserved names, skipping
// folders whose name begins with "."; returns the number of delete attempts.
// `keep` names one more file that must survive: the package being installed,
// when it lies on the flash drive itself.
// `failed` (when given) counts the files that could not be deleted and
// keeps the first one's path.
struct FailedDeletions {
  int count = 0;
  std::u16string first;
};
int DeleteOldFiles(platform::Dialog& dialog, std::u16string_view folder,
                   std::u16string_view keep = {}, FailedDeletions* failed = nullptr);
// The same; without a dialog nothing is shown (a finish at start, before it).
int DeleteOldFiles(platform::Dialog* dialog, std::u16string_view folder, std::u16string_view keep,
                   FailedDeletions* failed = nullptr);

}  // namespace shellfit
