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
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
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

bool IsFolder(std::u16string_view path) {
  const uint32_t attributes = platform::Files().GetAttributes(path);
  return attributes != platform::kInvalidAttributes &&
         (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Every folder below `folder` and, with `files`, every file flushed on its
// own, then the folder itself: for a host that cannot flush a whole volume.
bool FlushTree(const std::u16string& folder, bool files) {
  bool ok = true;
  for (const platform::FindData& entry : platform::Files().Find(folder + u"\\*.*")) {
    const std::u16string path = folder + u"\\" + entry.name;
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      ok = FlushTree(path, files) && ok;
    } else if (files) {
      ok = platform::Files().Flush(path) && ok;
    }
  }
  return platform::Files().Flush(folder) && ok;
}

// One barrier: everything written below `folder` is on the medium.
bool PutOnMedium(std::u16string_view target, const std::u16string& folder, bool files) {
  return platform::Files().FlushVolume(target) || FlushTree(folder, files);
}

// Moves what `from` holds into `to`: a folder `to` lacks in one step where
// the host can, else folder by folder; a folder the old shell kept (it
// holds a preserved file) takes the new entries as it is.
bool MoveInto(const std::u16string& from, const std::u16string& to) {
  bool ok = true;
  for (const platform::FindData& entry : platform::Files().Find(from + u"\\*.*")) {
    const std::u16string source = from + u"\\" + entry.name;
    const std::u16string destination = to + u"\\" + entry.name;
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      if (!IsFolder(destination)) {
        // Where the host can, a folder nothing was kept in moves whole, in
        // one step: either the staged folder or the one in place holds it all.
        if (platform::Files().MoveFolder(source, destination)) continue;
        ok = platform::Files().CreateDirectory(destination) && ok;
        platform::Files().SetAttributes(destination, entry.attributes);
      }
      ok = MoveInto(source, destination) && ok;
      platform::Files().RemoveDirectory(source);
    } else {
      ok = platform::Files().MoveFile(source, destination) && ok;
    }
  }
  return ok;
}

void RemoveTree(const std::u16string& folder) {
  for (const platform::FindData& entry : platform::Files().Find(folder + u"\\*.*")) {
    const std::u16string path = folder + u"\\" + entry.name;
    if (entry.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) {
      RemoveTree(path);
    } else {
      frame::ForceDeleteFile(path);
    }
  }
  platform::Files().RemoveDirectory(folder);
}

// The check proved every old file deletable; one that stays anyway is said
// once, and the new files are put in place around it.
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
  if (IsFolder(staging)) RemoveTree(staging);
  platform::Files().DeleteFile(InstallFolder(target) + u"\\install.new");
  // Fails while a record is kept there.
  platform::Files().RemoveDirectory(InstallFolder(target));
}

bool FinishStagedInstall(platform::Dialog* dialog, const InstallRecord& record,
                         std::u16string_view target) {
  const std::u16string folder(target);
  if (record.step == InstallRecord::Step::Committed) {
    NoteInstalledVersion(target);
    NoteRemovalBegins(TerminateProcessesInFolder(folder, 0));
    DeleteOld(dialog, folder, record.package);
    InstallRecord moving = record;
    moving.step = InstallRecord::Step::Moving;
    // The deletions reach the medium before the record says they are done.
    if (!PutOnMedium(target, folder, false) || !WriteInstallRecord(target, moving)) return false;
  }
  if (!MoveInto(StagingFolder(target), folder)) return false;
  if (!PutOnMedium(target, folder, false) || !DropInstallRecord(target)) return false;
  DiscardStaging(target);
  return true;
}

void InstallStaged(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
                   const std::u16string& package, std::u16string_view target) {
  DiscardStaging(target);
  const std::u16string staging = StagingFolder(target);
  const bool made = (IsFolder(InstallFolder(target)) ||
                     platform::Files().CreateDirectory(InstallFolder(target))) &&
                    platform::Files().CreateDirectory(staging);
  if (!made) return RefuseStaged(dialog, target, u"no staging folder could be made.");
  NotePackageFiles(std::size_t(CountEntries(reader, true)));
  int32_t zipError = 0;
  const int passed = ExtractOpenPackage(dialog, reader, package, staging, &spares, &zipError);
  if (zipError != 0) return RefuseUnreadable(dialog, reader, package, target, zipError);
  if (passed != CountEntries(reader, false)) {
    return RefuseStaged(dialog, target, u"not every entry could be unpacked and checked.");
  }
  // Every staged byte is on the medium before the record commits to it.
  const InstallRecord record =
      RecordFor(package, InstallRecord::Mode::Staged, InstallRecord::Step::Committed);
  if (!PutOnMedium(target, InstallFolder(target), true) || !WriteInstallRecord(target, record)) {
    return RefuseStaged(dialog, target, u"the staged files could not be put on the flash drive.");
  }
  if (!FinishStagedInstall(&dialog, record, target)) {
    platform::SetOutcome(platform::RunOutcome::kIncomplete);
    frame::ShowMessageBox(dialog,
                          u"The new shell is unpacked but not yet in place. The next start of "
                          u"the updater finishes it.",
                          kNoticeStyle);
  }
  NoteUnpackedVersion(target);
}

void InstallInPlace(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
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
    return;
  }
  NoteInstalledVersion(target);
  NoteRemovalBegins(TerminateProcessesInFolder(folder, 0));
  // A package kept on the flash drive itself must outlive the deletion.
  DeleteOld(&dialog, folder, package);
  const int passed = ExtractOpenPackage(dialog, reader, package, folder, &spares);
  // Only a whole shell, on the medium, lets the record go.
  if (passed == CountEntries(reader, false) && PutOnMedium(target, folder, true)) {
    DropInstallRecord(target);
    DiscardStaging(target);
  }
  NoteUnpackedVersion(target);
}

}  // namespace shellfit
