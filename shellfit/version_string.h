// The FileVersion string of a file's version resource.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace shellfit {

// The FileVersion string of the file's first translation. False only when the
// file is missing or has no version resource; true with an empty `out` when
// the translation or the string is missing.
bool GetFileVersionString(std::u16string_view path, std::u16string* out);

// The same string read from a version resource already in memory (a
// packaged main.exe's): empty without a translation or a FileVersion.
std::u16string FileVersionIn(const std::vector<uint8_t>& block);

}  // namespace shellfit
