// The model a trusted comment names, as bytes the maker wrote: compared with
// the device's model exactly, with only ASCII letters folded for case, and
// shown to people without letting odd bytes through as something else.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace signature {

// The text when it is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing past U+10FFFF); nothing otherwise.
std::optional<std::u16string> DecodeStrictUtf8(std::string_view bytes);

// True when `signedModel` is the device's model: the same characters, the
// same number of them, "a".."z" and "A".."Z" taken as equal and every other
// character only as itself (the Kelvin sign is no K).
bool IsDeviceModel(std::string_view signedModel, std::u16string_view deviceModel);

// The bytes for a message box or a report: well-formed characters as they
// are, every byte of a malformed sequence and every control character as
// "\xNN".
std::u16string ShownSafely(std::string_view bytes);

}  // namespace signature
