// Name patterns of the directory search: * any run, ? any one unit, letter
// case ignored per UTF-16 unit. "*.*" matches every name, as on the device.
// Every host matches names itself: Windows' own matching in FindFirstFileW
// also matches 8.3 short names, which the device does not have.
#pragma once

#include <string_view>

namespace host {

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace host
