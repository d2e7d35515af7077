// Fuzz target: the input is a PE image. The version resource is looked up and
// queried the way GetFileVersionString does; the sanitizers catch any read
// outside the image or the block.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/version_query.h"
#include "readers/version_pe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  readers::MemoryByteSource source(data, size);
  const auto block = readers::FindVersionResource(source);
  if (!block) return 0;
  const auto translation = platform::QueryVersionValue(*block, u"\\VarFileInfo\\Translation");
  std::u16string table = u"040904b0";
  if (translation && translation->bytes.size() >= 4) {
    const auto& b = translation->bytes;
    char text[9];
    std::snprintf(text, sizeof text, "%04x%04x", b[0] | b[1] << 8, b[2] | b[3] << 8);
    table.assign(text, text + 8);
  }
  const auto value =
      platform::QueryVersionValue(*block, u"\\StringFileInfo\\" + table + u"\\FileVersion");
  if (value) platform::VersionValueText(*value);
  platform::QueryVersionValue(*block, u"\\");
  return 0;
}
