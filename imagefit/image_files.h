// The six files of an image set and the 107-byte header block built from the
// four BIN images before they are streamed to the flash update driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/flash_protocol.h"

namespace imagefit {

class HeldImageFiles;

using namespace platform::protocol;

inline constexpr uint32_t kHeaderBlockSize =
    kMultiImageHeaderSize + kRegionCount * kImageHeaderSize;

// Reads the four ImageHeaders (paths in region order: drivers, tinynk, nk,
// chain) and fills the header block. False when a file cannot be opened;
// bytes a short file cannot supply read as zero. The files come from `held`
// where it serves them.
bool BuildMultiImageHeader(std::u16string_view path0, std::u16string_view path1,
                           std::u16string_view path2, std::u16string_view path3,
                           uint8_t block[kHeaderBlockSize], HeldImageFiles* held = nullptr);

}  // namespace imagefit
