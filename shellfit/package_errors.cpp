// What the user sees when the package cannot be read.
#include "shellfit/package_errors.h"

#include <string>

#include "frame/update_dialog.h"
#include "platform/outcome_report.h"
#include "shellfit/package_signature.h"
#include "shellfit/shellfit.h"
#include "signature/release_check.h"

namespace shellfit {

void ReportPackageError(platform::Dialog& dialog, std::u16string_view package, int32_t code) {
  // The reader stopped because a block of the signed package no longer
  // matched: that is what happened, not a damaged package.
  if (PackageChangedInUse()) {
    platform::Outcome().Set("signature.result", platform::ReportText("changed-in-use"));
    frame::ShowMessageBox(dialog, signature::ChangedInUseText(package), kNoticeStyle);
    return;
  }
  const std::string number = std::to_string(code);
  std::u16string text(package);
  text += u" ZIP error ";
  text.append(number.begin(), number.end());
  text += u'!';
  frame::ShowMessageBox(dialog, text, kNoticeStyle);
}

}  // namespace shellfit
