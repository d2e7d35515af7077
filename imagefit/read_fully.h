// Reads until `count` bytes arrived or the file has no more.
#pragma once

#include <cstdint>

#include "platform/file_system.h"

namespace imagefit {

// The number of bytes read; fewer than `count` only at the end of the file or
// on a read error.
inline uint32_t ReadFully(platform::File& file, void* buffer, uint32_t count) {
  uint8_t* bytes = static_cast<uint8_t*>(buffer);
  uint32_t total = 0;
  while (total < count) {
    uint32_t got = 0;
    if (!file.Read(bytes + total, count - total, &got) || got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace imagefit
