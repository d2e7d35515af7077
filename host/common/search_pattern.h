// How both hosts read the device paths they are given for opening and
// searching: the parts themselves come from SplitPathComponents.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host {

// A path ending in a separator names a folder, never a file to open or a
// name pattern to search for.
bool EndsWithSeparator(std::u16string_view path);

// The folder part of a search pattern split into its parts, as a device
// path ("\" for a pattern in the root).
std::u16string FolderOf(const std::vector<std::u16string>& parts);

}  // namespace host
