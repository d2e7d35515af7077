// Reading a device root's configuration files (device.ini, registry.reg):
// only a regular file counts, so a named pipe, a device or a folder in its
// place reads as missing instead of hanging the program or growing without
// end, and a file larger than the limit is not read at all.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace host {

inline constexpr std::size_t kDeviceIniLimit = 1u << 20;      // 1 MB
inline constexpr std::size_t kRegistryFileLimit = 16u << 20;  // 16 MB

// The file's bytes; none when it is missing, not a regular file, unreadable
// or larger than `limit` bytes. What is there but cannot be used is reported
// on stderr as "<file>:<line>: ..." (for a file too large, the line where
// the limit is crossed).
std::optional<std::string> ReadConfigFile(const std::filesystem::path& file, std::size_t limit);

}  // namespace host
