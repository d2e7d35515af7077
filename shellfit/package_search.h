// Finding the update package in the source folder.
#pragma once

#include <string>
#include <string_view>

#include "shellfit/update_site.h"

namespace shellfit {

// "<source folder>\<model> SHELL.ZIP", else the first *.zip of the source
// folder when its upper-cased name holds " SHELL.ZIP".
bool FindPackage(const UpdateSite& site, std::u16string* out);

// The name looked for first: "<model> SHELL.ZIP".
std::u16string PackageNameFor(std::u16string_view model);

// Whether a *.zip not so named is taken all the same when it is the first
// the folder lists: its upper-cased name holds " SHELL.ZIP".
bool IsOtherPackageName(std::u16string_view name);

}  // namespace shellfit
