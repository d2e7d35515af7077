#include "imagefit/image_files.h"

#include <cstring>
#include <memory>

#include "imagefit/held_image_files.h"
#include "platform/byte_order.h"
#include "platform/environment.h"
#include "platform/file_system.h"

namespace imagefit {

namespace {

// A word read into a zeroed value: whatever the file still holds fills the
// low bytes, the rest stays zero; the read's outcome does not matter.
uint32_t ReadWordOrZero(platform::File& file) {
  uint8_t bytes[4] = {};
  uint32_t got = 0;
  file.Read(bytes, 4, &got);
  return platform::LoadLe32(bytes);
}

bool ReadRegionHeader(std::u16string_view path, uint32_t region, uint8_t* block,
                      HeldImageFiles* held) {
  std::unique_ptr<platform::File> file = OpenImageFile(path, held);
  if (!file) return false;
  uint8_t* slot = block + kMultiImageHeaderSize + region * kImageHeaderSize;
  for (uint32_t i = 0; i < kImageStartOffset; ++i) {
    uint32_t got = 0;
    file->Read(slot + i, 1, &got);
  }
  const uint32_t start = ReadWordOrZero(*file);
  const uint32_t length = ReadWordOrZero(*file);
  uint8_t* entry = block + kMultiRegionTableOffset + 8 * region;
  platform::StoreLe32(entry, start);
  platform::StoreLe32(entry + 4, length);
  platform::StoreLe32(slot + kImageStartOffset, start);
  platform::StoreLe32(slot + kImageLengthOffset, length);
  return true;
}

}  // namespace

bool BuildMultiImageHeader(std::u16string_view path0, std::u16string_view path1,
                           std::u16string_view path2, std::u16string_view path3,
                           uint8_t block[kHeaderBlockSize], HeldImageFiles* held) {
  std::memset(block, 0, kHeaderBlockSize);
  const std::u16string_view paths[kRegionCount] = {path0, path1, path2, path3};
  for (uint32_t region = 0; region < kRegionCount; ++region) {
    if (!ReadRegionHeader(paths[region], region, block, held)) return false;
  }
  std::memcpy(block, kMultiImageSignature, sizeof kMultiImageSignature);
  platform::StoreLe32(block + kMultiCountOffset, kRegionCount);
  platform::StoreLe32(block + kMultiChecksumOffset,
                      platform::SumBytes(block + kMultiRegionTableOffset, kMultiRegionTableSize));
  return true;
}

}  // namespace imagefit
