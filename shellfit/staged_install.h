// The two ways the new shell goes onto the flash drive, each with its install
// record, so that a power cut at any moment leaves the old shell or, after
// the next start, the whole new one:
// - staged: every entry is unpacked and checked in a staging folder on the
//   flash drive, put on the medium, committed; only then are the old files
//   deleted and the staged ones renamed into place;
// - in place: the old files are deleted and the entries unpacked in their
//   place, with the record written before the first deletion and dropped
//   once every entry is checked and on the medium.
#pragma once

#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "shellfit/install_record.h"
#include "shellfit/package_verification.h"

class CZipReader;

namespace shellfit {

// Staged, unless the device's registry asks for the in-place order
// (HKEY_LOCAL_MACHINE\Software\fitkit, "ShellInstall" = "in-place"), an entry
// lands outside `target`, or the flash drive lacks room for the new files
// beside the old ones.
bool StagedInstallFits(CZipReader& reader, std::u16string_view target);

void InstallStaged(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                   const std::u16string& package, std::u16string_view target);
void InstallInPlace(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                    const std::u16string& package, std::u16string_view target);

// What follows a staged install's commit, from the step its record names:
// the old files deleted (with `dialog`, each named in the status line), the
// staged ones moved into place, the record dropped. False when something
// stayed undone; the record then stays for the next start.
bool FinishStagedInstall(platform::Dialog* dialog, const InstallRecord& record,
                         std::u16string_view target);

// Removes the staging folder with everything in it; the record folder too
// when nothing else is left in it.
void DiscardStaging(std::u16string_view target);

}  // namespace shellfit
