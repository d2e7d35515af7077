// What START does: find and verify the package, end the flash drive's
// programs, delete the old files and unpack the new ones.
#include "platform/outcome_report.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"

namespace shellfit {

void RunUpdate(platform::Dialog& dialog) {
  dialog.EnableItem(1, false);
  dialog.EnableItem(2, false);
  std::u16string package;
  if (FindPackage(&package)) {
    int32_t code = 0;
    if (VerifyPackage(package, &code, &dialog)) {
      NoteInstalledVersion(TargetFolder);
      NoteRemovalBegins(TerminateProcessesInFolder(TargetFolder, 0));
      // A package kept on the flash drive itself must outlive the deletion.
      DeleteOldFiles(dialog, TargetFolder, package);
      ExtractPackage(dialog, package, TargetFolder);
      NoteUnpackedVersion(TargetFolder);
    } else {
      NoteRefused(code);
      ReportPackageError(dialog, package, code);
    }
  } else {
    platform::SetOutcome("no-package");
  }
  dialog.EndDialog(1);
}

}  // namespace shellfit
