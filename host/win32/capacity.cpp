// The drive's capacity on Windows: the regular files under <root>\fs
// counted through the standard library; the real drive's free space still
// applies as well.
#include "host/common/drive_capacity.h"

#include <system_error>

namespace host {
namespace fs = std::filesystem;

uint64_t DriveCapacity::Measure() const {
  uint64_t total = 0;
  std::error_code error;
  fs::recursive_directory_iterator it(fsRoot_, fs::directory_options::skip_permission_denied,
                                      error);
  for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
    std::error_code entryError;
    if (it->is_symlink(entryError) || !it->is_regular_file(entryError)) continue;
    const auto size = it->file_size(entryError);
    if (!entryError) total += size;
  }
  return total;
}

}  // namespace host
