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
#include "shellfit/package_fit.h"
#include "shellfit/package_signature.h"
#include "shellfit/shellfit.h"
#include "shellfit/staged_install.h"
#include "shellfit/update_report.h"
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
             const std::u16string& package, uint32_t checkedLength, bool staged) {
  if (HeldLength(reader) != checkedLength) {
    const std::u16string problem =
        package + u" was changed after it was checked." + std::u16string(kNothingChanged);
    NoteRefusedFit(problem);
    frame::ShowMessageBox(dialog, problem, kNoticeStyle);
    return;
  }
  // A staged install the last start could not finish holds the old shell
  // aside: it is finished (or undone) before another begins.
  if (RecoverInterruptedInstall(TargetFolder).what == Recovery::What::StagedUnfinished) {
    const std::u16string problem =
        u"The last update could not be finished yet, and another cannot begin before it is." +
        std::u16string(kNothingChanged);
    NoteRefusedFit(problem);
    frame::ShowMessageBox(dialog, problem, kNoticeStyle);
    return;
  }
  // From the first program ended to the last file checked, a stop waits.
  const platform::HeldStops held;
  if (staged) {
    InstallStaged(dialog, reader, spares, package, TargetFolder);
  } else {
    InstallInPlace(dialog, reader, spares, package, TargetFolder);
  }
}

// `problem` ends the run before anything changed: one box says why.
void RefuseUnfit(platform::Dialog& dialog, std::u16string problem) {
  if (!problem.starts_with(u"The package")) {
    problem = u"The package cannot be installed: " + problem + std::u16string(kNothingChanged);
  }
  NoteRefusedFit(problem);
  frame::ShowMessageBox(dialog, problem, kNoticeStyle);
}

// A package the reader stopped at: ZIP64 is said in words, anything else
// is the reader's error.
void RefuseUnreadable(platform::Dialog& dialog, const std::u16string& package,
                      const CZipReader* reader, int32_t code) {
  if (code == ErrBadArchive && HasZip64Records(package, reader)) {
    RefuseUnfit(dialog, std::u16string(kUsesZip64));
    return;
  }
  NoteRefused(code);
  ReportPackageError(dialog, package, code);
}

}  // namespace

void RunUpdate(platform::Dialog& dialog) {
  dialog.EnableItem(platform::controls::kStart, false);
  dialog.EnableItem(platform::controls::kCancel, false);
  std::u16string package;
  if (FindPackage(&package)) {
    PackageRelease release;  // outlives every reader of the package
    CZipReader reader;
    SpareReaders spares;
    int32_t code = 0;
    std::u16string problem;
    // The declared sizes are weighed against the room before a byte is
    // inflated: a package too large for the device is refused at once.
    if (!CheckPackageRelease(dialog, package, &release)) {
      // refused in words: shown and noted
    } else if (!OpenHeldPackage(reader, package, &code, &problem) && problem.empty()) {
      RefuseUnreadable(dialog, package, nullptr, code);
    } else if (!CheckPackageInOneFile(dialog, reader, package)) {
      // refused in words: shown and noted
    } else if (const uint32_t checkedLength = HeldLength(reader);
               !problem.empty() || !CheckPackageFits(reader, package, TargetFolder, &problem)) {
      RefuseUnfit(dialog, problem);
    } else if (const bool staged = StagedInstallFits(reader, TargetFolder);
               // Staging reads and checks every byte before anything is
               // deleted: only the in-place order reads the package ahead.
               !staged && !ReadPackageThrough(reader, package, &code, &dialog, &spares)) {
      RefuseUnreadable(dialog, package, &reader, code);
    } else {
      if (staged) OpenSpareReaders(reader, package, &spares);
      Install(dialog, reader, spares, package, checkedLength, staged);
    }
  } else {
    platform::SetOutcome(platform::RunOutcome::kNoPackage);
  }
  dialog.EndDialog(platform::IDOK);
}

}  // namespace shellfit
