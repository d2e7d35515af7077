// The CRC-32 and size of a file as written, for checking extracted files.
#include <zlib.h>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/shellfit.h"

namespace shellfit {

bool GetFileCrc(std::u16string_view path, uint32_t* crc, uint32_t* size) {
  // A folder (or nothing) does not open as a file.
  auto file = platform::Files().Open(path, platform::AccessRead,
                                     platform::Disposition::OpenExisting);
  if (!file) return false;
  uint64_t length = 0;
  if (!file->GetSize(&length)) return false;
  uLong sum = crc32(0, nullptr, 0);
  unsigned char chunk[1024];
  uint32_t got = 0;
  while (file->Read(chunk, sizeof chunk, &got) && got > 0) {
    sum = crc32(sum, chunk, got);
  }
  *crc = static_cast<uint32_t>(sum);
  *size = static_cast<uint32_t>(length);
  return true;
}

}  // namespace shellfit
