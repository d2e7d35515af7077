// A signed release on a device: its manifest read and its signature checked,
// then each file the program uses compared with the manifest's file of that
// role. The manifest is read into memory once and hashed there, so the text
// that was checked is the text that is used.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "signature/release_manifest.h"
#include "signature/update_signature.h"

namespace signature {

struct ManifestCheck {
  SignatureCheck signature;                 // of the manifest; refusal None when it holds
  std::optional<ReleaseManifest> manifest;  // set only when everything held
  std::u16string refusalText;               // the box's words, ending "Nothing was changed."
};

// The manifest at `manifestPath` for the update `update` (named in the
// words), which must be a release of `kind` for `model`, signed by one of
// `keys`, with a security version no lower than the device's floor. A missing
// manifest is refused in words that say one is needed, also when `update`
// carries a signature of its own beside it.
ManifestCheck CheckReleaseManifest(const DeviceKeys& keys, std::u16string_view manifestPath,
                                   std::u16string_view update, ReleaseKind kind,
                                   std::u16string_view model);

// Whether the file `name`, whose block tree is `tree`, is the manifest's file
// of `role`: None, or FileChanged with the words in `text`.
Refusal CompareWithManifest(const ReleaseManifest& manifest, FileRole role,
                            std::u16string_view name, const BlockTree& tree, std::u16string* text);

// The words for a file whose bytes stopped matching the manifest while the
// program read it.
std::u16string ChangedInUseText(std::u16string_view name);

}  // namespace signature
