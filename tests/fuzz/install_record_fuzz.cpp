// Fuzz target: the input is taken as an install record and as a staging
// folder's list of files, as a start reads them from the flash drive, which
// anyone with the device can write; whatever parses must be written back to
// a text that parses to the same.
#include <cstdint>
#include <string>
#include <string_view>

#include "shellfit/install_record.h"
#include "shellfit/staging_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto record = shellfit::ParseInstallRecord(text)) {
    const std::string written = shellfit::FormatInstallRecord(*record);
    const auto again = shellfit::ParseInstallRecord(written);
    if (!again || shellfit::FormatInstallRecord(*again) != written) __builtin_trap();
  }
  if (const auto list = shellfit::ParseStagingList(text)) {
    const std::string written = shellfit::FormatStagingList(*list);
    const auto again = shellfit::ParseStagingList(written);
    if (!again || shellfit::FormatStagingList(*again) != written) __builtin_trap();
  }
  return 0;
}
