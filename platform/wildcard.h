// Name patterns of the directory search: * any run, ? any one unit, letter
// case ignored per UTF-16 unit. "*.*" matches every name, as on the device.
// Every host matches names by this rather than its own (Windows' matching in
// FindFirstFileW also matches 8.3 short names, which the device does not
// have), and so does a file system that shows host files to the device.
#pragma once

#include <string_view>

namespace platform {

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace platform
