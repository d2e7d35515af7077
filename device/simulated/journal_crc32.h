// The journal's CRC-32: zlib's CRC (the reflected polynomial 0xEDB88320),
// computed with carry-less multiplication where the processor has it, so that
// recording every flash record costs little next to moving its bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace device {

// Same result as zlib's crc32(crc, bytes, length) for any input.
uint32_t JournalCrc32(uint32_t crc, const uint8_t* bytes, std::size_t length);

}  // namespace device
