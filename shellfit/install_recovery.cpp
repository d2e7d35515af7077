#include "shellfit/install_recovery.h"

#include <string>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/held_stops.h"
#include "platform/outcome_report.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"
#include "shellfit/staged_install.h"
#include "shellfit/staging_list.h"

namespace shellfit {
namespace {

const char* ActionWords(Recovery::What what) {
  switch (what) {
    case Recovery::What::FinishedStaged:
      return "finished the staged install the last run had committed; the new shell verified in "
             "place";
    case Recovery::What::StagedUnfinished:
      return "could not yet finish the staged install the last run had committed; the old shell "
             "is kept aside until a later start finishes it";
    case Recovery::What::DiscardedStaging:
      return "removed the staged files of an install that never committed; the old shell was whole";
    case Recovery::What::ForeignRecord:
      return "found an install record that belongs to no staging here and did not follow it; "
             "the old shell was restored";
    case Recovery::What::DamagedStaging:
      return "found the staged files damaged or missing; the old shell was restored";
    case Recovery::What::DamagedRecord:
      return "found no install record that reads whole beside what the last install had moved "
             "and did not go on; the old shell was restored";
    case Recovery::What::FinishedVerified:
      return "found the install record damaged; the new shell verified whole in place against "
             "the staged list of files, and the install was finished";
    case Recovery::What::LeftAside:
      return "found old files an earlier install had set aside and could not delete; they were "
             "moved back where they were, where they could be";
    case Recovery::What::PutBack:
      return "the new shell did not verify in place; the old shell was restored";
    case Recovery::What::PutBackInPart:
      return "the new shell did not verify in place; not all of the old shell could be put back, "
             "and what could not is kept in the updater's folder on the flash drive";
    case Recovery::What::InterruptedInPlace:
      return "found an in-place install that was interrupted; the shell is incomplete until it "
             "is installed again";
    case Recovery::What::Nothing:
      break;
  }
  return "";
}

void NoteRecovery(const Recovery& recovery) {
  if (!platform::Outcome().Active()) return;
  if (recovery.what != Recovery::What::Nothing) {
    platform::Outcome().Set("recovery.action", platform::ReportText(ActionWords(recovery.what)));
  }
  if (recovery.record) {
    platform::Outcome().Set("recovery.package", platform::ReportText(recovery.record->package));
  }
}

// Moved into a new folder of the flash drive whose name says whose it is
// not; never opened, never followed. The folder's name begins with a dot,
// so neither an install's removal nor its setting aside of the old shell
// takes it.
int SetAside(std::u16string_view target, const std::u16string& path, platform::EntryKind kind) {
  const std::u16string leaf = path.substr(path.rfind(u'\\') + 1);
  for (int n = 1; n < 1000; ++n) {
    const std::u16string aside =
        WithBackslash(target) + u".fitkit.foreign-" + platform::FromUtf8(std::to_string(n));
    if (!platform::Files().CreateDirectory(aside)) continue;
    const std::u16string there = aside + u"\\" + leaf;
    const bool moved = kind == platform::EntryKind::Folder
                           ? platform::Files().MoveFolder(path, there)
                           : platform::Files().MoveFile(path, there);
    if (platform::Outcome().Active()) {
      platform::Outcome().Append("recovery.set_aside",
                                 {{"found", platform::ReportText(path)},
                                  {"moved_to", platform::ReportText(moved ? there : u"")}});
    }
    return 1;
  }
  return 1;
}

// Whatever stands at `path` that is not `want` goes aside.
int SetAsideUnless(std::u16string_view target, const std::u16string& path,
                   platform::EntryKind want) {
  const platform::EntryKind kind = platform::Files().GetEntryKind(path);
  return kind == platform::EntryKind::None || kind == want ? 0 : SetAside(target, path, kind);
}

// Only what the kit made is ever followed: anything else where it keeps
// its folder, record, staging and the old shell goes aside first.
int SetAsideForeign(std::u16string_view target) {
  const std::u16string folder = InstallFolder(target);
  int count = SetAsideUnless(target, folder, platform::EntryKind::Folder);
  if (platform::Files().GetEntryKind(folder) != platform::EntryKind::Folder) return count;
  count += SetAsideUnless(target, RecordPath(target), platform::EntryKind::File);
  count += SetAsideUnless(target, RecordPath(target) + u".new", platform::EntryKind::File);
  count += SetAsideUnless(target, StagingFolder(target), platform::EntryKind::Folder);
  count += SetAsideUnless(target, OldShellFolder(target), platform::EntryKind::Folder);
  count += SetAsideUnless(target, StagingListPath(target), platform::EntryKind::File);
  return count;
}

// A staged record is followed only where its staging verifies against it.
Recovery::What RecoverStaged(const InstallRecord& record, std::u16string_view target) {
  uint32_t crc = 0;
  const auto list = ReadStagingList(target, &crc);
  const bool ours = list && list->install == record.install && crc == record.listCrc;
  if (record.step == InstallRecord::Step::Placed && ours) {
    return FinishStagedInstall(nullptr, record, *list, target) == Finish::Placed
               ? Recovery::What::FinishedStaged
               : Recovery::What::StagedUnfinished;
  }
  // The end of an install has the old shell off the medium before it drops
  // the staging's list, and that before the record: all that is left to do
  // is drop the record. An old shell aside with no list is no install's end.
  if (record.step == InstallRecord::Step::Placed && !list &&
      platform::Files().GetEntryKind(OldShellFolder(target)) == platform::EntryKind::None) {
    DiscardStaging(target);
    DropInstallRecord(target);
    platform::Files().RemoveDirectory(InstallFolder(target));
    return Recovery::What::Nothing;
  }
  // Nothing of the staging has moved while the record says "committed":
  // what stands in place then is the old shell's.
  const bool moved = record.step != InstallRecord::Step::Committed;
  if (!ours) {
    PutOldShellBack(target, moved);
    return Recovery::What::ForeignRecord;
  }
  const Placement where = moved ? Placement::Either : Placement::Staged;
  if (record.step == InstallRecord::Step::Placed || !StagingVerifies(target, *list, where, true)) {
    PutOldShellBack(target, moved);
    return Recovery::What::DamagedStaging;
  }
  switch (FinishStagedInstall(nullptr, record, *list, target)) {
    case Finish::Placed:
      return Recovery::What::FinishedStaged;
    case Finish::PutBack:
      return Recovery::What::PutBack;
    case Finish::PutBackInPart:
      return Recovery::What::PutBackInPart;
    case Finish::Unfinished:
      break;
  }
  return Recovery::What::StagedUnfinished;
}

// The old shell dropped, as from the step "placed", when every file the
// staging's list names stands whole in place.
bool NewShellVerifiesInPlace(std::u16string_view target) {
  uint32_t crc = 0;
  const auto list = ReadStagingList(target, &crc);
  if (!list || !StagingVerifies(target, *list, Placement::InPlace, true)) return false;
  InstallRecord placed;
  placed.mode = InstallRecord::Mode::Staged;
  placed.step = InstallRecord::Step::Placed;
  return FinishStagedInstall(nullptr, placed, *list, target) == Finish::Placed;
}

}  // namespace

Recovery RecoverInterruptedInstall(std::u16string_view target) {
  Recovery recovery;
  // The usual start: one look-up.
  if (platform::Files().GetEntryKind(InstallFolder(target)) == platform::EntryKind::None) {
    return recovery;
  }
  // Finishing or undoing is a change of the device like an install.
  const platform::HeldStops held;
  recovery.setAside = SetAsideForeign(target);
  if (platform::Files().GetEntryKind(InstallFolder(target)) == platform::EntryKind::None) {
    NoteRecovery(recovery);
    return recovery;
  }
  recovery.record = ReadInstallRecord(target);
  const bool recordThere =
      platform::Files().GetEntryKind(RecordPath(target)) != platform::EntryKind::None;
  const bool staging =
      platform::Files().GetEntryKind(StagingFolder(target)) != platform::EntryKind::None;
  const bool aside =
      platform::Files().GetEntryKind(OldShellFolder(target)) != platform::EntryKind::None;
  if (recovery.record && recovery.record->mode == InstallRecord::Mode::Staged) {
    recovery.what = RecoverStaged(*recovery.record, target);
  } else if (recovery.record) {
    DiscardStaging(target);
    recovery.what = Recovery::What::InterruptedInPlace;
  } else {
    // Without a record only a new shell that verifies whole in place, against
    // the staging's own list, may go forward; anything else goes back.
    if (recordThere) SetAside(target, RecordPath(target), platform::EntryKind::File);
    if (staging && NewShellVerifiesInPlace(target)) {
      recovery.what = Recovery::What::FinishedVerified;
      NoteRecovery(recovery);
      return recovery;
    }
    PutOldShellBack(target, true);
    if (recordThere || (aside && staging)) {
      recovery.what = Recovery::What::DamagedRecord;
    } else if (aside) {
      recovery.what = Recovery::What::LeftAside;
    } else if (staging) {
      recovery.what = Recovery::What::DiscardedStaging;
    }
  }
  NoteRecovery(recovery);
  return recovery;
}

bool OldShellRestored(const Recovery& recovery) {
  switch (recovery.what) {
    case Recovery::What::ForeignRecord:
    case Recovery::What::DamagedStaging:
    case Recovery::What::DamagedRecord:
    case Recovery::What::PutBack:
      return true;
    default:
      return false;
  }
}

bool IsRecordedPackage(const InstallRecord& record, std::u16string_view package) {
  InstallRecord now;
  return CanonicalDevicePath(record.package) == CanonicalDevicePath(package) &&
         DescribePackage(package, &now) && now.packageSize == record.packageSize &&
         now.packageTailCrc == record.packageTailCrc;
}

}  // namespace shellfit
