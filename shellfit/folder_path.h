// Device folder paths: the trailing backslash and the key two paths share.
#pragma once

#include <string>
#include <string_view>

namespace shellfit {

// Appends "\" unless the folder already ends with one.
std::u16string WithBackslash(std::u16string_view folder);

// The key two device paths that name the same entry share: each component
// lower-cased after one "\" (letter case, doubled separators and "/" for "\"
// make no difference); empty for the root.
std::u16string CanonicalDevicePath(std::u16string_view path);

}  // namespace shellfit
