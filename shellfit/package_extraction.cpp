// Unpacking the package onto the flash drive, reading every written file back
// to check its CRC-32 and size.
#include "frame/update_dialog.h"
#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "shellfit/shellfit.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kBufferSize = 65536;

std::u16string DestinationOf(const std::u16string& entryName, const std::u16string& base) {
  if (entryName.starts_with(u'\\')) return entryName;  // an absolute device path
  return base + entryName;
}

// Writes one entry and checks the written file against the entry's header.
bool ExtractAndCheck(platform::Dialog& dialog, CZipReader& reader,
                     const CZipEntryHeader& header, uint16_t index, const std::u16string& base) {
  const std::u16string name = header.GetEntryName();
  frame::ShowStatus(dialog, u"Copying...", name);
  const std::u16string destination = DestinationOf(name, base);
  // Usually nothing is there yet: one look-up then spares the two of a delete.
  if (frame::FileExists(destination)) frame::ForceDeleteFile(destination);
  reader.ExtractEntry(index, nullptr, true, destination.c_str(), kBufferSize);
  uint32_t crc = 0, size = 0;
  // Only a folder passes without a file to read back; an empty file entry
  // that could not be written would otherwise match its CRC 0 and size 0.
  if (!GetFileCrc(destination, &crc, &size) && !header.IsDirectory()) return false;
  return crc == header.crc32 && size == header.uncompressedSize;
}

void ReportCrcError(platform::Dialog& dialog, const std::u16string& entryName) {
  frame::ShowMessageBox(dialog, entryName + u" CRC error!", kNoticeStyle);
}

// Releases what an entry abandoned by an exception still holds.
void CloseAfterException(CZipReader& reader) {
  try {
    reader.CloseEntry(nullptr, true);
  } catch (const CZipException&) {
  }
}

}  // namespace

int CountEntries(CZipReader& reader, bool filesOnly) {
  int count = 0;
  for (const auto& header : reader.Headers()) {
    if (!filesOnly || !header->IsDirectory()) ++count;
  }
  return count;
}

int ExtractPackage(platform::Dialog& dialog, std::u16string_view package,
                   std::u16string_view target) {
  if (platform::Files().GetAttributes(package) == platform::kInvalidAttributes) return -1;
  if (target.empty()) return -1;
  const std::u16string base = WithBackslash(target);
  CZipReader reader;
  CZipEntryHeader header;
  int passed = 0;
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    if (!reader.SetPassword(std::u16string(kPackagePassword))) return 0;
    dialog.SetProgressRange(kProgressControl, 0,
                            static_cast<uint16_t>(CountEntries(reader, true)));
    int attempts = 0;
    for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index);) {
      if (ExtractAndCheck(dialog, reader, header, static_cast<uint16_t>(index), base)) {
        dialog.SetProgressPos(kProgressControl, ++passed);
      } else {
        ReportCrcError(dialog, header.GetEntryName());
        // An entry that can never be written (a full drive) must not hold
        // up the rest of the package for ever.
        if (++attempts < kMaxAttempts) continue;
      }
      ++index;
      attempts = 0;
    }
  } catch (const CZipException& error) {
    // The package verified before; the card may have been pulled since.
    ReportPackageError(dialog, package, error.code);
  }
  CloseAfterException(reader);
  return passed;
}

}  // namespace shellfit
