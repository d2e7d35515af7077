// Whether the package holds a newer main.exe than the flash drive does.
#include "shellfit/version_check.h"

#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "shellfit/shellfit.h"
#include "shellfit/update_report.h"
#include "zipreader/zip_reader.h"

namespace shellfit {
namespace {

constexpr unsigned kBufferSize = 65536;

// Extracts the packaged main.exe to `temp` and compares its version with the
// installed one; a copy that does not match its header is not newer.
bool ExtractedIsNewer(CZipReader& reader, const CZipEntryHeader& header, uint16_t index,
                      const std::u16string& temp, const std::u16string& installed) {
  frame::ForceDeleteFile(temp);
  reader.ExtractEntry(index, nullptr, true, temp.c_str(), kBufferSize);
  uint32_t crc = 0, size = 0;
  GetFileCrc(temp, &crc, &size);
  if (crc != header.crc32 || size != header.uncompressedSize) return false;
  std::u16string packaged;
  const bool packagedFound = GetFileVersionString(temp, &packaged);
  NoteMainExeVersion(MainExe::kPackaged, packagedFound, packaged);
  return IsNewerShell(installed, packaged);
}

}  // namespace

bool IsNewerShell(std::u16string_view installed, std::optional<std::u16string_view> packaged) {
  if (installed.empty()) return true;
  if (!packaged) return false;
  if (packaged->empty()) return true;
  return frame::ParseVersion(installed, frame::VersionForm::Plain) <
         frame::ParseVersion(*packaged, frame::VersionForm::Plain);
}

bool IsPackageNewer(std::u16string_view package, std::u16string_view target) {
  if (platform::Files().GetAttributes(package) == platform::kInvalidAttributes) return false;
  if (target.empty()) return false;
  const std::u16string base = WithBackslash(target);
  std::u16string installed;
  const bool installedFound = GetFileVersionString(base + u"main.exe", &installed);
  NoteMainExeVersion(MainExe::kInstalled, installedFound, installed);
  if (installed.empty()) return true;  // nothing comparable installed, nothing to unpack

  CZipReader reader;
  CZipEntryHeader header;
  std::u16string temp;
  bool newer = false;
  try {
    reader.OpenArchive(std::u16string(package), 1, 0);
    if (!reader.SetPassword(std::u16string(kPackagePassword))) return false;
    for (unsigned index = 0; index <= 0xFFFF && reader.GetEntryInfo(header, index); ++index) {
      const std::u16string name = header.GetEntryName();
      if (!platform::EqualsNoCase(name, u"main.exe")) continue;
      temp = base + u"_" + name;
      newer = ExtractedIsNewer(reader, header, static_cast<uint16_t>(index), temp, installed);
      break;
    }
    reader.CloseEntry(nullptr, true);
  } catch (const CZipException&) {
    // A package the reader cannot read is never worth installing.
    newer = false;
  }
  if (!temp.empty()) frame::ForceDeleteFile(temp);
  return newer;
}

}  // namespace shellfit
