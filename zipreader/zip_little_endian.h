// Little-endian fields of ZIP records, read the same way on any host.
#pragma once

#include <cstdint>

inline uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline bool HasSignature(const uint8_t* p, uint8_t third, uint8_t fourth) {
  return p[0] == 0x50 && p[1] == 0x4B && p[2] == third && p[3] == fourth;
}
