// The device's UTF-16 text and the Win32 API's wide strings: the same units
// (wchar_t is 16 bits on Windows), so each converts to the other one to one.
#pragma once

#include <string>
#include <string_view>

namespace host {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide strings are UTF-16");

inline std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}
inline std::u16string Units(std::wstring_view text) {
  return std::u16string(text.begin(), text.end());
}

}  // namespace host
