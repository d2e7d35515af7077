// Whether the package brings a newer shell than the one installed.
#pragma once

#include <string_view>

namespace shellfit {

// True when the package's root main.exe is newer than the installed one (or
// nothing comparable is installed). Reader errors mean "not newer".
bool IsPackageNewer(std::u16string_view package, std::u16string_view target);

}  // namespace shellfit
