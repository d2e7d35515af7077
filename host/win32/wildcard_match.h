// The device's wildcard match for directory searches: "*" any run, "?" one
// UTF-16 unit, case-insensitive, "*.*" every name. Windows' own matching in
// FindFirstFileW also matches 8.3 short names, so the host lists all entries
// and matches them here.
#pragma once

#include <string_view>

namespace platform {

bool MatchDeviceWildcard(std::u16string_view pattern, std::u16string_view name);

}  // namespace platform
