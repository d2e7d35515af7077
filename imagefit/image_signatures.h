// The image set's signed release, checked at START before anything reaches
// a driver, where the device holds update keys: "release.manifest" in the
// image folder must be signed by one of the keys for this model, and the
// version file and each of the six images must be the manifest's file of
// its role, with that size and block tree.
#pragma once

#include <optional>

#include "imagefit/held_image_files.h"
#include "imagefit/image_set.h"
#include "platform/dialog.h"
#include "signature/release_manifest.h"

namespace imagefit {

// For the run's `set`: true when the device needs no signature (noted so) or the release holds;
// the six images are then held in `held`, read only through their verified
// block hashes, and the transfer sends those very handles. The version that
// will be sent must be the one the signed version file and the manifest
// give. `release` receives the checked manifest (its securityVersion is the
// release's, for the device's rollback floor). False after the refusal was
// shown and noted.
bool CheckImageSignatures(platform::Dialog& dialog, const ImageSet& set, HeldImageFiles* held,
                          std::optional<signature::ReleaseManifest>* release);

}  // namespace imagefit
