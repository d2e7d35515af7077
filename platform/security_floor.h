// The device's rollback floor: for each line of releases, the highest
// security version it has installed, kept where no update reaches, so that a
// release signed long ago (and since found wanting) cannot be installed again.
#pragma once

#include <cstdint>
#include <optional>

namespace platform {

// The two kinds of release the device installs, each with a floor of its own.
enum class ReleaseLine { kShell, kSystem };

class SecurityFloor {
 public:
  virtual ~SecurityFloor() = default;
  // The lowest security version the device accepts on `line`: 0 until a
  // release raised it; none when the device's record of it cannot be read.
  virtual std::optional<uint32_t> Lowest(ReleaseLine line) = 0;
  // Keeps `version` as the line's floor when it is above the one kept, on the
  // medium before the call returns; false when it could not be kept.
  virtual bool Raise(ReleaseLine line, uint32_t version) = 0;
};

}  // namespace platform
