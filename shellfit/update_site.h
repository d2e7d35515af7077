// Where one run of the updater looks and writes: read from the device when
// the run starts and passed to what needs it, so that two runs in one
// process never see each other's.
#pragma once

#include <string>

namespace shellfit {

struct UpdateSite {
  std::u16string model;         // registry Ident\Model, e.g. "KTR 60"
  std::u16string sourceFolder;  // where the package is looked for, no trailing "\"
  std::u16string targetFolder;  // the flash drive folder, e.g. "\Flash Disk"
};

}  // namespace shellfit
