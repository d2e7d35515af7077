// What the user sees when the package cannot be read.
#include "shellfit/package_errors.h"

#include <string>

#include "frame/update_dialog.h"
#include "shellfit/shellfit.h"

namespace shellfit {

void ReportPackageError(platform::Dialog& dialog, std::u16string_view package, int32_t code) {
  const std::string number = std::to_string(code);
  std::u16string text(package);
  text += u" ZIP error ";
  text.append(number.begin(), number.end());
  text += u'!';
  frame::ShowMessageBox(dialog, text, kNoticeStyle);
}

}  // namespace shellfit
