#include "host/common/config_read.h"

#include <algorithm>
#include <cstdio>

namespace host {

std::optional<std::string> ReadWithinLimit(const std::string& name, std::size_t limit,
                                           const ReadSome& read) {
  std::string bytes;
  char buffer[65536];
  // One read past the limit is enough to know the file is too large.
  while (bytes.size() <= limit) {
    const long n = read(buffer, sizeof buffer);
    if (n < 0) {
      ReportNotRead(name, "cannot be read");
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.append(buffer, std::size_t(n));
  }
  if (bytes.size() > limit) {
    const auto line = 1 + std::count(bytes.begin(), bytes.begin() + long(limit), '\n');
    std::fprintf(stderr, "%s:%ld: larger than the limit of %zu bytes; not read\n", name.c_str(),
                 long(line), limit);
    return std::nullopt;
  }
  return bytes;
}

void ReportNotRead(const std::string& name, const char* why) {
  std::fprintf(stderr, "%s:1: %s; not read\n", name.c_str(), why);
}

}  // namespace host
