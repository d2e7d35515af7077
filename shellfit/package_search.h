// Finding the update package in the source folder.
#pragma once

#include <string>

namespace shellfit {

// "<SourceFolder>\<Model> SHELL.ZIP", else the first *.zip of the source
// folder when its upper-cased name holds " SHELL.ZIP".
bool FindPackage(std::u16string* out);

}  // namespace shellfit
