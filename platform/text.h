// Text helpers shared by every part of the kit: UTF-16 strings as the device
// uses them, conversions to the host's UTF-8, and per-unit case mapping.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Every path, registry value and status text on the device holds at most this
// many UTF-16 units, terminator included.
inline constexpr std::size_t kMaxPath = 260;

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Lower/upper-cases one UTF-16 unit the way the device's wide-character
// runtime does (towlower/towupper in a UTF-8 locale), one unit at a time.
char16_t LowerUnit(char16_t unit);
char16_t UpperUnit(char16_t unit);
std::u16string ToLower(std::u16string_view text);
std::u16string ToUpper(std::u16string_view text);
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

// The components of a device path: "\" and "/" both separate, and empty
// components (doubled or trailing separators) are dropped.
std::vector<std::u16string> SplitPathComponents(std::u16string_view path);

}  // namespace platform
