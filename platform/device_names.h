// The names the device's file system allows for a file or folder.
#pragma once

#include <string_view>

namespace platform {

// False for an empty name and for one holding a character the device
// refuses in a name: \ / : * ? " < > | and the control characters below
// U+0020. Portable: callers may check a name before asking for it.
bool IsValidDeviceName(std::u16string_view name);

}  // namespace platform
