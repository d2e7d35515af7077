// Writing all of a run of bytes to a descriptor, which the host's write call
// may take in parts: the device root's files and the report's file.
#pragma once

#include <cstddef>

namespace host {

// Some of `count` bytes; the number written, or -1 with errno set.
using WriteSomeCall = long (*)(int fd, const char* bytes, std::size_t count);

// All of `count` bytes, however many calls it takes (a call the signals
// interrupted is made again); false when one fails or writes nothing.
bool WriteAllBytes(WriteSomeCall write, int fd, const char* bytes, std::size_t count);

}  // namespace host
