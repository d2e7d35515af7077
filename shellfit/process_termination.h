// Ending the programs that run from the flash drive.
#pragma once

#include <string_view>

namespace shellfit {

// Ends every process whose program path matches `folder`: mode < 0 equal,
// 0 prefix, > 0 suffix (all ignoring case). Returns how many were ended.
int TerminateProcessesInFolder(std::u16string_view folder, int mode);

}  // namespace shellfit
