// What an image set holds and what imagefit would make of it, read with
// imagefit's own code through a device's services (a CheckedDevice installed,
// the set shown to it): the six images, the version file, the BIN images'
// records; against a real device, the board revision question too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "fitkit/findings.h"
#include "fitkit/headless_dialog.h"
#include "imagefit/image_set_check.h"

namespace device {
class DeviceConfig;
}

namespace fitkit {

struct ImageFacts {
  std::string name;            // imagefit's name for it: "nboot.bin"
  std::filesystem::path path;  // the host file, as named in its folder; empty when missing
  uint64_t size = 0;
  std::optional<imagefit::BinImageFacts> bin;  // for the four BIN images, when read
};

struct ImageSetFacts {
  std::vector<ImageFacts> images;  // the six, in the order imagefit tests them
  std::string versionFile;         // its name as it lies; empty when there is none
  std::string versionText;         // "V1.0.7"
  uint32_t versionCode = 0;        // revision << 24 | major << 16 | minor << 8 | build
  uint32_t revision = 0;
  uint32_t installed = 0;  // the device's OS version
  bool complete = false;   // all six there: imagefit shows its dialog
  imagefit::ImageSet set;  // as imagefit located it, for START's decision
};

// The set in the device folder `folder` (the host folder `hostFolder`) as
// imagefit finds it; `readBins` reads each BIN image through to its end
// record.
ImageSetFacts InspectImageSet(const std::u16string& folder, const std::filesystem::path& hostFolder,
                              bool readBins);

// The same for a host folder, shown to a scratch device.
ImageSetFacts InspectImageSet(const std::filesystem::path& folder, bool readBins = false);

// What imagefit would do with the set InspectImageSet just read: end at once
// without all six images, else what START would ask and refuse; `revision`
// answers the board revision question as rehearse would. Without `device` (a
// scratch device) the board is not known: no revision question.
Findings CheckImageSet(const ImageSetFacts& facts, const device::DeviceConfig* device,
                       Answer revision);

}  // namespace fitkit
