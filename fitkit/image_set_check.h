// What an image set holds and what imagefit would make of it: the six
// images, the version file beside them, and the BIN images' records, read on
// the host; against a device, its board revision, power and drivers too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fitkit/findings.h"

namespace device {
class DeviceConfig;
}

namespace fitkit {

struct BinFacts {
  uint32_t start = 0;
  uint32_t length = 0;
  uint32_t records = 0;
  std::string problem;  // empty when the image reads through
};

struct ImageFacts {
  std::string name;
  std::filesystem::path path;  // empty when missing
  uint64_t size = 0;
  std::optional<BinFacts> bin;  // for the four BIN images
};

struct ImageSetFacts {
  std::vector<ImageFacts> images;  // the six, in the order imagefit tests them
  std::string versionFile;         // its name; empty when there is none
  std::string versionText;         // "V1.0.7"
  uint32_t versionCode = 0;        // revision << 24 | major << 16 | minor << 8 | build
  uint32_t revision = 0;
};

ImageSetFacts InspectImageSet(const std::filesystem::path& folder);

// The images complete and well formed, the version readable; with `device`,
// `boardRevision` and `installed`, what the run would ask or stop at there.
Findings CheckImageSet(const ImageSetFacts& facts, const device::DeviceConfig* device,
                       uint32_t installed);

// The BIN image's structure: sync bytes, records inside the image, their
// checksums, the end record.
BinFacts ReadBinImage(const std::filesystem::path& file);

}  // namespace fitkit
