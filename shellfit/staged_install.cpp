// Installing with an install record around the change. What reaches the
// medium when: see docs/power-cuts.md.
#include "shellfit/staged_install.h"

#include <vector>

#include "frame/device_identity.h"
#include "frame/update_dialog.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "platform/text.h"
#include "shellfit/old_shell_aside.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "signature/release_floor.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

// Room kept free beyond the new files' bytes: folders and allocation.
constexpr uint64_t kSpareBytes = 1 << 20;

bool InPlaceAsked() {
  std::u16string setting;
  return frame::ReadRegistryString(u"Software\\fitkit", u"ShellInstall", &setting) &&
         platform::EqualsNoCase(setting, u"in-place");
}

// The folder, then every folder below it and, with `files`, every file,
// each flushed on its own: for a host that cannot flush a whole volume. A
// folder before what it holds, so that a rename out of a folder below into
// one above (staged into place) is in both places after a cut, never in
// neither.
bool FlushTree(const std::u16string& folder, bool files) {
  bool ok = platform::Files().Flush(folder);
  for (const platform::FindData& entry : platform::Files().Find(folder + u"\\*.*")) {
    const std::u16string path = folder + u"\\" + entry.name;
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      ok = FlushTree(path, files) && ok;
    } else if (files) {
      ok = platform::Files().Flush(path) && ok;
    }
  }
  return ok;
}

// One barrier: everything written below `folder` is on the medium.
bool PutOnMedium(std::u16string_view target, const std::u16string& folder, bool files) {
  return platform::Files().FlushVolume(target) || FlushTree(folder, files);
}

// The check proved every old file deletable; one that stays anyway is said
// once, and the new files are put in place around it.
void SetOldAside(platform::Dialog* dialog, std::u16string_view target,
                 const std::u16string& package) {
  FailedDeletions failed;
  SetOldShellAside(dialog, target, OldShellFolder(target), package, &failed);
  if (failed.count == 0 || dialog == nullptr) return;
  const std::string count = std::to_string(failed.count);
  frame::ShowMessageBox(*dialog,
                        std::u16string(count.begin(), count.end()) +
                            u" old files could not be deleted, the first of them " + failed.first +
                            u". The new files are unpacked around them.",
                        kNoticeStyle);
}

void DeleteOld(platform::Dialog* dialog, const std::u16string& folder,
               const std::u16string& package) {
  FailedDeletions failed;
  DeleteOldFiles(dialog, folder, package, &failed);
  if (failed.count == 0 || dialog == nullptr) return;
  const std::string count = std::to_string(failed.count);
  frame::ShowMessageBox(*dialog,
                        std::u16string(count.begin(), count.end()) +
                            u" old files could not be deleted, the first of them " + failed.first +
                            u". The new files are unpacked around them.",
                        kNoticeStyle);
}

// The old shell goes for good once the new one is verified in place. A
// file that will not go (locked after the check) is said once, by the
// path it had, and stays aside.
void DropOld(platform::Dialog* dialog, std::u16string_view target) {
  const std::u16string old = OldShellFolder(target);
  FailedDeletions failed;
  RemoveTree(old, &failed);
  if (failed.count == 0 || dialog == nullptr) return;
  const std::string count = std::to_string(failed.count);
  frame::ShowMessageBox(*dialog,
                        std::u16string(count.begin(), count.end()) +
                            u" old files could not be deleted, the first of them " +
                            WithBackslash(target) +
                            failed.first.substr(std::min(failed.first.size(), old.size() + 1)) +
                            u". The new shell is in place; they are kept in " + old + u".",
                        kNoticeStyle);
}

// The kit's folder is made with its entry on the medium.
bool MakeStagingFolder(std::u16string_view target) {
  const std::u16string folder = InstallFolder(target);
  if (platform::Files().GetEntryKind(folder) != platform::EntryKind::Folder &&
      !(platform::Files().CreateDirectory(folder) && platform::Files().Flush(target))) {
    return false;
  }
  return platform::Files().CreateDirectory(StagingFolder(target));
}

// A refusal after the unpacking began: the old shell is still whole.
void RefuseStaged(platform::Dialog& dialog, std::u16string_view target, std::u16string_view why) {
  DiscardStaging(target);
  const std::u16string text = u"The new shell could not be installed: " + std::u16string(why) +
                              std::u16string(kNothingChanged);
  NoteRefusedFit(text);
  frame::ShowMessageBox(dialog, text, kNoticeStyle);
}

// The package turned out damaged, or to use what the reader cannot read,
// while it was being staged: said as the check before an in-place install
// says it.
void RefuseUnreadable(platform::Dialog& dialog, const CZipReader& reader,
                      const std::u16string& package, std::u16string_view target, int32_t code) {
  DiscardStaging(target);
  if (code == ErrBadArchive && HasZip64Records(package, &reader)) {
    const std::u16string text = u"The package cannot be installed: " + std::u16string(kUsesZip64) +
                                std::u16string(kNothingChanged);
    NoteRefusedFit(text);
    frame::ShowMessageBox(dialog, text, kNoticeStyle);
    return;
  }
  NoteRefused(code);
  ReportPackageError(dialog, package, code);
}

