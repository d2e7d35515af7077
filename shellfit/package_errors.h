// The message box for a package that cannot be read.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/dialog.h"

namespace shellfit {

// The message box for a package that cannot be read: names the file and code.
void ReportPackageError(platform::Dialog& dialog, std::u16string_view package, int32_t code);

}  // namespace shellfit
