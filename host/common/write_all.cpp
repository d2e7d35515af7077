#include "host/common/write_all.h"

#include <cerrno>

namespace host {

bool WriteAllBytes(WriteSomeCall write, int fd, const char* bytes, std::size_t count) {
  while (count > 0) {
    const long n = write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= std::size_t(n);
  }
  return true;
}

}  // namespace host