void NoteOldShell(const char* what) {
  if (platform::Outcome().Active()) {
    platform::Outcome().Set("install.old_shell", platform::ReportText(what));
  }
}

InstallRecord RecordFor(const std::u16string& package, InstallRecord::Mode mode,
                        InstallRecord::Step step) {
  InstallRecord record;
  DescribePackage(package, &record);
  record.package = package;
  record.mode = mode;
  record.step = step;
  return record;
}

}  // namespace

bool StagedInstallFits(CZipReader& reader, std::u16string_view target) {
  if (InPlaceAsked()) return false;
  const std::u16string base = WithBackslash(target);
  const std::u16string below = CanonicalDevicePath(target) + u"\\";
  uint64_t need = kSpareBytes;
  for (const auto& header : reader.Headers()) {
    const std::u16string name = header->GetEntryName();
    const std::u16string key = CanonicalDevicePath(EntryDestination(name, base));
    if (name.empty() || name[0] == u'\\' || name[0] == u'/' || !key.starts_with(below)) {
      return false;
    }
    if (!header->IsDirectory()) need += header->uncompressedSize + header->uncompressedSize / 64;
  }
  uint64_t free = 0;
  return platform::Files().GetFreeBytes(target, &free) && need <= free;
}

void DiscardStaging(std::u16string_view target) {
  const std::u16string staging = StagingFolder(target);
  if (platform::Files().GetEntryKind(staging) == platform::EntryKind::Folder) {
    // Without its list the staging can never be taken for a whole one again.
    if (platform::Files().DeleteFile(StagingListPath(target))) platform::Files().Flush(staging);
    RemoveTree(staging);
  }
  platform::Files().DeleteFile(RecordPath(target) + u".new");
  // Fails while a record is kept there.
  platform::Files().RemoveDirectory(InstallFolder(target));
}

bool PutOldShellBack(std::u16string_view target, bool takeBack) {
  const std::u16string folder(target);
  uint32_t crc = 0;
  // The new files give way only to an old shell that can come back.
  const std::u16string old = OldShellFolder(target);
  takeBack = takeBack && platform::Files().GetEntryKind(old) == platform::EntryKind::Folder;
  const auto list = takeBack ? ReadStagingList(target, &crc) : std::nullopt;
  if (list) {
    TakeBackPlacedFiles(target, *list);
    // The new files are gone from the medium before their list is.
    PutOnMedium(target, folder, false);
  }
  DiscardStaging(target);
  // What stands where an old file goes back is a copy of it that a cut left
  // in both places (the new files are gone by now): the one set aside wins.
  const std::u16string displaced = InstallFolder(target) + u"\\displaced";
  if (platform::Files().GetEntryKind(old) == platform::EntryKind::Folder) {
    MoveTreeInto(old, folder, displaced);
    PutOnMedium(target, folder, false);
    platform::Files().RemoveDirectory(old);
  }
  if (platform::Files().GetEntryKind(displaced) == platform::EntryKind::Folder) {
    RemoveTree(displaced);
  }
  DropInstallRecord(target);
  platform::Files().RemoveDirectory(InstallFolder(target));
  return platform::Files().GetEntryKind(old) == platform::EntryKind::None;
}

Finish FinishStagedInstall(platform::Dialog* dialog, const InstallRecord& record,
                           const StagingList& list, std::u16string_view target) {
  const std::u16string folder(target);
  InstallRecord next = record;
  if (record.step == InstallRecord::Step::Committed) {
    NoteInstalledVersion(target);
    NoteRemovalBegins(TerminateProcessesInFolder(folder, 0));
    SetOldAside(dialog, target, record.package);
    next.step = InstallRecord::Step::Moving;
    // Every old file is aside on the medium before the record says so; folder
    // by folder, where they went (the kit's folder, the old one in it and
    // all below) before where they left.
    const bool aside = platform::Files().FlushVolume(target) ||
                       (FlushTree(InstallFolder(target), false) && FlushTree(folder, false));
    if (!aside || !WriteInstallRecord(target, next)) {
      return Finish::Unfinished;
    }
  }
  if (record.step != InstallRecord::Step::Placed) {
    // A file the old shell kept where a new one goes (a preserved name)
    // is set aside with the rest, so that it can come back too.
    if (!MoveTreeInto(StagingFolder(target), folder, OldShellFolder(target), u".fitkit") ||
        !PutOnMedium(target, folder, false)) {
      return Finish::Unfinished;
    }
    if (!StagingVerifies(target, list, Placement::InPlace, false)) {
      return PutOldShellBack(target, true) ? Finish::PutBack : Finish::PutBackInPart;
    }
    next.step = InstallRecord::Step::Placed;
    if (!WriteInstallRecord(target, next)) return Finish::Unfinished;
  }
  DropOld(dialog, target);
  // The old shell is gone from the medium before the list that would tell
  // the new files from it.
  if (!PutOnMedium(target, InstallFolder(target), false)) return Finish::Unfinished;
  DiscardStaging(target);
  // Whatever of the old shell is left (a cut) goes at the next start.
  if (!PutOnMedium(target, InstallFolder(target), false) || !DropInstallRecord(target)) {
    return Finish::Unfinished;
  }
  platform::Files().RemoveDirectory(InstallFolder(target));
  if (record.securityVersion) {
    signature::RaiseSecurityFloor(signature::ReleaseKind::ShellPackage, *record.securityVersion);
  }
  return Finish::Placed;
}

