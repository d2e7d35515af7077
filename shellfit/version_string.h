// The FileVersion string of a file's version resource.
#pragma once

#include <string>
#include <string_view>

namespace shellfit {

// The FileVersion string of the file's first translation. False only when the
// file is missing or has no version resource; true with an empty `out` when
// the translation or the string is missing.
bool GetFileVersionString(std::u16string_view path, std::u16string* out);

}  // namespace shellfit
