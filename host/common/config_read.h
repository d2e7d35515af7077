// The host-neutral half of reading a configuration file (host/config_file.h):
// reading an open file up to its limit, and the messages for a file that is
// there but cannot be used. Each host opens the file its own way.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace host {

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, negative
// on failure.
using ReadSome = std::function<long(char* buffer, std::size_t size)>;

// The file's bytes, read with `read` until the end; none when reading fails
// or the file holds more than `limit` bytes, reported on stderr under `name`
// (for a file too large, at the line where the limit is crossed).
std::optional<std::string> ReadWithinLimit(const std::string& name, std::size_t limit,
                                           const ReadSome& read);

// Reports on stderr that the file `name` is not read, and `why`.
void ReportNotRead(const std::string& name, const char* why);

}  // namespace host
