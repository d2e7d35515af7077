// What START does, from finding the package to the last file.
#pragma once

#include "platform/dialog.h"
#include "shellfit/update_site.h"

namespace shellfit {

// START: find the package, verify it, end the flash drive's programs, delete
// the old files, unpack; the dialog ends with 1.
void RunUpdate(platform::Dialog& dialog, const UpdateSite& site);

}  // namespace shellfit
