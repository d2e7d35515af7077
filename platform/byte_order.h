// Little-endian fields and byte sums, read the same way on any host: the ZIP
// records, the PE and version resources and the BIN images all store their
// numbers least significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline uint16_t LoadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

inline uint32_t LoadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLe32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The sum of `count` bytes as unsigned values, modulo 2^32 (the BIN record
// and header checksums).
uint32_t SumBytes(const uint8_t* bytes, std::size_t count);

}  // namespace platform
