// The capacity of the simulated drive ([fs] capacity of device.ini): the bytes
// all files under <root>\fs may hold together. A write that would pass it
// fails as a whole, as on a full drive. The same rule as the Linux host's;
// the real drive's free space still applies as well.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

namespace platform {

class DriveCapacity {
 public:
  // `capacity` 0 means no limit.
  DriveCapacity(std::filesystem::path fsRoot, uint64_t capacity);

  bool Limited() const { return capacity_ != 0; }
  // True when the files may grow by `growth` bytes; counts them if so.
  bool Reserve(uint64_t growth);
  // Files shrank or went away.
  void Release(uint64_t bytes);
  // The bytes the limit still leaves, measured afresh.
  uint64_t Free();

 private:
  // The bytes the regular files under fs hold now (reparse points count nothing).
  uint64_t Measure() const;

  std::filesystem::path fsRoot_;
  uint64_t capacity_;
  // What this process believes the files hold; measured again whenever a
  // write would not fit, so changes made outside the kit are caught then.
  std::optional<uint64_t> used_;
};

}  // namespace platform
