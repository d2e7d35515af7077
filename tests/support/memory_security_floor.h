// A rollback floor held in memory, for fakes of a whole device.
#pragma once

#include <map>

#include "platform/security_floor.h"

namespace test_support {

class MemorySecurityFloor : public platform::SecurityFloor {
 public:
  std::optional<uint32_t> Lowest(platform::ReleaseLine line) override {
    if (unreadable) return std::nullopt;
    return floors[line];
  }
  bool Raise(platform::ReleaseLine line, uint32_t version) override {
    if (unreadable) return false;
    if (version > floors[line]) floors[line] = version;
    return true;
  }

  std::map<platform::ReleaseLine, uint32_t> floors;
  bool unreadable = false;
};

}  // namespace test_support