bool InstallStaged(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                   const std::u16string& package, std::u16string_view target,
                   std::optional<uint32_t> securityVersion) {
  DiscardStaging(target);
  StagingList list{NewInstallId(), {}};
  InstallRecord record =
      RecordFor(package, InstallRecord::Mode::Staged, InstallRecord::Step::Committed);
  record.install = list.install;
  record.securityVersion = securityVersion;
  if (!MakeStagingFolder(target) || !WriteStagingList(target, list, &record.listCrc)) {
    RefuseStaged(dialog, target, u"no staging folder could be made.");
    return false;
  }
  NotePackageFiles(std::size_t(CountEntries(reader, true)));
  const Extraction staged = ExtractOpenPackage(dialog, reader, StagingFolder(target), &spares);
  if (staged.zipError != 0) {
    RefuseUnreadable(dialog, reader, package, target, staged.zipError);
    return false;
  }
  if (staged.passed != CountEntries(reader, false)) {
    RefuseStaged(dialog, target, u"not every entry could be unpacked and checked.");
    return false;
  }
  // Every staged byte, and the list of them, is on the medium before the
  // record commits to it.
  list = ListPackage(reader, list.install);
  if (!WriteStagingList(target, list, &record.listCrc) ||
      !PutOnMedium(target, InstallFolder(target), true) || !WriteInstallRecord(target, record)) {
    RefuseStaged(dialog, target, u"the staged files could not be put on the flash drive.");
    return false;
  }
  const Finish finish = FinishStagedInstall(&dialog, record, list, target);
  switch (finish) {
    case Finish::Placed:
      break;
    case Finish::Unfinished:
      platform::SetOutcome(platform::RunOutcome::kIncomplete);
      NoteOldShell("is kept aside until the next start finishes the install");
      frame::ShowMessageBox(dialog,
                            u"The new shell is unpacked but not yet in place; the old one is "
                            u"kept aside until it is. The next start of the updater finishes it.",
                            kNoticeStyle);
      break;
    case Finish::PutBack:
      platform::SetOutcome(platform::RunOutcome::kIncomplete);
      NoteOldShell("was put back: the new one did not verify in place");
      frame::ShowMessageBox(dialog,
                            u"The new shell did not verify in place: the old one was put back." +
                                std::u16string(kNothingChanged),
                            kNoticeStyle);
      break;
    case Finish::PutBackInPart:
      platform::SetOutcome(platform::RunOutcome::kIncomplete);
      NoteOldShell("was put back in part: the new one did not verify in place");
      frame::ShowMessageBox(dialog,
                            u"The new shell did not verify in place, and not all of the old one "
                            u"could be put back: what could not is kept in " +
                                OldShellFolder(target) + u".",
                            kNoticeStyle);
      break;
  }
  NoteUnpackedVersion(target);
  return finish == Finish::Placed;
}

bool InstallInPlace(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                    const std::u16string& package, std::u16string_view target) {
  const std::u16string folder(target);
  const InstallRecord record =
      RecordFor(package, InstallRecord::Mode::InPlace, InstallRecord::Step::Unpacking);
  if (!WriteInstallRecord(target, record)) {
    const std::u16string text =
        u"The update cannot begin: the flash drive does not take the record of an install "
        u"under way." +
        std::u16string(kNothingChanged);
    NoteRefusedFit(text);
    frame::ShowMessageBox(dialog, text, kNoticeStyle);
    return false;
  }
  NoteInstalledVersion(target);
  NoteRemovalBegins(TerminateProcessesInFolder(folder, 0));
  // A package kept on the flash drive itself must outlive the deletion.
  DeleteOld(&dialog, folder, package);
  const Extraction done = ExtractOpenPackage(dialog, reader, folder, &spares);
  // The package verified before; the card may have been pulled since.
  if (done.zipError != 0) ReportPackageError(dialog, package, done.zipError);
  // Only a whole shell, on the medium, lets the record go.
  const bool whole =
      done.passed == CountEntries(reader, false) && PutOnMedium(target, folder, true);
  if (whole) {
    DropInstallRecord(target);
    DiscardStaging(target);
  }
  NoteUnpackedVersion(target);
  return whole;
}

}  // namespace shellfit
