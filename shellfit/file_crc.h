// The CRC-32 of a written file, checked against its entry.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {
class File;
}

namespace shellfit {

// zlib's CRC-32 and the size (low 32 bits) of a whole file; outputs untouched
// on failure. Folders cannot be read this way.
bool GetFileCrc(std::u16string_view path, uint32_t* crc, uint32_t* size);
// The same of a file open to be read, from where it stands.
bool GetFileCrcOf(platform::File& file, uint32_t* crc, uint32_t* size);

}  // namespace shellfit
