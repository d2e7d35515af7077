#include "host/common/drive_capacity.h"

namespace host {

DriveCapacity::DriveCapacity(std::filesystem::path fsRoot, uint64_t capacity)
    : fsRoot_(std::move(fsRoot)), capacity_(capacity) {}

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

uint64_t DriveCapacity::Overdrawn() {
  used_ = Measure();
  return *used_ > capacity_ ? *used_ - capacity_ : 0;
}

bool DriveCapacity::FreeBytes(uint64_t* bytes, const std::function<bool(uint64_t*)>& hostFree) {
  if (!Limited()) return hostFree(bytes);
  *bytes = Free();
  return true;
}

void DriveCapacity::Release(uint64_t bytes) {
  if (!used_) return;
  *used_ = bytes > *used_ ? 0 : *used_ - bytes;
}

}  // namespace host
