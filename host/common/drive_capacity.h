// The capacity of the simulated drive ([fs] capacity of device.ini): the
// bytes all files under fs/ may hold together. A write that would pass it
// fails as a whole, as on a full drive. The bookkeeping is the same on every
// host; host/linux/ and host/win32/ each implement Measure().
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

namespace host {

class DriveCapacity {
 public:
  // `capacity` 0 means no limit.
  DriveCapacity(std::filesystem::path fsRoot, uint64_t capacity);

  bool Limited() const { return capacity_ != 0; }
  // True when the files may grow by `growth` bytes; counts them if so.
  bool Reserve(uint64_t growth);
  // Files shrank or went away.
  void Release(uint64_t bytes);
  // The bytes the regular files under fs/ hold now (links and reparse
  // points count nothing).
  uint64_t Measure() const;
  // What the files may still grow by, measured afresh.
  uint64_t Free();
  // What the files hold beyond the capacity, measured afresh (0 within it).
  uint64_t Overdrawn();
  // GetFreeBytes for a path that exists: what the capacity leaves when one
  // is set, else what `hostFree` reads from the host's volume.
  bool FreeBytes(uint64_t* bytes, const std::function<bool(uint64_t*)>& hostFree);

 private:
  std::filesystem::path fsRoot_;
  uint64_t capacity_;
  // What this process believes the files hold; measured again whenever a
  // write would not fit, so changes made outside the kit are caught then.
  std::optional<uint64_t> used_;
};

}  // namespace host
