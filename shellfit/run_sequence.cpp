// What START does: find and verify the package, end the flash drive's
// programs, delete the old files and unpack the new ones.
#include "shellfit/shellfit.h"

namespace shellfit {

void RunUpdate(platform::Dialog& dialog) {
  dialog.EnableItem(1, false);
  dialog.EnableItem(2, false);
  std::u16string package;
  if (FindPackage(&package)) {
    int32_t code = 0;
    if (VerifyPackage(package, &code, &dialog)) {
      TerminateProcessesInFolder(TargetFolder, 0);
      // A package kept on the flash drive itself must outlive the deletion.
      DeleteOldFiles(dialog, TargetFolder, package);
      ExtractPackage(dialog, package, TargetFolder);
    } else {
      ReportPackageError(dialog, package, code);
    }
  }
  dialog.EndDialog(1);
}

}  // namespace shellfit
