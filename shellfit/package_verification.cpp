// Reading the whole package once, into nothing, before anything on the flash
// drive is touched: a package that cannot be unpacked must not cost the
// device its old shell.
#include <vector>

#include "frame/update_dialog.h"
#include "shellfit/package_fit.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kChunk = 65536;

// One file entry decrypted, inflated and checked against its CRC-32; the
// check itself raises ErrBadCrc.
bool ReadEntryThrough(CZipReader& reader, uint16_t index, std::vector<uint8_t>& buffer) {
  if (!reader.OpenEntry(index)) return false;
  while (reader.ReadEntry(buffer.data(), kChunk) == kChunk) {
  }
  return reader.CloseEntry(nullptr, false) == 1;
}

}  // namespace

bool VerifyOpenPackage(CZipReader& reader, std::u16string_view package, int32_t* errorCode,
                       platform::Dialog* dialog) {
  *errorCode = 0;
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    // From here on nobody else may change what is being checked, as on the
    // device, where the open package cannot be written or replaced.
    if (reader.ArchiveFile() != nullptr) reader.ArchiveFile()->DenyWriters();
    if (!reader.SetPassword(std::u16string(kPackagePassword))) {
      *errorCode = ErrBadPassword;
      return false;
    }
    NotePackage(package, CountEntries(reader, false));
    std::vector<uint8_t> buffer(kChunk);
    CZipEntryHeader header;
    unsigned files = 0;
    for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
      if (dialog != nullptr) frame::PumpOneMessage(*dialog);
      if (header.IsDirectory()) continue;
      if (!ReadEntryThrough(reader, static_cast<uint16_t>(index), buffer)) {
        *errorCode = ErrBadArchive;  // an entry that cannot be opened or ends short
        return false;
      }
      ++files;
    }
    // A package without a single file would only erase the installed shell.
    if (files == 0) {
      *errorCode = ErrBadArchive;
      return false;
    }
    return true;
  } catch (const CZipException& error) {
    *errorCode = error.code;
    try {
      reader.CloseEntry(nullptr, true);
    } catch (const CZipException&) {
    }
    return false;
  }
}

bool VerifyPackage(std::u16string_view package, int32_t* errorCode,
                   platform::Dialog* dialog) {
  CZipReader reader;
  return VerifyOpenPackage(reader, package, errorCode, dialog);
}

}  // namespace shellfit
