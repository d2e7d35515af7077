// The updater's program-wide values: set by the entry before the dialog
// exists and unchanged for the life of the process.
#include "shellfit/shellfit.h"

namespace shellfit {

std::u16string Model;
std::u16string SourceFolder;
std::u16string TargetFolder;
bool ForceStart = false;

}  // namespace shellfit
