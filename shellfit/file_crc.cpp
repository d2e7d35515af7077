// The CRC-32 and size of a file as written, for checking extracted files.
#include "shellfit/file_crc.h"

#include <zlib.h>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/shellfit.h"

namespace shellfit {

// The file system refuses to open a folder as a file, so a folder fails here
// without a look at its attributes first. Large blocks keep the read-back at
// one read for most files.
bool GetFileCrc(std::u16string_view path, uint32_t* crc, uint32_t* size) {
  // A folder (or nothing) does not open as a file.
  auto file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  return file != nullptr && GetFileCrcOf(*file, crc, size);
}

bool GetFileCrcOf(platform::File& file, uint32_t* crc, uint32_t* size) {
  uint64_t length = 0;
  if (!file.GetSize(&length)) return false;
  uLong sum = crc32(0, nullptr, 0);
  unsigned char chunk[65536];
  uint32_t got = 0;
  // Reading stops at the size found, without a last read that returns nothing.
  for (uint64_t done = 0; done < length && file.Read(chunk, sizeof chunk, &got) && got > 0;
       done += got) {
    sum = crc32(sum, chunk, got);
  }
  *crc = static_cast<uint32_t>(sum);
  *size = static_cast<uint32_t>(length);
  return true;
}

}  // namespace shellfit
