// Version texts of an update: the version file beside the images (with a
// board revision) and the installed version in the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace imagefit {

// What is read of the version file: one device path's worth of bytes.
inline constexpr std::size_t kVersionFileBytes = platform::kMaxPath;

// revision << 24 | major << 16 | minor << 8 | build, parts not masked. "V" and
// four numbers give the revision as the fourth; three numbers stand for
// revision 3. 0 when the text has neither form.
uint32_t ParseImageVersion(std::string_view text);

// The first kVersionFileBytes of the version file, parsed; 0 when it cannot be read.
uint32_t ReadImageVersion(std::u16string_view path);

// "Ident" / "Version" as "V%d.%d.%d"; 0 when absent or unparsable.
uint32_t ReadInstalledVersion();

// "V%d.%d.%d" of the lower three bytes.
std::u16string FormatShownVersion(uint32_t version);

}  // namespace imagefit
