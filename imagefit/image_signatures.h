// The image set's signatures, checked at START before anything reaches a
// driver, where the device holds update keys: the version file and the six
// images each need "<file>.minisig" by one of the keys, for this model.
#pragma once

#include "imagefit/held_image_files.h"
#include "platform/dialog.h"

namespace imagefit {

// True when the device needs no signature (noted so) or every file carries a
// valid one; the six images are then held in `held`, and the transfer sends
// those very handles. The version that will be sent must be the one the
// signed version file gives. False after the refusal was shown and noted.
bool CheckImageSignatures(platform::Dialog& dialog, HeldImageFiles* held);

}  // namespace imagefit
