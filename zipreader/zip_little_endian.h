// Little-endian fields of ZIP records and their signatures.
#pragma once

#include <cstdint>

#include "platform/byte_order.h"

using platform::LoadLe16;
using platform::LoadLe32;

inline bool HasSignature(const uint8_t* p, uint8_t third, uint8_t fourth) {
  return p[0] == 0x50 && p[1] == 0x4B && p[2] == third && p[3] == fourth;
}
