// What START does: find the package, check its signed release where the
// device asks for one, verify it, prove the device can take it, end the flash
// drive's programs, delete the old files and unpack the new ones from the
// very file that was checked.
#include "shellfit/run_sequence.h"

#include "frame/update_dialog.h"
#include "platform/dialog_controls.h"
#include "platform/held_stops.h"
#include "platform/outcome_report.h"
#include "shellfit/install_recovery.h"
#include "shellfit/package_decision.h"
#include "shellfit/package_fit.h"
#include "shellfit/package_signature.h"
#include "shellfit/shellfit.h"
#include "shellfit/staged_install.h"
#include "shellfit/update_report.h"
#include "signature/release_floor.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

uint32_t HeldLength(CZipReader& reader) {
  return reader.ArchiveFile() != nullptr ? reader.ArchiveFile()->GetLength() : 0;
}

// The package is held open from the check to the end of the extraction; a
// file system that cannot keep writers out still shows a cut or grown file
// here, before anything is ended or deleted.
void Install(platform::Dialog& dialog, CZipReader& reader, const SpareReaders& spares,
             const std::u16string& package, const PackageRelease& release, uint32_t checkedLength,
             const std::u16string& target, bool staged) {
  if (HeldLength(reader) != checkedLength) {
    const std::u16string problem =
        package + u" was changed after it was checked." + std::u16string(kNothingChanged);
    NoteRefusedFit(problem);
    frame::ShowMessageBox(dialog, problem, kNoticeStyle);
    return;
  }
  // A staged install the last start could not finish holds the old shell
  // aside: it is finished (or undone) before another begins.
  if (RecoverInterruptedInstall(target).what == Recovery::What::StagedUnfinished) {
    const std::u16string problem =
        u"The last update could not be finished yet, and another cannot begin before it is." +
        std::u16string(kNothingChanged);
    NoteRefusedFit(problem);
    frame::ShowMessageBox(dialog, problem, kNoticeStyle);
    return;
  }
  // From the first program ended to the last file checked, a stop waits.
  const platform::HeldStops held;
  std::optional<uint32_t> securityVersion;
  if (release.manifest()) securityVersion = release.manifest()->securityVersion;
  if (staged) {
    // The staged install's record carries the security version: the start
    // that places the new shell raises the floor, this one or the next.
    InstallStaged(dialog, reader, spares, package, target, securityVersion);
    return;
  }
  // Only a release wholly in place raises the device's rollback floor.
  if (InstallInPlace(dialog, reader, spares, package, target) && securityVersion) {
    signature::RaiseSecurityFloor(signature::ReleaseKind::ShellPackage, *securityVersion);
  }
}

// `status` ends the run before anything changed: one box says why. A
// package the reader stopped at as damaged may be one made with ZIP64: that
// is said in words, any other stop is the reader's error.
void Refuse(platform::Dialog& dialog, const std::u16string& package, const CZipReader* reader,
            const PackageStatus& status) {
  switch (status.kind()) {
    case PackageStatus::Kind::kUnreadable:
      if (status.zipError() == ErrBadArchive && HasZip64Records(package, reader)) {
        Refuse(dialog, package, reader, PackageStatus::Unsupported(std::u16string(kUsesZip64)));
        return;
      }
      NoteRefused(status.zipError());
      ReportPackageError(dialog, package, status.zipError());
      return;
    case PackageStatus::Kind::kUnsupported:
    case PackageStatus::Kind::kUnfit: {
      const std::u16string sentence = RefusalSentence(status);
      NoteRefusedFit(sentence);
      frame::ShowMessageBox(dialog, sentence, kNoticeStyle);
      return;
    }
    case PackageStatus::Kind::kOk:
      return;
  }
}

// The package found, from its signed release to the last file. Each check
// that refuses has shown and noted why; the order is the device's: what the
// reader cannot read is said only once the package proved to be one file.
void CheckAndInstall(platform::Dialog& dialog, const UpdateSite& site,
                     const std::u16string& package) {
  const std::u16string& target = site.targetFolder;
  PackageRelease release;  // outlives every reader of the package
  CZipReader reader;
  SpareReaders spares;
  if (!CheckPackageRelease(dialog, package, site.model, &release)) return;
  if (const PackageStatus opened = OpenHeldPackage(reader, package); !opened.ok()) {
    Refuse(dialog, package, nullptr, opened);
    return;
  }
  if (!CheckPackageInOneFile(dialog, release, reader, package)) return;
  const uint32_t checkedLength = HeldLength(reader);
  const PackageDecision decision =
      DecidePackage(reader, package, target, ReadThrough::kUnlessStaged, &dialog, &spares);
  if (!decision.status.ok()) {
    Refuse(dialog, package, &reader, decision.status);
    return;
  }
  Install(dialog, reader, spares, package, release, checkedLength, target, decision.staged);
}

}  // namespace

void RunUpdate(platform::Dialog& dialog, const UpdateSite& site) {
  dialog.EnableItem(platform::controls::kStart, false);
  dialog.EnableItem(platform::controls::kCancel, false);
  std::u16string package;
  if (FindPackage(site, &package)) {
    CheckAndInstall(dialog, site, package);
  } else {
    platform::SetOutcome(platform::RunOutcome::kNoPackage);
  }
  dialog.EndDialog(platform::IDOK);
}

}  // namespace shellfit
