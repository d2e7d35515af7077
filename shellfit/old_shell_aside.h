// Setting the old shell aside on the flash drive instead of deleting it, so
// that it can come back whole until the new one is verified in place.
#pragma once

#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "shellfit/old_file_removal.h"

namespace shellfit {

// Moves every old file below `target` into `aside` under the same relative
// path, keeping what the deletion keeps (the preserved names, folders whose
// name begins with ".", and `keep`); a folder with nothing kept in it moves
// whole, in one rename. With `dialog`, each is named in the status line.
// `failed` counts the files that stayed.
void SetOldShellAside(platform::Dialog* dialog, std::u16string_view target,
                      const std::u16string& aside, std::u16string_view keep,
                      FailedDeletions* failed);

// Moves what `from` holds into the folder `to`: a folder `to` lacks in one
// step where the host can, else entry by entry. A file already in `to` is
// first moved into `displaced` (same relative path) when that is given,
// else it stays and the one in `from` stays too. An entry of `from` named
// `skip` stays where it is. False when something could not be moved.
bool MoveTreeInto(const std::u16string& from, const std::u16string& to,
                  const std::u16string& displaced, std::u16string_view skip = {});

// Deletes the folder with everything in it; `failed` (when given) counts
// the files that stayed.
void RemoveTree(const std::u16string& folder, FailedDeletions* failed = nullptr);

}  // namespace shellfit
