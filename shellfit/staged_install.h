// The two ways the new shell goes onto the flash drive, each with its install
// record, so that a power cut at any moment leaves the old shell or, after
// the next start, the whole new one:
// - staged: every entry is unpacked and checked in a staging folder on the
//   flash drive, put on the medium, committed; only then are the old files
//   set aside (renamed into the record's folder), the staged ones renamed
//   into place and verified there, and the old ones deleted for good;
// - in place: the old files are deleted and the entries unpacked in their
//   place, with the record written before the first deletion and dropped
//   once every entry is checked and on the medium.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "shellfit/install_record.h"
#include "shellfit/package_verification.h"
#include "shellfit/staging_list.h"

class CZipReader;

namespace shellfit {

// Staged, unless the device's registry asks for the in-place order
// (HKEY_LOCAL_MACHINE\Software\fitkit, "ShellInstall" = "in-place"), an entry
// lands outside `target`, or the flash drive lacks room for the new files
// beside the old ones.
bool StagedInstallFits(CZipReader& reader, std::u16string_view target);

// Each true when the whole new shell is in place, verified and on the medium.
// `securityVersion`: a signed release's, which its record carries so that the
// start that finishes the install raises the device's rollback floor.
bool InstallStaged(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                   const std::u16string& package, std::u16string_view target,
                   std::optional<uint32_t> securityVersion);
bool InstallInPlace(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                    const std::u16string& package, std::u16string_view target);

// What follows a staged install's commit, from the step its record names,
// for a staging that verified against it: the old files set aside (with
// `dialog`, each named in the status line), the staged ones moved into
// place and verified, the old ones deleted, the record dropped.
enum class Finish {
  Placed,         // the new shell is in place, verified
  Unfinished,     // something could not be moved; the record stays for the next start
  PutBack,        // the new shell did not verify in place: the old one is back
  PutBackInPart,  // as PutBack, but something of the old shell could not come back
};
Finish FinishStagedInstall(platform::Dialog* dialog, const InstallRecord& record,
                           const StagingList& list, std::u16string_view target);

// Undoes a staged install that is not to go on: with `takeBack`, the listed
// files that left the staging folder for their place are deleted first;
// then the staging is discarded, what was set aside moved back (never over
// anything in place) and the record dropped. False when something set aside
// could not come back and stays in the old shell's folder.
bool PutOldShellBack(std::u16string_view target, bool takeBack);

// Removes the staging folder with everything in it (its list first); the
// record folder too when nothing else is left in it.
void DiscardStaging(std::u16string_view target);

}  // namespace shellfit
