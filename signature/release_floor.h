// The rollback floor applied to a signed release: a release whose security
// version is below the highest one the device installed of its kind is
// refused, whatever the command line; one of the same security version may
// replace another both ways. The floor rises only once a release is wholly
// installed.
#pragma once

#include <string>
#include <string_view>

#include "signature/release_manifest.h"
#include "signature/update_signature.h"

namespace signature {

// None when the device accepts `manifest`'s security version; otherwise
// OlderRelease or FloorUnknown, with the box's words (naming `update`) in
// `text`.
Refusal CheckSecurityFloor(const ReleaseManifest& manifest, std::u16string_view update,
                           std::u16string* text);

// After `manifest`'s release is wholly installed: the device's floor for its
// kind becomes its security version when that is higher, noted in the report.
// False when the device could not keep it.
bool RaiseSecurityFloor(const ReleaseManifest& manifest);
bool RaiseSecurityFloor(ReleaseKind kind, uint32_t securityVersion);

}  // namespace signature
