// Fuzz target: the input is taken as a release manifest, as a device reads
// one from a card before its signature is checked; whatever parses must be
// written back to a text that parses to the same.
#include <cstdint>
#include <string_view>

#include "signature/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto manifest = signature::ParseManifest(text);
  if (!manifest) return 0;
  const std::string written = signature::FormatManifest(*manifest);
  const auto again = signature::ParseManifest(written);
  if (!again || signature::FormatManifest(*again) != written) __builtin_trap();
  return 0;
}
