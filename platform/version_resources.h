// Version resources of executables (GetFileVersionInfo / VerQueryValue).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class VersionResources {
 public:
  virtual ~VersionResources() = default;
  // The raw VS_VERSIONINFO block of the file's version resource; none when the
  // file is missing, is no readable executable or has no version resource.
  virtual std::optional<std::vector<uint8_t>> ReadVersionBlock(std::u16string_view path) = 0;
};

}  // namespace platform
