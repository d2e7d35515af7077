// Whether the package brings a newer shell than the one installed.
#pragma once

#include <optional>
#include <string_view>

namespace shellfit {

// True when the package's root main.exe is newer than the installed one (or
// nothing comparable is installed). Reader errors mean "not newer".
bool IsPackageNewer(std::u16string_view package, std::u16string_view target);

// The rule "/upgrade" goes by, on the two versions: a shell whose main.exe
// has no version, or a packaged main.exe without one, counts as newer; a
// package without main.exe (`packaged` none) does not, unless nothing is
// installed; otherwise only a higher version does.
bool IsNewerShell(std::u16string_view installed, std::optional<std::u16string_view> packaged);

}  // namespace shellfit
