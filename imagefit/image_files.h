// The six files of an image set and the 107-byte header block built from the
// four BIN images before they are streamed to the flash update driver.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace imagefit {

inline constexpr uint32_t kImageHeaderSize = 15;     // sync(7), start, length
inline constexpr uint32_t kRecordHeaderSize = 12;    // address, length, checksum
inline constexpr uint32_t kMultiImageHeaderSize = 47;
inline constexpr uint32_t kRegionCount = 4;
inline constexpr uint32_t kHeaderBlockSize = kMultiImageHeaderSize + kRegionCount * kImageHeaderSize;
inline constexpr char kMultiImageSignature[7] = {'X', '0', '0', '0', 'F', 'F', '\n'};

// Offsets inside an ImageHeader and the MultiImageHeader.
inline constexpr uint32_t kImageStartOffset = 7;
inline constexpr uint32_t kImageLengthOffset = 11;
inline constexpr uint32_t kMultiChecksumOffset = 7;
inline constexpr uint32_t kMultiCountOffset = 11;
inline constexpr uint32_t kMultiRegionTableOffset = 15;
inline constexpr uint32_t kMultiRegionTableSize = 8 * kRegionCount;

// Sum of `count` bytes as unsigned values, wrapping modulo 2^32.
uint32_t SumBytes(std::size_t count, const uint8_t* bytes);

uint32_t ReadLittleEndian32(const uint8_t* bytes);
void WriteLittleEndian32(uint8_t* bytes, uint32_t value);

// Reads the four ImageHeaders (paths in region order: drivers, tinynk, nk,
// chain) and fills the header block. False when a file cannot be opened;
// bytes a short file cannot supply read as zero.
bool BuildMultiImageHeader(std::u16string_view path0, std::u16string_view path1,
                           std::u16string_view path2, std::u16string_view path3,
                           uint8_t block[kHeaderBlockSize]);

}  // namespace imagefit
