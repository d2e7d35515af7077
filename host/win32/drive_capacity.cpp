#include "host/win32/drive_capacity.h"

#include <system_error>

namespace platform {
namespace fs = std::filesystem;

DriveCapacity::DriveCapacity(fs::path fsRoot, uint64_t capacity)
    : fsRoot_(std::move(fsRoot)), capacity_(capacity) {}

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

bool DriveCapacity::Reserve(uint64_t growth) {
  if (capacity_ == 0 || growth == 0) return true;
  if (!used_ || *used_ + growth > capacity_) used_ = Measure();
  if (growth > capacity_ || *used_ > capacity_ - growth) return false;
  *used_ += growth;
  return true;
}

uint64_t DriveCapacity::Free() {
  used_ = Measure();
  return *used_ >= capacity_ ? 0 : capacity_ - *used_;
}

void DriveCapacity::Release(uint64_t bytes) {
  if (!used_) return;
  *used_ = bytes > *used_ ? 0 : *used_ - bytes;
}

}  // namespace platform
